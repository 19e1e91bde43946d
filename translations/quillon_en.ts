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
        <translation>&amp;Split Image into Layers</translation>
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
        <source>&amp;Katalogsterne beschriften</source>
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
        <translation>Colour palette (only 
 single-channel images):</translation>
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
    <name>quillon::ui::StatusProgress</name>
    <message>
        <source>Bereit</source>
        <translation>Ready</translation>
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
