<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>Commands</name>
    <message>
        <source>&amp;Neu	Strg+N</source>
        <translation>&amp;New	Ctrl+N</translation>
    </message>
    <message>
        <source>Neues Bilddokument erstellen</source>
        <translation>Create a new image document</translation>
    </message>
    <message>
        <source>Ö&amp;ffnen...	Strg+O</source>
        <translation>&amp;Open...	Ctrl+O</translation>
    </message>
    <message>
        <source>Bilddateien öffnen</source>
        <translation>Open image files</translation>
    </message>
    <message>
        <source>S&amp;chließen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Aktives Dokument schließen</source>
        <translation>Close the active document</translation>
    </message>
    <message>
        <source>Alle Sc&amp;hließen</source>
        <translation>C&amp;lose All</translation>
    </message>
    <message>
        <source>Alle Dokumente schließen</source>
        <translation>Close all documents</translation>
    </message>
    <message>
        <source>&amp;Speichern	Strg+S</source>
        <translation>&amp;Save	Ctrl+S</translation>
    </message>
    <message>
        <source>Aktives Dokument als FITS speichern</source>
        <translation>Save the active document as FITS</translation>
    </message>
    <message>
        <source>Speichern &amp;unter...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>Aktives Dokument unter neuem Namen speichern</source>
        <translation>Save the active document under a new name</translation>
    </message>
    <message>
        <source>E&amp;xportieren...</source>
        <translation>E&amp;xport...</translation>
    </message>
    <message>
        <source>Dargestelltes Bild als Rastergrafik exportieren</source>
        <translation>Export the displayed image as a raster image</translation>
    </message>
    <message>
        <source>Seite einr&amp;ichten...</source>
        <translation>Page Set&amp;up...</translation>
    </message>
    <message>
        <source>Druck-Seite Einrichten</source>
        <translation>Set up the printed page</translation>
    </message>
    <message>
        <source>Seiten&amp;ansicht</source>
        <translation>Print Pre&amp;view</translation>
    </message>
    <message>
        <source>Seitenansicht</source>
        <translation>Print preview</translation>
    </message>
    <message>
        <source>&amp;Drucken...	Strg+P</source>
        <translation>&amp;Print...	Ctrl+P</translation>
    </message>
    <message>
        <source>Drucken</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Drucker &amp;einrichten...</source>
        <translation>P&amp;rinter Setup...</translation>
    </message>
    <message>
        <source>Drucker auswählen und einrichten</source>
        <translation>Choose and set up the printer</translation>
    </message>
    <message>
        <source>&amp;Toolbar...</source>
        <translation>&amp;Toolbar...</translation>
    </message>
    <message>
        <source>Symbolleiste anpassen</source>
        <translation>Customise the toolbar</translation>
    </message>
    <message>
        <source>&amp;Speicher...</source>
        <translation>&amp;Memory...</translation>
    </message>
    <message>
        <source>Speicherausnutzung</source>
        <translation>Memory usage</translation>
    </message>
    <message>
        <source>Sp&amp;rache...</source>
        <translation>&amp;Language...</translation>
    </message>
    <message>
        <source>Sprache der Oberfläche (ab dem nächsten Start)</source>
        <translation>Language of the interface (from the next start)</translation>
    </message>
    <message>
        <source>Fenster Anordnen</source>
        <translation>Arrange Windows</translation>
    </message>
    <message>
        <source>Werkzeugfenster zurücksetzen und anzeigen</source>
        <translation>Reset and show the tool windows</translation>
    </message>
    <message>
        <source>Letzte Datei</source>
        <translation>Recent File</translation>
    </message>
    <message>
        <source>Zuletzt geöffnete Datei</source>
        <translation>Recently opened file</translation>
    </message>
    <message>
        <source>&amp;Beenden</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Quillon beenden</source>
        <translation>Quit Quillon</translation>
    </message>
    <message>
        <source>&amp;Kopieren	Strg+C</source>
        <translation>&amp;Copy	Ctrl+C</translation>
    </message>
    <message>
        <source>Kopie Ausschnitt</source>
        <translation>Copy the selection</translation>
    </message>
    <message>
        <source>&amp;Gesamtbild Kopieren</source>
        <translation>Copy &amp;Whole Image</translation>
    </message>
    <message>
        <source>Kopie Gesamt</source>
        <translation>Copy the whole image</translation>
    </message>
    <message>
        <source>&amp;Rückgängig	Strg+Z</source>
        <translation>&amp;Undo	Ctrl+Z</translation>
    </message>
    <message>
        <source>Rückgängig</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>&amp;Wiederherstellen	Strg+Y</source>
        <translation>&amp;Redo	Ctrl+Y</translation>
    </message>
    <message>
        <source>Wiederherstellen</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>&amp;Ausschneiden	Strg+X</source>
        <translation>Cu&amp;t	Ctrl+X</translation>
    </message>
    <message>
        <source>Ausschneiden</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>&amp;Einfügen	Strg+V</source>
        <translation>&amp;Paste	Ctrl+V</translation>
    </message>
    <message>
        <source>Einfügen</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>&amp;Graubild...</source>
        <translation>&amp;Greyscale...</translation>
    </message>
    <message>
        <source>In Graubild konvertieren</source>
        <translation>Convert to greyscale</translation>
    </message>
    <message>
        <source>&amp;RGB</source>
        <translation>&amp;RGB</translation>
    </message>
    <message>
        <source>In RGB konvertieren</source>
        <translation>Convert to RGB</translation>
    </message>
    <message>
        <source>LRGB-Bias Werte setzen...</source>
        <translation>Set LRGB Bias Values...</translation>
    </message>
    <message>
        <source>LRGB-Bias Werte setzen</source>
        <translation>Set the LRGB bias values</translation>
    </message>
    <message>
        <source>Abbildungs&amp;vorschrift bearbeiten...</source>
        <translation>Edit Layer &amp;Mapping...</translation>
    </message>
    <message>
        <source>Ebenennamen / Abbildungsvorschrift</source>
        <translation>Layer names / layer mapping</translation>
    </message>
    <message>
        <source>Horizontal spiegeln</source>
        <translation>Flip horizontally</translation>
    </message>
    <message>
        <source>Vertikal spiegeln</source>
        <translation>Flip vertically</translation>
    </message>
    <message>
        <source>90° nach rechts drehen</source>
        <translation>Rotate 90° clockwise</translation>
    </message>
    <message>
        <source>90° nach links drehen</source>
        <translation>Rotate 90° counter-clockwise</translation>
    </message>
    <message>
        <source>180° drehen</source>
        <translation>Rotate 180°</translation>
    </message>
    <message>
        <source>Größe ändern / Bining</source>
        <translation>Resize / binning</translation>
    </message>
    <message>
        <source>Auf die Auswahl zuschneiden</source>
        <translation>Crop to the selection</translation>
    </message>
    <message>
        <source>leeres Overlay &amp;hinzufügen</source>
        <translation>&amp;Add Empty Overlay</translation>
    </message>
    <message>
        <source>Leere Beschriftungsebene hinzufügen</source>
        <translation>Add an empty annotation layer</translation>
    </message>
    <message>
        <source>&amp;Overlay entfernen</source>
        <translation>&amp;Remove Overlay</translation>
    </message>
    <message>
        <source>Beschriftungsebene entfernen</source>
        <translation>Remove the annotation layer</translation>
    </message>
    <message>
        <source>&amp;Debayer...</source>
        <translation>&amp;Debayer...</translation>
    </message>
    <message>
        <source>Rohes Farbmosaik einer Farbkamera in ein RGB-Bild umrechnen</source>
        <translation>Turn the raw colour mosaic of a colour camera into an RGB image</translation>
    </message>
    <message>
        <source>Bild&amp;informationen...</source>
        <translation>Image &amp;Information...</translation>
    </message>
    <message>
        <source>Bildinformation - zur Ansicht</source>
        <translation>Image Information - View</translation>
    </message>
    <message>
        <source>Graues Komposit / Summenbild</source>
        <translation>Greyscale stack / sum image</translation>
    </message>
    <message>
        <source>&amp;RGB...</source>
        <translation>&amp;RGB...</translation>
    </message>
    <message>
        <source>RGB-Komposit</source>
        <translation>RGB stack</translation>
    </message>
    <message>
        <source>&amp;LRGB...</source>
        <translation>&amp;LRGB...</translation>
    </message>
    <message>
        <source>LRGB-Komposit</source>
        <translation>LRGB stack</translation>
    </message>
    <message>
        <source>&amp;CMY...</source>
        <translation>&amp;CMY...</translation>
    </message>
    <message>
        <source>CMY-Komposit</source>
        <translation>CMY stack</translation>
    </message>
    <message>
        <source>&amp;Benutzer...</source>
        <translation>&amp;User-Defined...</translation>
    </message>
    <message>
        <source>Benutzerdefiniertes Komposit</source>
        <translation>User-defined stack</translation>
    </message>
    <message>
        <source>Bild in &amp;Einzelebenen auftrennen</source>
        <translation>Spli&amp;t Image into Layers</translation>
    </message>
    <message>
        <source>Bild in Einzelebenen auftrennen</source>
        <translation>Split the image into single layers</translation>
    </message>
    <message>
        <source>&amp;Dunkelstrom / Flatfieldkorrektur ...</source>
        <translation>&amp;Dark Frame / Flat Field Correction...</translation>
    </message>
    <message>
        <source>Dunkelstrom / Flatfieldkorrektur</source>
        <translation>Dark frame / flat field correction</translation>
    </message>
    <message>
        <source>&amp;Zeile reparieren</source>
        <translation>Repair &amp;Row</translation>
    </message>
    <message>
        <source>Zeile reparieren</source>
        <translation>Repair row</translation>
    </message>
    <message>
        <source>&amp;Spalte reparieren</source>
        <translation>Repair Co&amp;lumn</translation>
    </message>
    <message>
        <source>Spalte reparieren</source>
        <translation>Repair column</translation>
    </message>
    <message>
        <source>Astro&amp;metrie (Bild lösen)...</source>
        <translation>Astro&amp;metry (Plate Solve)...</translation>
    </message>
    <message>
        <source>Himmelsposition des Bildes bestimmen</source>
        <translation>Find the image&apos;s position on the sky</translation>
    </message>
    <message>
        <source>Katalogsterne &amp;beschriften</source>
        <translation>Label &amp;Catalogue Stars</translation>
    </message>
    <message>
        <source>Sterne des Katalogs ins Overlay zeichnen</source>
        <translation>Draw the catalogue&apos;s stars into the overlay</translation>
    </message>
    <message>
        <source>Hochpassfilter</source>
        <translation>High-pass filter</translation>
    </message>
    <message>
        <source>Tiefpassfilter</source>
        <translation>Low-pass filter</translation>
    </message>
    <message>
        <source>Spezialfilter</source>
        <translation>Special filter</translation>
    </message>
    <message>
        <source>Rauschfilter</source>
        <translation>Noise filter</translation>
    </message>
    <message>
        <source>Unscharfe Maske</source>
        <translation>Unsharp mask</translation>
    </message>
    <message>
        <source>Lucy-Richardson Deconvolution</source>
        <translation>Lucy-Richardson deconvolution</translation>
    </message>
    <message>
        <source>&amp;Hintergrund extrahieren...</source>
        <translation>Extract &amp;Background...</translation>
    </message>
    <message>
        <source>Hintergrund extrahieren</source>
        <translation>Extract the background</translation>
    </message>
    <message>
        <source>Neue &amp;Ansicht</source>
        <translation>New &amp;View</translation>
    </message>
    <message>
        <source>Weitere Ansicht des aktiven Dokuments</source>
        <translation>Another view of the active document</translation>
    </message>
    <message>
        <source>Ansichten &amp;Schließen</source>
        <translation>&amp;Close Views</translation>
    </message>
    <message>
        <source>Alle anderen Ansichten des Dokuments schließen</source>
        <translation>Close all other views of the document</translation>
    </message>
    <message>
        <source>Overlay an&amp;zeigen</source>
        <translation>Show &amp;Overlay</translation>
    </message>
    <message>
        <source>Overlay anzeigen</source>
        <translation>Show overlay</translation>
    </message>
    <message>
        <source>&amp;Nachtmodus</source>
        <translation>&amp;Night Mode</translation>
    </message>
    <message>
        <source>Rote Anzeige auf Schwarz, die das dunkeladaptierte Auge schont</source>
        <translation>Red on black, to keep the eye dark-adapted</translation>
    </message>
    <message>
        <source>ver&amp;größern</source>
        <translation>Zoom &amp;In</translation>
    </message>
    <message>
        <source>Vergrößern</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>ver&amp;kleinern</source>
        <translation>Zoom &amp;Out</translation>
    </message>
    <message>
        <source>Verkleinern</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>&amp;Optimal</source>
        <translation>&amp;Best Fit</translation>
    </message>
    <message>
        <source>Optimale Größe</source>
        <translation>Best fit</translation>
    </message>
    <message>
        <source>Pi&amp;xelgröße (100%)</source>
        <translation>&amp;Actual Pixels (100%)</translation>
    </message>
    <message>
        <source>Pixelgröße (100%)</source>
        <translation>Actual pixels (100%)</translation>
    </message>
    <message>
        <source>Alle Fenster anordnen</source>
        <translation>Arrange All Windows</translation>
    </message>
    <message>
        <source>Alle Bildfenster sichtbar nebeneinander anordnen</source>
        <translation>Arrange all image windows side by side</translation>
    </message>
    <message>
        <source>Haupt&amp;bildschirm</source>
        <translation>&amp;Main Screen</translation>
    </message>
    <message>
        <source>Vollbild auf dem Hauptbildschirm</source>
        <translation>Full screen on the main screen</translation>
    </message>
    <message>
        <source>&amp;Alle Bildschirme nutzen</source>
        <translation>&amp;All Screens</translation>
    </message>
    <message>
        <source>Vollbild auf allen Bildschirmen</source>
        <translation>Full screen on all screens</translation>
    </message>
    <message>
        <source>&amp;Zoomnavigator</source>
        <translation>&amp;Zoom Navigator</translation>
    </message>
    <message>
        <source>Zoomnavigator</source>
        <translation>Zoom Navigator</translation>
    </message>
    <message>
        <source>Ska&amp;lierung</source>
        <translation>&amp;Scaling</translation>
    </message>
    <message>
        <source>Skalierung</source>
        <translation>Scaling</translation>
    </message>
    <message>
        <source>&amp;Histogramm</source>
        <translation>&amp;Histogram</translation>
    </message>
    <message>
        <source>Histogramm</source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>&amp;Photometrie</source>
        <translation>&amp;Photometry</translation>
    </message>
    <message>
        <source>Photometrie</source>
        <translation>Photometry</translation>
    </message>
    <message>
        <source>Tools &amp;ausblenden</source>
        <translation>&amp;Hide Tools</translation>
    </message>
    <message>
        <source>Werkzeugfenster aus- und wieder einblenden</source>
        <translation>Hide and show the tool windows again</translation>
    </message>
    <message>
        <source>Über&amp;lappend</source>
        <translation>&amp;Cascade</translation>
    </message>
    <message>
        <source>Fenster überlappend anordnen</source>
        <translation>Cascade the windows</translation>
    </message>
    <message>
        <source>&amp;Nebeneinander</source>
        <translation>&amp;Tile</translation>
    </message>
    <message>
        <source>Fenster nebeneinander anordnen</source>
        <translation>Tile the windows</translation>
    </message>
    <message>
        <source>&amp;Symbole anordnen</source>
        <translation>Arrange &amp;Icons</translation>
    </message>
    <message>
        <source>Symbole anordnen</source>
        <translation>Arrange icons</translation>
    </message>
    <message>
        <source>&amp;Hilfethemen</source>
        <translation>&amp;Help Topics</translation>
    </message>
    <message>
        <source>Hilfethemen</source>
        <translation>Help topics</translation>
    </message>
    <message>
        <source>Help &amp;Wizard</source>
        <translation>Help &amp;Wizard</translation>
    </message>
    <message>
        <source>Help Wizard</source>
        <translation>Help Wizard</translation>
    </message>
    <message>
        <source>Inf&amp;o über Quillon...</source>
        <translation>&amp;About Quillon...</translation>
    </message>
    <message>
        <source>Programminformationen</source>
        <translation>About the program</translation>
    </message>
    <message>
        <source>Direkthilfe</source>
        <translation>Context Help</translation>
    </message>
    <message>
        <source>Hilfe zu einem Befehl</source>
        <translation>Help on a command</translation>
    </message>
    <message>
        <source>Strg+Z</source>
        <translation>Ctrl+Z</translation>
    </message>
    <message>
        <source>Strg+Y</source>
        <translation>Ctrl+Y</translation>
    </message>
    <message>
        <source>Bild&amp;analyse...</source>
        <translation>Frame &amp;analysis...</translation>
    </message>
    <message>
        <source>Sterne, Schärfe und Hintergrund jeder Aufnahme messen</source>
        <translation>Measure the stars, sharpness and background of every exposure</translation>
    </message>
    <message>
        <source>Standardanordnung wiederherstellen</source>
        <translation>Restore Default Layout</translation>
    </message>
    <message>
        <source>Werkzeugfenster wie beim ersten Start anordnen</source>
        <translation>Arrange the tool windows as at the first start</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Speichern unter</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>FITS, Rice-komprimiert (*.fits.fz)</source>
        <translation>FITS, Rice-compressed (*.fits.fz)</translation>
    </message>
    <message>
        <source>XISF, zlib-komprimiert (*.xisf)</source>
        <translation>XISF, zlib-compressed (*.xisf)</translation>
    </message>
    <message>
        <source>Exportieren</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>OpenDialog</name>
    <message>
        <source>Alle unterstützten Grafikformate (%1)</source>
        <translation>All supported image formats (%1)</translation>
    </message>
    <message>
        <source>Alle Dateien (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>Öffnen</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>PrintSession</name>
    <message>
        <source>Seitenansicht</source>
        <translation>Print Preview</translation>
    </message>
    <message>
        <source>Drucken</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Kein Drucker ausgewählt oder installiert !</source>
        <translation>No printer selected or installed!</translation>
    </message>
    <message>
        <source>Can&apos;t allocate global memory block.</source>
        <translation>Can&apos;t allocate global memory block.</translation>
    </message>
</context>
<context>
    <name>ToolBarGroups</name>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Drucken</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Bearbeiten</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Zoom</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>Werkzeuge und Bild</source>
        <translation>Tools and image</translation>
    </message>
    <message>
        <source>Komposit</source>
        <translation>Stack</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Hilfe</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Astrofotografie · Version %1</source>
        <translation>Astrophotography · Version %1</translation>
    </message>
    <message>
        <source>Die eingebauten Ressourcen fehlen, Quillon kann nicht gestartet werden</source>
        <translation>The built-in resources are missing; Quillon cannot start</translation>
    </message>
</context>
<context>
    <name>quillon</name>
    <message>
        <source>&amp;Hochpassfilter (schärfung) ...</source>
        <translation>&amp;High-Pass Filter (Sharpening)...</translation>
    </message>
    <message>
        <source>Hochpassfilter</source>
        <translation>High-pass filter</translation>
    </message>
    <message>
        <source>Hochpassfilter (schärfung)</source>
        <translation>High-pass filter (sharpening)</translation>
    </message>
    <message>
        <source>&amp;Tiefpassfilter (glättung) ...</source>
        <translation>&amp;Low-Pass Filter (Smoothing)...</translation>
    </message>
    <message>
        <source>Tiefpassfilter</source>
        <translation>Low-pass filter</translation>
    </message>
    <message>
        <source>Tiefpassfilter (glättung)</source>
        <translation>Low-pass filter (smoothing)</translation>
    </message>
    <message>
        <source>&amp;Spezialfilter (Kontur, Relief, ...) ...</source>
        <translation>&amp;Special Filter (Edges, Emboss, ...)...</translation>
    </message>
    <message>
        <source>Spezialfilter</source>
        <translation>Special filter</translation>
    </message>
    <message>
        <source>&amp;Rauschfilter...</source>
        <translation>&amp;Noise Filter...</translation>
    </message>
    <message>
        <source>Rauschfilter</source>
        <translation>Noise filter</translation>
    </message>
    <message>
        <source>&amp;Unscharfe Maske...</source>
        <translation>&amp;Unsharp Mask...</translation>
    </message>
    <message>
        <source>Unscharf Maskiert</source>
        <translation>Unsharp masked</translation>
    </message>
    <message>
        <source>Unscharfe Maske</source>
        <translation>Unsharp mask</translation>
    </message>
    <message>
        <source>&amp;Lucy-Richardson Deconvolution</source>
        <translation>Lucy-Richardson &amp;Deconvolution</translation>
    </message>
    <message>
        <source>Lucy Richardson Deconv.</source>
        <translation>Lucy-Richardson deconv.</translation>
    </message>
    <message>
        <source>Lucy-Richardson Deconv.</source>
        <translation>Lucy-Richardson Deconvolution</translation>
    </message>
    <message>
        <source>&amp;Horizontal</source>
        <translation>&amp;Horizontal</translation>
    </message>
    <message>
        <source>&amp;Vertikal</source>
        <translation>&amp;Vertical</translation>
    </message>
    <message>
        <source>90° &amp;Rechts</source>
        <translation>90° &amp;Clockwise</translation>
    </message>
    <message>
        <source>90° &amp;Links</source>
        <translation>90° C&amp;ounter-Clockwise</translation>
    </message>
    <message>
        <source>180° (&amp;Kopfstehend)</source>
        <translation>180° (&amp;Upside Down)</translation>
    </message>
    <message>
        <source>&amp;Größe / Bining ...</source>
        <translation>&amp;Resize / Binning...</translation>
    </message>
    <message>
        <source>Neue Größe</source>
        <translation>Resized</translation>
    </message>
    <message>
        <source>Bildgröße</source>
        <translation>Image Size</translation>
    </message>
    <message>
        <source>&amp;Ausschnitt</source>
        <translation>&amp;Crop</translation>
    </message>
    <message>
        <source>Ausschnitt</source>
        <translation>Crop</translation>
    </message>
    <message>
        <source>Abgebrochen</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>Nicht genügend Speicherplatz vorhanden!</source>
        <translation>Not enough memory available!</translation>
    </message>
    <message>
        <source>Es steht nicht genügend Speicherplatz zur verfügung!</source>
        <translation>There is not enough memory available!</translation>
    </message>
    <message>
        <source>Für diese Aktion steht zu wenig Speicher zur Verfügung!</source>
        <translation>There is too little memory for this action!</translation>
    </message>
    <message>
        <source>Bild hat ungültige Größe (nicht 10x10 ... 14000x14000)!</source>
        <translation>The image has an invalid size (not 10x10 ... 14000x14000)!</translation>
    </message>
    <message>
        <source>Falsches Bit-Format! Fehler Code 00041</source>
        <translation>Wrong bit format! Error code 00041</translation>
    </message>
    <message>
        <source>Der Filter kann auf dieses Bild nicht angewendet werden.</source>
        <translation>The filter cannot be applied to this image.</translation>
    </message>
    <message>
        <source>Dunkelstrombild konnte nicht geladen werden!</source>
        <translation>The dark frame could not be loaded!</translation>
    </message>
    <message>
        <source>Flatfield-Bild konnte nicht geladen werden!</source>
        <translation>The flat field could not be loaded!</translation>
    </message>
    <message>
        <source>RGB_konvertiert</source>
        <translation>RGB_converted</translation>
    </message>
    <message>
        <source>Soll die Overlay-Ebene
unwiederruflich gelöscht werden?</source>
        <translation>Delete the overlay layer
for good?</translation>
    </message>
    <message>
        <source>Dieser Schritt kann nicht rückgängig gemacht werden: Der Speicher für &quot;Rückgängig&quot; reicht nicht aus.</source>
        <translation>This step cannot be undone: there is not enough memory for &quot;Undo&quot;.</translation>
    </message>
    <message>
        <source>Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren, achten Sie dabei auch auf die Dateiendung.</source>
        <translation>To save in formats other than FITS, please use File - Export, and mind the file extension.</translation>
    </message>
    <message>
        <source>Fehler beim Speichern des Dokuments.</source>
        <translation>Error while saving the document.</translation>
    </message>
    <message>
        <source>Ungültiger Dateiname.</source>
        <translation>Invalid file name.</translation>
    </message>
    <message>
        <source>&lt;auto-scaling...&gt;</source>
        <translation>&lt;auto-scaling...&gt;</translation>
    </message>
    <message>
        <source>Deepsky</source>
        <translation>Deep sky</translation>
    </message>
    <message>
        <source>Deepsky hell</source>
        <translation>Deep sky bright</translation>
    </message>
    <message>
        <source>Planet / Landschaft</source>
        <translation>Planet / landscape</translation>
    </message>
    <message>
        <source>Mond dunkel</source>
        <translation>Moon dark</translation>
    </message>
    <message>
        <source>Mond hell</source>
        <translation>Moon bright</translation>
    </message>
    <message>
        <source>Sonne</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Stufen</source>
        <translation>Steps</translation>
    </message>
    <message>
        <source>Kontur</source>
        <translation>Contour</translation>
    </message>
    <message>
        <source>Graukeil (normal)</source>
        <translation>Grey wedge (normal)</translation>
    </message>
    <message>
        <source>Falschfarben 1</source>
        <translation>False colour 1</translation>
    </message>
    <message>
        <source>Falschfarben 2</source>
        <translation>False colour 2</translation>
    </message>
    <message>
        <source>Graubild</source>
        <translation>Greyscale</translation>
    </message>
    <message>
        <source>Benutzer</source>
        <translation>User-defined</translation>
    </message>
    <message>
        <source>Stärke:</source>
        <translation>Strength:</translation>
    </message>
    <message>
        <source>Maskengröße:</source>
        <translation>Mask size:</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Maske</source>
        <translation>Mask</translation>
    </message>
    <message>
        <source>Schwellwert:</source>
        <translation>Threshold:</translation>
    </message>
    <message>
        <source>schwach</source>
        <translation>weak</translation>
    </message>
    <message>
        <source>stark</source>
        <translation>strong</translation>
    </message>
    <message>
        <source>Original  x</source>
        <translation>Original  x</translation>
    </message>
    <message>
        <source>-  Maske  x</source>
        <translation>-  Mask  x</translation>
    </message>
    <message>
        <source>stärker</source>
        <translation>stronger</translation>
    </message>
    <message>
        <source>schwächer</source>
        <translation>weaker</translation>
    </message>
    <message>
        <source>Prewitt (vertikal)</source>
        <translation>Prewitt (vertical)</translation>
    </message>
    <message>
        <source>Sobel (vertikal)</source>
        <translation>Sobel (vertical)</translation>
    </message>
    <message>
        <source>Maximalfilter</source>
        <translation>Maximum filter</translation>
    </message>
    <message>
        <source>Minimalfilter</source>
        <translation>Minimum filter</translation>
    </message>
    <message>
        <source>Medianfilter</source>
        <translation>Median filter</translation>
    </message>
    <message>
        <source>Schwellwertfilter</source>
        <translation>Threshold filter</translation>
    </message>
    <message>
        <source>Inaktive Overlaybereiche sind</source>
        <translation>Inactive overlay areas are</translation>
    </message>
    <message>
        <source>Weiss</source>
        <translation>White</translation>
    </message>
    <message>
        <source>heller als Grau</source>
        <translation>brighter than grey</translation>
    </message>
    <message>
        <source>dunkler als Grau</source>
        <translation>darker than grey</translation>
    </message>
    <message>
        <source>Schwarz</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>Transparent</source>
        <translation>Transparent</translation>
    </message>
    <message>
        <source>Invertiert</source>
        <translation>Inverted</translation>
    </message>
    <message>
        <source>Sie haben noch keine Bilder in die Liste(n) eingefügt!</source>
        <translation>You have not added any images to the list(s) yet!</translation>
    </message>
    <message>
        <source>Es wurde kein Gültiges, zu verwendendes Bild gefunden!</source>
        <translation>No valid image to use was found!</translation>
    </message>
    <message>
        <source>Im Referenzbild wurden zu wenige Sterne gefunden.</source>
        <translation>Too few stars were found in the reference frame.</translation>
    </message>
    <message>
        <source>Im Referenzbild wurden keine Sterne gefunden: alle Bilder werden gleich gewichtet.</source>
        <translation>No stars were found in the reference frame: all frames are weighted equally.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::AstrometryDialog</name>
    <message>
        <source>Astrometrie (Bild lösen)</source>
        <translation>Astrometry (Plate Solve)</translation>
    </message>
    <message>
        <source>Bildmaßstab vorgeben</source>
        <translation>Set image scale</translation>
    </message>
    <message>
        <source>Maßstab (&quot;/px, ±5 %):</source>
        <translation>Scale (&quot;/px, ±5 %):</translation>
    </message>
    <message>
        <source>oder Brennweite (mm):</source>
        <translation>or focal length (mm):</translation>
    </message>
    <message>
        <source>und Pixelgröße (µm):</source>
        <translation>and pixel size (µm):</translation>
    </message>
    <message>
        <source>Bildmitte vorgeben</source>
        <translation>Set image centre</translation>
    </message>
    <message>
        <source>RA (Grad oder hh:mm:ss):</source>
        <translation>RA (degrees or hh:mm:ss):</translation>
    </message>
    <message>
        <source>Dek (Grad oder ±dd:mm:ss):</source>
        <translation>Dec (degrees or ±dd:mm:ss):</translation>
    </message>
    <message>
        <source>Suchradius (Grad):</source>
        <translation>Search radius (degrees):</translation>
    </message>
    <message>
        <source>Zeitgrenze (s):</source>
        <translation>Time limit (s):</translation>
    </message>
    <message>
        <source>Weiterer Indexordner:</source>
        <translation>Additional index folder:</translation>
    </message>
    <message>
        <source>Lösen</source>
        <translation>Solve</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Bitte einen Maßstab von 0.01 bis 10000 &quot;/px eingeben.</source>
        <translation>Please enter a scale from 0.01 to 10000 &quot;/px.</translation>
    </message>
    <message>
        <source>Bitte den Maßstab oder Brennweite und Pixelgröße eingeben.</source>
        <translation>Please enter the scale, or the focal length and pixel size.</translation>
    </message>
    <message>
        <source>Bitte RA, Dek und Suchradius der Bildmitte prüfen.</source>
        <translation>Please check RA, Dec and search radius of the image centre.</translation>
    </message>
    <message>
        <source>Bitte eine Zeitgrenze von 1 bis 3600 s eingeben.</source>
        <translation>Please enter a time limit from 1 to 3600 s.</translation>
    </message>
    <message>
        <source>Bildmitte: RA %1  Dek %2
Maßstab: %3&quot;/px
Drehung: %4°
Feld: %5° × %6°
Parität: %7
Abgeglichene Sterne: %8 (von %9)</source>
        <translation>Image centre: RA %1  Dec %2
Scale: %3&quot;/px
Rotation: %4°
Field: %5° × %6°
Parity: %7
Matched stars: %8 (of %9)</translation>
    </message>
    <message>
        <source>gespiegelt</source>
        <translation>mirrored</translation>
    </message>
    <message>
        <source>normal</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>RA %1  Dek %2</source>
        <translation>RA %1  Dec %2</translation>
    </message>
    <message>
        <source>Cursor: </source>
        <translation>Cursor: </translation>
    </message>
    <message>
        <source>Astrometrie</source>
        <translation>Astrometry</translation>
    </message>
    <message>
        <source>Astrometrische Lösung:
</source>
        <translation>Astrometric solution:
</translation>
    </message>
    <message>
        <source>Das Bild hat keine Weltkoordinaten. Bitte zuerst &quot;Astrometrie (Bild lösen)...&quot; ausführen.</source>
        <translation>The image has no world coordinates. Please run &quot;Astrometry (Plate Solve)...&quot; first.</translation>
    </message>
    <message>
        <source>Katalogsterne</source>
        <translation>Catalogue stars</translation>
    </message>
    <message>
        <source>Katalogsterne beschriften</source>
        <translation>Label Catalogue Stars</translation>
    </message>
</context>
<context>
    <name>quillon::ui::AutoAlignRow</name>
    <message>
        <source>Automatisch ausrichten (alle Sterne)</source>
        <translation>Align automatically (all stars)</translation>
    </message>
    <message>
        <source>Jedes Bild wird über alle seine Sterne auf das beste Bild der Serie ausgerichtet; Referenzpunkte sind dafür nicht nötig.</source>
        <translation>Every frame is aligned on the best frame of the series by all of its stars; no reference points are needed.</translation>
    </message>
    <message>
        <source>Verschiebung</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>Ähnlichkeit</source>
        <translation>Similarity</translation>
    </message>
    <message>
        <source>Affin</source>
        <translation>Affine</translation>
    </message>
    <message>
        <source>Projektiv</source>
        <translation>Projective</translation>
    </message>
    <message>
        <source>Bildanalyse...</source>
        <translation>Frame analysis...</translation>
    </message>
    <message>
        <source>%1: %2
</source>
        <translation>%1: %2
</translation>
    </message>
    <message>
        <source>Beim automatischen Ausrichten ausgelassen:
%1</source>
        <translation>Left out by the automatic alignment:
%1</translation>
    </message>
</context>
<context>
    <name>quillon::ui::BackgroundDialog</name>
    <message>
        <source>Hintergrund extrahieren</source>
        <translation>Extract Background</translation>
    </message>
    <message>
        <source> je Seite</source>
        <translation> per side</translation>
    </message>
    <message>
        <source>Rasterdichte:</source>
        <translation>Grid density:</translation>
    </message>
    <message>
        <source>Ausschlussstärke:</source>
        <translation>Rejection strength:</translation>
    </message>
    <message>
        <source>Verfahren</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>Polynom</source>
        <translation>Polynomial</translation>
    </message>
    <message>
        <source>Glatte Fläche</source>
        <translation>Smooth surface</translation>
    </message>
    <message>
        <source>Grad </source>
        <translation>Degree </translation>
    </message>
    <message>
        <source>Glättung </source>
        <translation>Smoothing </translation>
    </message>
    <message>
        <source>Subtrahieren</source>
        <translation>Subtract</translation>
    </message>
    <message>
        <source>Dividieren</source>
        <translation>Divide</translation>
    </message>
    <message>
        <source>Modell zeigen</source>
        <translation>Show model</translation>
    </message>
    <message>
        <source>Ein Klick ins Bild schaltet die Probe dort ein oder aus oder setzt eine neue.</source>
        <translation>A click in the image switches the sample there on or off, or places a new one.</translation>
    </message>
    <message>
        <source>%1 von %2 Proben benutzt.</source>
        <translation>%1 of %2 samples used.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CMainFrame</name>
    <message>
        <source>&amp;Datei</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>&amp;Komposit / Summenbild erstellen</source>
        <translation>&amp;Stack / Sum Image</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>&amp;?</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;Aktionen</source>
        <translation>&amp;Actions</translation>
    </message>
    <message>
        <source>&amp;Bearbeiten</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>B&amp;ild</source>
        <translation>&amp;Image</translation>
    </message>
    <message>
        <source>&amp;Konvertieren</source>
        <translation>&amp;Convert</translation>
    </message>
    <message>
        <source>&amp;Spiegeln</source>
        <translation>&amp;Flip</translation>
    </message>
    <message>
        <source>D&amp;rehen</source>
        <translation>&amp;Rotate</translation>
    </message>
    <message>
        <source>Fi&amp;lter</source>
        <translation>Fi&amp;lter</translation>
    </message>
    <message>
        <source>&amp;Ansicht</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Vollbild</source>
        <translation>&amp;Full Screen</translation>
    </message>
    <message>
        <source>&amp;Fenster</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>Symbolleiste</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Bereit</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Laufende Aktion abbrechen (Esc)</source>
        <translation>Cancel the running action (Esc)</translation>
    </message>
    <message>
        <source>Auswahl: %1 × %2</source>
        <translation>Selection: %1 × %2</translation>
    </message>
    <message>
        <source>Info über Quillon</source>
        <translation>About Quillon</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Quillon&lt;/h3&gt;&lt;p&gt;Astrofotografie unter Linux: FITS, Kamera-RAW, Kalibrierung, Filter und Komposite.&lt;/p&gt;&lt;p&gt;Version %1&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Quillon&lt;/h3&gt;&lt;p&gt;Astrophotography on Linux: FITS, camera RAW, calibration, filters and stacking.&lt;/p&gt;&lt;p&gt;Version %1&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CWinQuillonApp</name>
    <message>
        <source>Bild%1</source>
        <translation>Image%1</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CWinQuillonDoc</name>
    <message>
        <source>Änderungen in %1 speichern?</source>
        <translation>Save changes to %1?</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CWinQuillonView</name>
    <message>
        <source>&amp;Schwarzpunkt</source>
        <translation>&amp;Black Point</translation>
    </message>
    <message>
        <source>&amp;Weißpunkt</source>
        <translation>&amp;White Point</translation>
    </message>
    <message>
        <source>Referenzposition %1 hier setzen/suchen</source>
        <translation>Set/find reference position %1 here</translation>
    </message>
    <message>
        <source>&amp;LRGB Bias hier ermitteln...</source>
        <translation>Determine &amp;LRGB Bias Here...</translation>
    </message>
    <message>
        <source>Referenzstern Lucy Richardson...</source>
        <translation>Lucy-Richardson Reference Star...</translation>
    </message>
    <message>
        <source>&amp;Photometrie hier fixieren</source>
        <translation>Fix &amp;Photometry Here</translation>
    </message>
    <message>
        <source>Tools &amp;ausblenden</source>
        <translation>&amp;Hide Tools</translation>
    </message>
    <message>
        <source>&amp;Vollbildansicht beenden</source>
        <translation>&amp;Leave Full Screen</translation>
    </message>
    <message>
        <source>Sterne markieren</source>
        <translation>Mark stars</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CompositeReport</name>
    <message>
        <source>nicht verfügbar</source>
        <translation>not available</translation>
    </message>
    <message>
        <source>Prüfung fehlgeschlagen</source>
        <translation>check failed</translation>
    </message>
    <message>
        <source>Referenzbild</source>
        <translation>reference frame</translation>
    </message>
    <message>
        <source>eingefügt</source>
        <translation>added</translation>
    </message>
    <message>
        <source>nicht eingefügt</source>
        <translation>not added</translation>
    </message>
    <message>
        <source>Liste</source>
        <translation>List</translation>
    </message>
    <message>
        <source>Nr.</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Bild</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Referenzpunkte</source>
        <translation>Reference stars</translation>
    </message>
    <message>
        <source>Prüfung: Abstand / Winkel</source>
        <translation>Check: distance / angle</translation>
    </message>
    <message>
        <source>Verschiebung</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>Drehung</source>
        <translation>Rotation</translation>
    </message>
    <message>
        <source>Maßstab</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>Beitrag</source>
        <translation>Contribution</translation>
    </message>
    <message>
        <source>Verworfen</source>
        <translation>Rejected</translation>
    </message>
    <message>
        <source>Komposit: Bericht der Einzelbilder</source>
        <translation>Composite: Frame Report</translation>
    </message>
    <message>
        <source>Komposit aus %1 Bildern, %2 x %3 Pixel</source>
        <translation>Composite of %1 frames, %2 x %3 pixels</translation>
    </message>
    <message>
        <source>, Ränder entfernt</source>
        <translation>, borders removed</translation>
    </message>
    <message>
        <source>, %1 mit fehlgeschlagener Prüfung</source>
        <translation>, %1 failed the check</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>quillon::ui::CompositeWindow</name>
    <message>
        <source>Komposit</source>
        <translation>Composite</translation>
    </message>
    <message>
        <source>Dunkel- und Flatfieldkorrektur: AKTIV</source>
        <translation>Dark and flat field correction: ON</translation>
    </message>
    <message>
        <source>Dunkel- und Flatfieldkorrektur: Aus</source>
        <translation>Dark and flat field correction: Off</translation>
    </message>
    <message>
        <source>Komposit / Summenbild erstellen</source>
        <translation>Create Composite / Stack</translation>
    </message>
    <message>
        <source>Liste aller Bilder der Zilebene:</source>
        <translation>List of all frames for the target layer:</translation>
    </message>
    <message>
        <source>Bild aus Datei hinzufügen</source>
        <translation>Add frame from file</translation>
    </message>
    <message>
        <source>Geöffnetes Bild hinzufügen</source>
        <translation>Add open image</translation>
    </message>
    <message>
        <source>Alle Listen Löschen</source>
        <translation>Clear All Lists</translation>
    </message>
    <message>
        <source>Alle Faktoren dieser Liste setzen auf:</source>
        <translation>Set all factors of this list to:</translation>
    </message>
    <message>
        <source>Anzahl der Referenzpunkte:</source>
        <translation>Number of reference stars:</translation>
    </message>
    <message>
        <source>Größenfaktor:</source>
        <translation>Scale factor:</translation>
    </message>
    <message>
        <source>...D&amp;&amp;F Einstellungen für alle Ebenen übernehmen</source>
        <translation>...Apply D&amp;&amp;F settings to all layers</translation>
    </message>
    <message>
        <source>Bilder mitteln (=Alle Faktoren ignorieren)</source>
        <translation>Average frames (= ignore all factors)</translation>
    </message>
    <message>
        <source>Ränder automatisch entfernen</source>
        <translation>Remove borders automatically</translation>
    </message>
    <message>
        <source>Artefakte entfernen</source>
        <translation>Remove artefacts</translation>
    </message>
    <message>
        <source>R:G:B-Gewichtungsverhältnis der Einzelbilder (nur RGB und LRGB):</source>
        <translation>R:G:B weighting of the frames (RGB and LRGB only):</translation>
    </message>
    <message>
        <source>Alle Referenzpunkte setzen</source>
        <translation>Set All Reference Stars</translation>
    </message>
    <message>
        <source>Verarbeitung starten</source>
        <translation>Start Processing</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Lfd. Nr.</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Dateiname</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>Faktor: </source>
        <translation>Factor: </translation>
    </message>
    <message>
        <source>Faktor</source>
        <translation>Factor</translation>
    </message>
    <message>
        <source>View-Pointer</source>
        <translation>View pointer</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Geöffnetes Bild</source>
        <translation>Open image</translation>
    </message>
</context>
<context>
    <name>quillon::ui::DarkFlatDialog</name>
    <message>
        <source>Dunkelstrom- / Flatfieldkorrektur</source>
        <translation>Dark Frame / Flat Field Correction</translation>
    </message>
    <message>
        <source>Neu  =  ( Alt - D /</source>
        <translation>New  =  ( Old - D /</translation>
    </message>
    <message>
        <source>Datei wählen...</source>
        <translation>Choose File...</translation>
    </message>
    <message>
        <source>Dunkelstromkorrektur durchführen</source>
        <translation>Apply dark frame correction</translation>
    </message>
    <message>
        <source>Dunkelbilddatei:</source>
        <translation>Dark frame file:</translation>
    </message>
    <message>
        <source>Flatfieldkorrektur durchführen</source>
        <translation>Apply flat field correction</translation>
    </message>
    <message>
        <source>Flatfielddatei:</source>
        <translation>Flat field file:</translation>
    </message>
    <message>
        <source>Flatfield - Faktor aus Flatfield- Mittelwert</source>
        <translation>Flat field factor from the flat field mean</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::DebayerDialog</name>
    <message>
        <source>Debayer</source>
        <translation>Debayer</translation>
    </message>
    <message>
        <source>Automatisch (%1)</source>
        <translation>Automatic (%1)</translation>
    </message>
    <message>
        <source>Automatisch (keine Angabe in der Datei)</source>
        <translation>Automatic (not given in the file)</translation>
    </message>
    <message>
        <source>Bilinear</source>
        <translation>Bilinear</translation>
    </message>
    <message>
        <source>VNG (kantenerhaltend)</source>
        <translation>VNG (edge-preserving)</translation>
    </message>
    <message>
        <source>Superpixel (2 × 2, halbe Größe)</source>
        <translation>Superpixel (2 × 2, half size)</translation>
    </message>
    <message>
        <source>Farbmuster:</source>
        <translation>Bayer pattern:</translation>
    </message>
    <message>
        <source>Verfahren:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::DeconvolutionDialog</name>
    <message>
        <source>Anzahl Iterationen:</source>
        <translation>Number of iterations:</translation>
    </message>
    <message>
        <source>PSF Größe:</source>
        <translation>PSF size:</translation>
    </message>
    <message>
        <source>%1 x %2 Pixel</source>
        <translation>%1 x %2 pixels</translation>
    </message>
    <message>
        <source>Anzahl gemittelter PSF:</source>
        <translation>Number of averaged PSFs:</translation>
    </message>
    <message>
        <source>Bearbeitungszeit (ca.):</source>
        <translation>Processing time (approx.):</translation>
    </message>
    <message>
        <source>Vorschau berechnen</source>
        <translation>Compute Preview</translation>
    </message>
</context>
<context>
    <name>quillon::ui::FrameAnalysisWindow</name>
    <message>
        <source>Bildanalyse</source>
        <translation>Frame analysis</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Sterne</source>
        <translation>Stars</translation>
    </message>
    <message>
        <source>FWHM (px)</source>
        <translation>FWHM (px)</translation>
    </message>
    <message>
        <source>FWHM (″)</source>
        <translation>FWHM (″)</translation>
    </message>
    <message>
        <source>Rundheit</source>
        <translation>Roundness</translation>
    </message>
    <message>
        <source>Hintergrund</source>
        <translation>Background</translation>
    </message>
    <message>
        <source>Rauschen</source>
        <translation>Noise</translation>
    </message>
    <message>
        <source>Güte</source>
        <translation>Score</translation>
    </message>
    <message>
        <source>Ausgelassen weil</source>
        <translation>Left out because</translation>
    </message>
    <message>
        <source>Häkchen: Bild wird verwendet. Doppelklick öffnet das Bild.</source>
        <translation>Ticked: the frame is used. A double click opens the frame.</translation>
    </message>
    <message>
        <source>Auswahlregeln:</source>
        <translation>Selection rules:</translation>
    </message>
    <message>
        <source>z. B. fwhm&lt;3.5, roundness&gt;0.8, stars&gt;=50</source>
        <translation>e.g. fwhm&lt;3.5, roundness&gt;0.8, stars&gt;=50</translation>
    </message>
    <message>
        <source>Regeln durch Komma getrennt; Größen: fwhm, fwhm_arcsec, roundness, stars, background, noise, score</source>
        <translation>Rules separated by commas; figures: fwhm, fwhm_arcsec, roundness, stars, background, noise, score</translation>
    </message>
    <message>
        <source>beste</source>
        <translation>best</translation>
    </message>
    <message>
        <source> %</source>
        <translation> %</translation>
    </message>
    <message>
        <source>Auswahl anwenden</source>
        <translation>Apply selection</translation>
    </message>
    <message>
        <source>Bildmaßstab (″/Pixel, 0 = unbekannt):</source>
        <translation>Image scale (″/pixel, 0 = unknown):</translation>
    </message>
    <message>
        <source>Neu messen</source>
        <translation>Measure again</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>–</source>
        <translation>–</translation>
    </message>
    <message>
        <source>%1 Bilder gemessen, %2 verwendet</source>
        <translation>%1 frames measured, %2 used</translation>
    </message>
</context>
<context>
    <name>quillon::ui::GreyConvertDialog</name>
    <message>
        <source>Zu Graubild konvertieren</source>
        <translation>Convert to Greyscale</translation>
    </message>
    <message>
        <source>Rotanteil:</source>
        <translation>Red share:</translation>
    </message>
    <message>
        <source>Grünanteil:</source>
        <translation>Green share:</translation>
    </message>
    <message>
        <source>Blauanteil:</source>
        <translation>Blue share:</translation>
    </message>
    <message>
        <source>Natürliches Verhältnis</source>
        <translation>Natural Ratio</translation>
    </message>
    <message>
        <source>Summe = 1 erzwingen</source>
        <translation>Force Sum = 1</translation>
    </message>
    <message>
        <source>Farbgewichtung berücksichtigen</source>
        <translation>Apply colour weighting</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::HelpViewer</name>
    <message>
        <source>Quillon Hilfe</source>
        <translation>Quillon Help</translation>
    </message>
    <message>
        <source>Inhalt</source>
        <translation>Contents</translation>
    </message>
    <message>
        <source>Zurück</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Vorwärts</source>
        <translation>Forward</translation>
    </message>
</context>
<context>
    <name>quillon::ui::HelpWizard</name>
    <message>
        <source> Aus Sicherheitsgründen ist eine Navigation nach : 
 %1 
 nicht gestatted. 
 Es können nur lokale, oder Seiten auf %2 erreicht werden.</source>
        <translation> For security reasons, navigating to: 
 %1 
 is not allowed. 
 Only local pages or pages on %2 can be reached.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::HistogramWindow</name>
    <message>
        <source>Histogramm</source>
        <translation>Histogram</translation>
    </message>
</context>
<context>
    <name>quillon::ui::ImageInfoWindow</name>
    <message>
        <source>Bildinformation - zur Ansicht</source>
        <translation>Image Information - View</translation>
    </message>
    <message>
        <source>Bildinformation - in Bearbeitung</source>
        <translation>Image Information - Editing</translation>
    </message>
    <message>
        <source>Größe:</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>Ebenen:</source>
        <translation>Layers:</translation>
    </message>
    <message>
        <source>Datum:</source>
        <translation>Date:</translation>
    </message>
    <message>
        <source>Uhrzeit:</source>
        <translation>Time:</translation>
    </message>
    <message>
        <source>Sternzeit:</source>
        <translation>Sidereal time:</translation>
    </message>
    <message>
        <source>Juliani. Datum:</source>
        <translation>Julian date:</translation>
    </message>
    <message>
        <source>Ort:  Länge:</source>
        <translation>Site:  longitude:</translation>
    </message>
    <message>
        <source>Ort:  Breite:</source>
        <translation>Site:  latitude:</translation>
    </message>
    <message>
        <source>Pixelgröße X:</source>
        <translation>Pixel size X:</translation>
    </message>
    <message>
        <source>Pixelgröße Y:</source>
        <translation>Pixel size Y:</translation>
    </message>
    <message>
        <source>Bildkommentare (Max. 71 Zeichen/Zeile):</source>
        <translation>Image comments (max. 71 characters/line):</translation>
    </message>
    <message>
        <source>Übernehmen</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Die Bildinformation wird gerade bearbeitet.</source>
        <translation>The image information is being edited.</translation>
    </message>
    <message>
        <source>Bildtyp:</source>
        <translation>Image type:</translation>
    </message>
    <message>
        <source>Belichtungszeit:</source>
        <translation>Exposure time:</translation>
    </message>
    <message>
        <source>Chiptemperatur:</source>
        <translation>Sensor temperature:</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LanguageDialog</name>
    <message>
        <source>Sprache</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Die Sprache wird beim nächsten Start umgestellt.</source>
        <translation>The language changes at the next start.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LayerChoiceDialog</name>
    <message>
        <source>Ebene auswählen</source>
        <translation>Select Layer</translation>
    </message>
    <message>
        <source>&lt;Alle Ebenen&gt;</source>
        <translation>&lt;All layers&gt;</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LayerCountDialog</name>
    <message>
        <source>Anzahl der Ebenen eingeben</source>
        <translation>Enter Number of Layers</translation>
    </message>
    <message>
        <source>Anzahl der Ebenen:</source>
        <translation>Number of layers:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LayerMatrixDialog</name>
    <message>
        <source>Ebenennamen / Abbildungsvorschrift</source>
        <translation>Layer Names / Colour Mapping</translation>
    </message>
    <message>
        <source>Ebene</source>
        <translation>Layer</translation>
    </message>
    <message>
        <source>Ebenen-Name</source>
        <translation>Layer name</translation>
    </message>
    <message>
        <source>Rot</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>Grün</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>Blau</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>Normalisieren</source>
        <translation>Normalise</translation>
    </message>
    <message>
        <source>Vorschau...</source>
        <translation>Preview...</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Geben Sie bitte eine Zahl ein.</source>
        <translation>Please enter a number.</translation>
    </message>
    <message>
        <source>Abbildungsvorschrift bearbeiten</source>
        <translation>Edit Colour Mapping</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LayerSelectDialog</name>
    <message>
        <source>Ebenen auswählen</source>
        <translation>Select Layers</translation>
    </message>
    <message>
        <source>Alle auswählen</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>Auswahl aufheben</source>
        <translation>Select None</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::LrgbBiasDialog</name>
    <message>
        <source>LRGB Bias-Werte</source>
        <translation>LRGB Bias Values</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Old</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Automatisch ermitteln</source>
        <translation>Determine Automatically</translation>
    </message>
    <message>
        <source>Übernehmen</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::MemoryDialog</name>
    <message>
        <source>Speicherausnutzung</source>
        <translation>Memory Usage</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Legen Sie fest, wieviel Speicher maximal für die Funktion &quot;Artefakte entfernen&quot; zur Verfügung stehen soll.</source>
        <translation>Set the maximum amount of memory available to &quot;Remove artefacts&quot;.</translation>
    </message>
    <message>
        <source>Für die optimale Verarbeitungsgeschwindigkeit sollte eine maximale Speichermenge eingestellt werden, die noch ohne Festplatten-Auslagerung von Ihrem System bereitgestellt werden kann.</source>
        <translation>For the best processing speed, set the largest amount of memory your system can provide without swapping to disk.</translation>
    </message>
    <message>
        <source>Für &quot;Artefakte entfernen&quot; verwendeter, maximaler Speicher (MB):</source>
        <translation>Maximum memory used by &quot;Remove artefacts&quot; (MB):</translation>
    </message>
    <message>
        <source>Die Standarteinstellung ist 64 MB.  Weitere Informationen finden Sie in der Hilfe. ( Stellen Sie sicher das das Fenster aktiviert ist und drücken Sie die Taste [F1]  )</source>
        <translation>The default is 64 MB.  See the help for more information. ( Make sure this window is active and press [F1]  )</translation>
    </message>
    <message>
        <source>Für &quot;Rückgängig&quot; verwendeter, maximaler Speicher aller Bilder (MB):</source>
        <translation>Maximum memory used by &quot;Undo&quot; for all images (MB):</translation>
    </message>
    <message>
        <source>Die Standarteinstellung ist 512 MB. Wird mehr gebraucht, fallen die ältesten Schritte weg.</source>
        <translation>The default is 512 MB. When more is needed, the oldest steps are dropped.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::NavigatorWindow</name>
    <message>
        <source>Zoomnavigator</source>
        <translation>Zoom Navigator</translation>
    </message>
    <message>
        <source>auto resize</source>
        <translation>auto resize</translation>
    </message>
</context>
<context>
    <name>quillon::ui::NewImageDialog</name>
    <message>
        <source>Neues Bilddokument erstellen:</source>
        <translation>Create New Image Document:</translation>
    </message>
    <message>
        <source>+ Beschriftungsebene</source>
        <translation>+ Annotation layer</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbruch</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>X-Größe:</source>
        <translation>Width:</translation>
    </message>
    <message>
        <source>Y-Größe:</source>
        <translation>Height:</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>Ebenen:</source>
        <translation>Layers:</translation>
    </message>
    <message>
        <source>Pixelzahl:</source>
        <translation>Pixel count:</translation>
    </message>
    <message>
        <source>Speicher (kB):</source>
        <translation>Memory (kB):</translation>
    </message>
</context>
<context>
    <name>quillon::ui::NumberField</name>
    <message>
        <source>Geben Sie bitte eine Zahl ein.</source>
        <translation>Please enter a number.</translation>
    </message>
    <message>
        <source>Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Please enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Geben Sie bitte eine Zahl zwischen %1 und %2 ein.</source>
        <translation>Please enter a number between %1 and %2.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::OpenViewChooser</name>
    <message>
        <source>Liste aller Ansichten</source>
        <translation>List of All Views</translation>
    </message>
    <message>
        <source>Lfd. Nr.</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Ansicht</source>
        <translation>View</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::OverlayFormingDialog</name>
    <message>
        <source>Overlayeigenschaften</source>
        <translation>Overlay Properties</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PageSetupDialog</name>
    <message>
        <source>Druck-Seite Einrichten</source>
        <translation>Page Setup</translation>
    </message>
    <message>
        <source>Bildplazierung</source>
        <translation>Image placement</translation>
    </message>
    <message>
        <source>Automatisch</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>Numerisch</source>
        <translation>Numeric</translation>
    </message>
    <message>
        <source>Position %1</source>
        <translation>Position %1</translation>
    </message>
    <message>
        <source>Offset von Seitenecke zu Bildecke</source>
        <translation>Offset from page corner to image corner</translation>
    </message>
    <message>
        <source>in mm</source>
        <translation>in mm</translation>
    </message>
    <message>
        <source>Bildgröße</source>
        <translation>Image Size</translation>
    </message>
    <message>
        <source>( größtmöglich )</source>
        <translation>( largest possible )</translation>
    </message>
    <message>
        <source>Gesamtgröße nach Ausdruck :</source>
        <translation>Total printed size :</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Drucker Einrichten</source>
        <translation>Printer Setup</translation>
    </message>
    <message>
        <source>Erweitert...</source>
        <translation>Advanced...</translation>
    </message>
    <message>
        <source>Seitenansicht</source>
        <translation>Print Preview</translation>
    </message>
    <message>
        <source>Drucken</source>
        <translation>Print</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PhotometryWindow</name>
    <message>
        <source>Photometrische Eigenschaften</source>
        <translation>Photometric Properties</translation>
    </message>
    <message>
        <source>Pixel: x=</source>
        <translation>Pixel: x=</translation>
    </message>
    <message>
        <source>Messelipse:</source>
        <translation>Aperture:</translation>
    </message>
    <message>
        <source>Referenz-
   Rand:</source>
        <translation>Reference
   annulus:</translation>
    </message>
    <message>
        <source>Position fixiert</source>
        <translation>Position locked</translation>
    </message>
    <message>
        <source>Angezeigter Farbwert</source>
        <translation>Displayed colour value</translation>
    </message>
    <message>
        <source>Gesamthelligheit =</source>
        <translation>Total brightness =</translation>
    </message>
    <message>
        <source>Farbverhältnis (R:G:B):</source>
        <translation>Colour ratio (R:G:B):</translation>
    </message>
    <message>
        <source>Koeffizient =</source>
        <translation>Coefficient =</translation>
    </message>
    <message>
        <source>Anzahl Referenzen =</source>
        <translation>Number of references =</translation>
    </message>
    <message>
        <source>Entspr. mag =</source>
        <translation>Corresp. mag =</translation>
    </message>
    <message>
        <source>mag-Vorgabe =</source>
        <translation>Preset mag =</translation>
    </message>
    <message>
        <source>Referenzwert hinzu</source>
        <translation>Add Reference</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Referenzen:</source>
        <translation>References:</translation>
    </message>
    <message>
        <source>Helligkeit</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>mag</source>
        <translation>mag</translation>
    </message>
    <message>
        <source>Abweichung</source>
        <translation>Deviation</translation>
    </message>
    <message>
        <source>Referenz entfernen</source>
        <translation>Remove Reference</translation>
    </message>
    <message>
        <source>Als CSV speichern...</source>
        <translation>Save as CSV...</translation>
    </message>
    <message>
        <source>Als CSV speichern</source>
        <translation>Save as CSV</translation>
    </message>
    <message>
        <source>photometrie.csv</source>
        <translation>photometry.csv</translation>
    </message>
    <message>
        <source>CSV-Dateien (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>Die Datei &quot;%1&quot; kann nicht geschrieben werden.</source>
        <translation>The file &quot;%1&quot; cannot be written.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PreviewDialog</name>
    <message>
        <source>Vorschau...</source>
        <translation>Preview...</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PreviewWindow</name>
    <message>
        <source>Vorschau</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Zoom:</source>
        <translation>Zoom:</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PrinterPropertiesDialog</name>
    <message>
        <source>PDF-Datei</source>
        <translation>PDF file</translation>
    </message>
    <message>
        <source>Rasterdrucker</source>
        <translation>Raster printer</translation>
    </message>
    <message>
        <source>Druckereigenschaften und Spezialeinstellungen</source>
        <translation>Printer Properties and Special Settings</translation>
    </message>
    <message>
        <source>Drucker</source>
        <translation>Printer</translation>
    </message>
    <message>
        <source>Druckbarer Bereichs in Pixel</source>
        <translation>Printable area in pixels</translation>
    </message>
    <message>
        <source>Druckbaren Bereichs in mm </source>
        <translation>Printable area in mm </translation>
    </message>
    <message>
        <source>Pixel pro Inch</source>
        <translation>Pixels per inch</translation>
    </message>
    <message>
        <source>Gesamtgröße in Pixel</source>
        <translation>Total size in pixels</translation>
    </message>
    <message>
        <source>Offset zum druckbaren Bereich in Pixel</source>
        <translation>Offset to the printable area in pixels</translation>
    </message>
    <message>
        <source>Kacheln (Druckerpixel)</source>
        <translation>Tiles (printer pixels)</translation>
    </message>
    <message>
        <source>Kachelgröße X</source>
        <translation>Tile size X</translation>
    </message>
    <message>
        <source>Kachelgröße Y</source>
        <translation>Tile size Y</translation>
    </message>
    <message>
        <source>Kachelüberhang X</source>
        <translation>Tile overlap X</translation>
    </message>
    <message>
        <source>Kachelüberhang Y</source>
        <translation>Tile overlap Y</translation>
    </message>
    <message>
        <source>Bildausgabe auf dem Drucker</source>
        <translation>Image output on the printer</translation>
    </message>
    <message>
        <source>Automatisch Farbwahl</source>
        <translation>Automatic colour choice</translation>
    </message>
    <message>
        <source>Farbig</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>S / W</source>
        <translation>B / W</translation>
    </message>
    <message>
        <source>Druckgröße</source>
        <translation>Print size</translation>
    </message>
    <message>
        <source>Automatische Größe</source>
        <translation>Automatic size</translation>
    </message>
    <message>
        <source>1 Bildpixel = 1 Druckerpixel</source>
        <translation>1 image pixel = 1 printer pixel</translation>
    </message>
    <message>
        <source>1 Bildpixel = 4 Druckerpixel</source>
        <translation>1 image pixel = 4 printer pixels</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Please enter a whole number between %1 and %2.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::PsfDialog</name>
    <message>
        <source>Größe:</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>Anzahl bisheriger PSF:</source>
        <translation>Number of PSFs so far:</translation>
    </message>
    <message>
        <source>Hinzufügen</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Bisherige PSF löschen</source>
        <translation>Clear Previous PSFs</translation>
    </message>
</context>
<context>
    <name>quillon::ui::ReferenceWindow</name>
    <message>
        <source>Overlay</source>
        <translation>Overlay</translation>
    </message>
    <message>
        <source>Referenzpunkte setzen</source>
        <translation>Set Reference Stars</translation>
    </message>
    <message>
        <source>In der Liste des Typs:</source>
        <translation>In the list of type:</translation>
    </message>
    <message>
        <source>Methode:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>Such-Bereich:</source>
        <translation>Search area:</translation>
    </message>
    <message>
        <source>Swp-Bereich:</source>
        <translation>Centroid area:</translation>
    </message>
    <message>
        <source>Koordinaten übernehmen</source>
        <translation>Carry over coordinates</translation>
    </message>
    <message>
        <source>Automatisch fortfahren</source>
        <translation>Continue automatically</translation>
    </message>
    <message>
        <source>Sterne automatisch zuordnen</source>
        <translation>Match stars automatically</translation>
    </message>
    <message>
        <source>Die Startpositionen jedes weiteren Bildes werden über seine Sterne gefunden, auch bei großen Verschiebungen und Drehungen.</source>
        <translation>The starting positions of each further frame are found from its stars, even with large shifts and rotations.</translation>
    </message>
    <message>
        <source>&lt;&lt; vorheriges Bild</source>
        <translation>&lt;&lt; Previous Frame</translation>
    </message>
    <message>
        <source>nächstes Bild &gt;&gt;</source>
        <translation>Next Frame &gt;&gt;</translation>
    </message>
    <message>
        <source>Beenden</source>
        <translation>Finish</translation>
    </message>
    <message>
        <source>Dateiname</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>Faktor: </source>
        <translation>Factor: </translation>
    </message>
    <message>
        <source>Faktor</source>
        <translation>Factor</translation>
    </message>
    <message>
        <source>Ref %1: X</source>
        <translation>Ref %1: X</translation>
    </message>
    <message>
        <source>Ref %1: Y</source>
        <translation>Ref %1: Y</translation>
    </message>
    <message>
        <source>Ref %1:</source>
        <translation>Ref %1:</translation>
    </message>
</context>
<context>
    <name>quillon::ui::ResizeDialog</name>
    <message>
        <source>Bildgröße</source>
        <translation>Image Size</translation>
    </message>
    <message>
        <source>Aktuelle Größe</source>
        <translation>Current size</translation>
    </message>
    <message>
        <source>Breite:</source>
        <translation>Width:</translation>
    </message>
    <message>
        <source>Pixel</source>
        <translation>pixels</translation>
    </message>
    <message>
        <source>Höhe:</source>
        <translation>Height:</translation>
    </message>
    <message>
        <source>Neue Größe</source>
        <translation>New size</translation>
    </message>
    <message>
        <source>Seitenverhältnis beibehalten</source>
        <translation>Keep aspect ratio</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbruch</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillon::ui::ScalingWindow</name>
    <message>
        <source>Skalierung</source>
        <translation>Scaling</translation>
    </message>
    <message>
        <source>Standardbedienung</source>
        <translation>Basic controls</translation>
    </message>
    <message>
        <source>Helligkeit</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>Kontrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>Direkte Einstellungen</source>
        <translation>Direct settings</translation>
    </message>
    <message>
        <source>Dunkel</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>Hell</source>
        <translation>Bright</translation>
    </message>
    <message>
        <source>Verhältnis</source>
        <translation>Ratio</translation>
    </message>
    <message>
        <source>Rot:</source>
        <translation>Red:</translation>
    </message>
    <message>
        <source>Grün:</source>
        <translation>Green:</translation>
    </message>
    <message>
        <source>Blau:</source>
        <translation>Blue:</translation>
    </message>
    <message>
        <source>beibehalten</source>
        <translation>keep</translation>
    </message>
    <message>
        <source>Overlay anzeigen</source>
        <translation>Show overlay</translation>
    </message>
    <message>
        <source>Erweiterte Einstellungen</source>
        <translation>Advanced settings</translation>
    </message>
    <message>
        <source>Lookup-Table-Typ:</source>
        <translation>Lookup table type:</translation>
    </message>
    <message>
        <source>Invertieren</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>Periodisch forts.</source>
        <translation>Repeat periodically</translation>
    </message>
    <message>
        <source>Farbpalette (nur 
 Einkanal-Bilder):</source>
        <translation>Palette (single-
 channel images):</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>LRGB-Bias...</source>
        <translation>LRGB Bias...</translation>
    </message>
</context>
<context>
    <name>quillon::ui::SeriesPlot</name>
    <message>
        <source>FWHM (Pixel)</source>
        <translation>FWHM (pixels)</translation>
    </message>
    <message>
        <source>Rundheit</source>
        <translation>Roundness</translation>
    </message>
    <message>
        <source>Sterne</source>
        <translation>Stars</translation>
    </message>
    <message>
        <source>Hintergrund</source>
        <translation>Background</translation>
    </message>
    <message>
        <source>Bild 1 … %1 in Reihenfolge der Listen</source>
        <translation>Frame 1 … %1 in list order</translation>
    </message>
</context>
<context>
    <name>quillon::ui::StackOptionsGroup</name>
    <message>
        <source>Es liegt noch kein Ergebnis eines Komposits vor.</source>
        <translation>There is no composite result yet.</translation>
    </message>
    <message>
        <source>Keine</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Artefakte entfernen</source>
        <translation>Remove artefacts</translation>
    </message>
    <message>
        <source>Sigma-Clipping</source>
        <translation>Sigma clipping</translation>
    </message>
    <message>
        <source>Winsorized Sigma-Clipping</source>
        <translation>Winsorized sigma clipping</translation>
    </message>
    <message>
        <source>Lineare Anpassung</source>
        <translation>Linear fit</translation>
    </message>
    <message>
        <source>GESD-Test</source>
        <translation>GESD test</translation>
    </message>
    <message>
        <source>Perzentil</source>
        <translation>Percentile</translation>
    </message>
    <message>
        <source>Min/Max</source>
        <translation>Min/max</translation>
    </message>
    <message>
        <source>Automatisch</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>Additiv</source>
        <translation>Additive</translation>
    </message>
    <message>
        <source>Multiplikativ</source>
        <translation>Multiplicative</translation>
    </message>
    <message>
        <source>Additiv mit Skalierung</source>
        <translation>Additive with scaling</translation>
    </message>
    <message>
        <source>Multiplikativ mit Skalierung</source>
        <translation>Multiplicative with scaling</translation>
    </message>
    <message>
        <source>Zusammenfassen</source>
        <translation>Combine</translation>
    </message>
    <message>
        <source>Mittelwert</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>Median</source>
        <translation>Median</translation>
    </message>
    <message>
        <source>Summe</source>
        <translation>Sum</translation>
    </message>
    <message>
        <source>Rauschen (1/σ²)</source>
        <translation>Noise (1/σ²)</translation>
    </message>
    <message>
        <source>Ergebnis als 32-Bit-FITS speichern...</source>
        <translation>Save Result as 32-bit FITS...</translation>
    </message>
    <message>
        <source>Verfahren:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>Verwerfen:</source>
        <translation>Rejection:</translation>
    </message>
    <message>
        <source>Normierung:</source>
        <translation>Normalisation:</translation>
    </message>
    <message>
        <source>Gewichtung:</source>
        <translation>Weighting:</translation>
    </message>
    <message>
        <source>Sigma unten/oben:</source>
        <translation>Sigma low/high:</translation>
    </message>
    <message>
        <source>Anteil unten/oben:</source>
        <translation>Fraction low/high:</translation>
    </message>
    <message>
        <source>Anzahl unten/oben:</source>
        <translation>Count low/high:</translation>
    </message>
    <message>
        <source>Ergebnis als 32-Bit-FITS speichern</source>
        <translation>Save Result as 32-bit FITS</translation>
    </message>
    <message>
        <source>Sternschärfe (1/FWHM²)</source>
        <translation>Star sharpness (1/FWHM²)</translation>
    </message>
    <message>
        <source>Sternanzahl</source>
        <translation>Star count</translation>
    </message>
</context>
<context>
    <name>quillon::ui::StatusProgress</name>
    <message>
        <source>Bereit</source>
        <translation>Ready</translation>
    </message>
</context>
<context>
    <name>quillon::ui::TextField</name>
    <message>
        <source>Geben Sie bitte nicht mehr als %1 Zeichen ein.</source>
        <translation>Please enter no more than %1 characters.</translation>
    </message>
</context>
<context>
    <name>quillon::ui::ToolbarDialog</name>
    <message>
        <source>Symbolleiste anpassen</source>
        <translation>Customise the toolbar</translation>
    </message>
    <message>
        <source>Angezeigte Schaltflächengruppen:</source>
        <translation>Button groups shown:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Alle anzeigen</source>
        <translation>Show All</translation>
    </message>
</context>
</TS>
