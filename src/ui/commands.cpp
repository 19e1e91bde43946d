// The command table: menu texts, accelerators, tool tips and toolbar glyphs; and the link of
// the operation commands to the library's command table.
#include "ui/commands.h"

#include "ui/library_texts.h"

#include <QCoreApplication>

#include <array>

namespace quillon::ui {
namespace {

// A null text is taken from the library's command table (see kOperationLinks). Texts and tips
// are translated where they are shown (commandText, commandTip).
constexpr std::array<CommandInfo, static_cast<std::size_t>(Cmd::Count)> kCommands{{
    {QT_TRANSLATE_NOOP("Commands", "&Neu\tStrg+N"), "Ctrl+N",
     QT_TRANSLATE_NOOP("Commands", "Neues Bilddokument erstellen"), "N", true},
    {QT_TRANSLATE_NOOP("Commands", "Ö&ffnen...\tStrg+O"), "Ctrl+O",
     QT_TRANSLATE_NOOP("Commands", "Bilddateien öffnen"), "Ö", true},
    {QT_TRANSLATE_NOOP("Commands", "S&chließen"), "",
     QT_TRANSLATE_NOOP("Commands", "Aktives Dokument schließen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Alle Sc&hließen"), "",
     QT_TRANSLATE_NOOP("Commands", "Alle Dokumente schließen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Speichern\tStrg+S"), "Ctrl+S",
     QT_TRANSLATE_NOOP("Commands", "Aktives Dokument als FITS speichern"), "S", true},
    {QT_TRANSLATE_NOOP("Commands", "Speichern &unter..."), "",
     QT_TRANSLATE_NOOP("Commands", "Aktives Dokument unter neuem Namen speichern"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "E&xportieren..."), "",
     QT_TRANSLATE_NOOP("Commands", "Dargestelltes Bild als Rastergrafik exportieren"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Seite einr&ichten..."), "",
     QT_TRANSLATE_NOOP("Commands", "Druck-Seite Einrichten"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Seiten&ansicht"), "",
     QT_TRANSLATE_NOOP("Commands", "Seitenansicht"), "SA", true},
    {QT_TRANSLATE_NOOP("Commands", "&Drucken...\tStrg+P"), "Ctrl+P",
     QT_TRANSLATE_NOOP("Commands", "Drucken"), "D", true},
    {QT_TRANSLATE_NOOP("Commands", "Drucker &einrichten..."), "",
     QT_TRANSLATE_NOOP("Commands", "Drucker auswählen und einrichten"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Toolbar..."), "",
     QT_TRANSLATE_NOOP("Commands", "Symbolleiste anpassen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Speicher..."), "",
     QT_TRANSLATE_NOOP("Commands", "Speicherausnutzung"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Sp&rache..."), "",
     QT_TRANSLATE_NOOP("Commands", "Sprache der Oberfläche (ab dem nächsten Start)"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Fenster Anordnen"), "",
     QT_TRANSLATE_NOOP("Commands", "Werkzeugfenster zurücksetzen und anzeigen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Letzte Datei"), "",
     QT_TRANSLATE_NOOP("Commands", "Zuletzt geöffnete Datei"), "", false},
    {QT_TRANSLATE_NOOP("Commands", "&Beenden"), "",
     QT_TRANSLATE_NOOP("Commands", "Quillon beenden"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Kopieren\tStrg+C"), "Ctrl+C",
     QT_TRANSLATE_NOOP("Commands", "Kopie Ausschnitt"), "K", true},
    {QT_TRANSLATE_NOOP("Commands", "&Gesamtbild Kopieren"), "",
     QT_TRANSLATE_NOOP("Commands", "Kopie Gesamt"), "GK", true},
    {QT_TRANSLATE_NOOP("Commands", "&Rückgängig\tStrg+Z"), "Ctrl+Z",
     QT_TRANSLATE_NOOP("Commands", "Rückgängig"), "↶", true},
    {QT_TRANSLATE_NOOP("Commands", "&Wiederherstellen\tStrg+Y"), "Ctrl+Y",
     QT_TRANSLATE_NOOP("Commands", "Wiederherstellen"), "↷", true},
    {QT_TRANSLATE_NOOP("Commands", "&Ausschneiden\tStrg+X"), "Ctrl+X",
     QT_TRANSLATE_NOOP("Commands", "Ausschneiden"), "", false},
    {QT_TRANSLATE_NOOP("Commands", "&Einfügen\tStrg+V"), "Ctrl+V",
     QT_TRANSLATE_NOOP("Commands", "Einfügen"), "", false},
    {QT_TRANSLATE_NOOP("Commands", "&Graubild..."), "",
     QT_TRANSLATE_NOOP("Commands", "In Graubild konvertieren"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&RGB"), "",
     QT_TRANSLATE_NOOP("Commands", "In RGB konvertieren"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "LRGB-Bias Werte setzen..."), "",
     QT_TRANSLATE_NOOP("Commands", "LRGB-Bias Werte setzen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Abbildungs&vorschrift bearbeiten..."), "",
     QT_TRANSLATE_NOOP("Commands", "Ebenennamen / Abbildungsvorschrift"), "", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Horizontal spiegeln"), "↔", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Vertikal spiegeln"), "↕", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "90° nach rechts drehen"), "↻", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "90° nach links drehen"), "↺", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "180° drehen"), "", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Größe ändern / Bining"), "Gr", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Auf die Auswahl zuschneiden"), "Au", true},
    {QT_TRANSLATE_NOOP("Commands", "leeres Overlay &hinzufügen"), "",
     QT_TRANSLATE_NOOP("Commands", "Leere Beschriftungsebene hinzufügen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Overlay entfernen"), "",
     QT_TRANSLATE_NOOP("Commands", "Beschriftungsebene entfernen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Debayer..."), "",
     QT_TRANSLATE_NOOP("Commands", "Rohes Farbmosaik einer Farbkamera in ein RGB-Bild umrechnen"),
     "", true},
    {QT_TRANSLATE_NOOP("Commands", "Bild&informationen..."), "",
     QT_TRANSLATE_NOOP("Commands", "Bildinformation - zur Ansicht"), "i", true},
    {QT_TRANSLATE_NOOP("Commands", "&Graubild..."), "",
     QT_TRANSLATE_NOOP("Commands", "Graues Komposit / Summenbild"), "KG", true},
    {QT_TRANSLATE_NOOP("Commands", "&RGB..."), "", QT_TRANSLATE_NOOP("Commands", "RGB-Komposit"),
     "KR", true},
    {QT_TRANSLATE_NOOP("Commands", "&LRGB..."), "", QT_TRANSLATE_NOOP("Commands", "LRGB-Komposit"),
     "KL", true},
    {QT_TRANSLATE_NOOP("Commands", "&CMY..."), "", QT_TRANSLATE_NOOP("Commands", "CMY-Komposit"),
     "KC", true},
    {QT_TRANSLATE_NOOP("Commands", "&Benutzer..."), "",
     QT_TRANSLATE_NOOP("Commands", "Benutzerdefiniertes Komposit"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Bild&analyse..."), "",
     QT_TRANSLATE_NOOP("Commands", "Sterne, Schärfe und Hintergrund jeder Aufnahme messen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Bild in &Einzelebenen auftrennen"), "",
     QT_TRANSLATE_NOOP("Commands", "Bild in Einzelebenen auftrennen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Dunkelstrom / Flatfieldkorrektur ..."), "",
     QT_TRANSLATE_NOOP("Commands", "Dunkelstrom / Flatfieldkorrektur"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Zeile reparieren"), "",
     QT_TRANSLATE_NOOP("Commands", "Zeile reparieren"), "Z", true},
    {QT_TRANSLATE_NOOP("Commands", "&Spalte reparieren"), "",
     QT_TRANSLATE_NOOP("Commands", "Spalte reparieren"), "Sp", true},
    {QT_TRANSLATE_NOOP("Commands", "Astro&metrie (Bild lösen)..."), "",
     QT_TRANSLATE_NOOP("Commands", "Himmelsposition des Bildes bestimmen"), "AM", true},
    {QT_TRANSLATE_NOOP("Commands", "Katalogsterne &beschriften"), "",
     QT_TRANSLATE_NOOP("Commands", "Sterne des Katalogs ins Overlay zeichnen"), "KS", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Hochpassfilter"), "HP", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Tiefpassfilter"), "TP", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Spezialfilter"), "", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Rauschfilter"), "RF", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Unscharfe Maske"), "UM", true},
    {nullptr, "", QT_TRANSLATE_NOOP("Commands", "Lucy-Richardson Deconvolution"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Hintergrund extrahieren..."), "",
     QT_TRANSLATE_NOOP("Commands", "Hintergrund extrahieren"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Neue &Ansicht"), "",
     QT_TRANSLATE_NOOP("Commands", "Weitere Ansicht des aktiven Dokuments"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Ansichten &Schließen"), "",
     QT_TRANSLATE_NOOP("Commands", "Alle anderen Ansichten des Dokuments schließen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Overlay an&zeigen"), "",
     QT_TRANSLATE_NOOP("Commands", "Overlay anzeigen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Nachtmodus"), "",
     QT_TRANSLATE_NOOP("Commands",
                       "Rote Anzeige auf Schwarz, die das dunkeladaptierte Auge schont"),
     "", true},
    {QT_TRANSLATE_NOOP("Commands", "ver&größern"), "", QT_TRANSLATE_NOOP("Commands", "Vergrößern"),
     "+", true},
    {QT_TRANSLATE_NOOP("Commands", "ver&kleinern"), "",
     QT_TRANSLATE_NOOP("Commands", "Verkleinern"), "−", true},
    {QT_TRANSLATE_NOOP("Commands", "&Optimal"), "", QT_TRANSLATE_NOOP("Commands", "Optimale Größe"),
     "Opt", true},
    {QT_TRANSLATE_NOOP("Commands", "Pi&xelgröße (100%)"), "",
     QT_TRANSLATE_NOOP("Commands", "Pixelgröße (100%)"), "1:1", true},
    {QT_TRANSLATE_NOOP("Commands", "Alle Fenster anordnen"), "",
     QT_TRANSLATE_NOOP("Commands", "Alle Bildfenster sichtbar nebeneinander anordnen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Haupt&bildschirm"), "",
     QT_TRANSLATE_NOOP("Commands", "Vollbild auf dem Hauptbildschirm"), "VB", true},
    {QT_TRANSLATE_NOOP("Commands", "&Alle Bildschirme nutzen"), "",
     QT_TRANSLATE_NOOP("Commands", "Vollbild auf allen Bildschirmen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Zoomnavigator"), "",
     QT_TRANSLATE_NOOP("Commands", "Zoomnavigator"), "ZN", true},
    {QT_TRANSLATE_NOOP("Commands", "Ska&lierung"), "", QT_TRANSLATE_NOOP("Commands", "Skalierung"),
     "Sk", true},
    {QT_TRANSLATE_NOOP("Commands", "&Histogramm"), "", QT_TRANSLATE_NOOP("Commands", "Histogramm"),
     "Hi", true},
    {QT_TRANSLATE_NOOP("Commands", "&Photometrie"), "",
     QT_TRANSLATE_NOOP("Commands", "Photometrie"), "Ph", true},
    {QT_TRANSLATE_NOOP("Commands", "Tools &ausblenden"), "",
     QT_TRANSLATE_NOOP("Commands", "Werkzeugfenster aus- und wieder einblenden"), "T", true},
    {QT_TRANSLATE_NOOP("Commands", "Über&lappend"), "",
     QT_TRANSLATE_NOOP("Commands", "Fenster überlappend anordnen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Nebeneinander"), "",
     QT_TRANSLATE_NOOP("Commands", "Fenster nebeneinander anordnen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "Standardanordnung wiederherstellen"), "",
     QT_TRANSLATE_NOOP("Commands", "Werkzeugfenster wie beim ersten Start anordnen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Symbole anordnen"), "",
     QT_TRANSLATE_NOOP("Commands", "Symbole anordnen"), "", true},
    {QT_TRANSLATE_NOOP("Commands", "&Hilfethemen"), "F1",
     QT_TRANSLATE_NOOP("Commands", "Hilfethemen"), "?", true},
    {QT_TRANSLATE_NOOP("Commands", "Help &Wizard"), "",
     QT_TRANSLATE_NOOP("Commands", "Help Wizard"), "W", true},
    {QT_TRANSLATE_NOOP("Commands", "Inf&o über Quillon..."), "",
     QT_TRANSLATE_NOOP("Commands", "Programminformationen"), "i?", true},
    {QT_TRANSLATE_NOOP("Commands", "Direkthilfe"), "Shift+F1",
     QT_TRANSLATE_NOOP("Commands", "Hilfe zu einem Befehl"), "?↖", true},
}};

constexpr OperationLink kOperationLinks[] = {
    {Cmd::Highpass, FilterCommand::Highpass},
    {Cmd::Lowpass, FilterCommand::Lowpass},
    {Cmd::SpecialFilter, FilterCommand::Special},
    {Cmd::NoiseFilter, FilterCommand::Noise},
    {Cmd::UnsharpMask, FilterCommand::Unsharp},
    {Cmd::LucyRichardson, FilterCommand::LucyRichardson},
    {Cmd::MirrorHorizontal, FilterCommand::MirrorHorizontal},
    {Cmd::MirrorVertical, FilterCommand::MirrorVertical},
    {Cmd::RotateRight, FilterCommand::RotateRight},
    {Cmd::RotateLeft, FilterCommand::RotateLeft},
    {Cmd::Rotate180, FilterCommand::Rotate180},
    {Cmd::Resize, FilterCommand::Resize},
    {Cmd::Crop, FilterCommand::Crop},
};

const std::array<CommandInfo, static_cast<std::size_t>(Cmd::Count)>& commandTable() {
    static const auto table = [] {
        auto t = kCommands;
        for (const OperationLink& l : kOperationLinks)
            t[static_cast<std::size_t>(l.cmd)].text = filterCommandInfo(l.command).menuText;
        return t;
    }();
    return table;
}

} // namespace

const CommandInfo& commandInfo(Cmd c) {
    return commandTable()[static_cast<std::size_t>(c)];
}

QString commandText(Cmd c) {
    // The operations' menu texts are the library's.
    if (operationOf(c)) return trLibrary(commandInfo(c).text);
    return QCoreApplication::translate("Commands", commandInfo(c).text);
}

QString commandTip(Cmd c) {
    return QCoreApplication::translate("Commands", commandInfo(c).tip);
}

std::span<const OperationLink> operationLinks() {
    return kOperationLinks;
}

std::optional<FilterCommand> operationOf(Cmd c) {
    for (const OperationLink& l : kOperationLinks)
        if (l.cmd == c) return l.command;
    return std::nullopt;
}

int helpTopicOf(Cmd c) {
    // Topic numbers of the bundled help pages, one per menu.
    int i = static_cast<int>(c);
    if (i <= static_cast<int>(Cmd::Exit)) return 131202;
    if (i <= static_cast<int>(Cmd::EditPaste)) return 131203;
    if (i <= static_cast<int>(Cmd::ImageInfo)) return 131204;
    if (i <= static_cast<int>(Cmd::CatalogLabels)) return 131205;
    if (i <= static_cast<int>(Cmd::BackgroundExtraction)) return 131206;
    if (i <= static_cast<int>(Cmd::FullScreenAll)) return 131207;
    if (i <= static_cast<int>(Cmd::HideTools)) return 131208;
    if (i <= static_cast<int>(Cmd::WindowArrangeIcons)) return 131209;
    if (i < static_cast<int>(Cmd::Count)) return 131210;
    return kDefaultHelpTopic;
}

} // namespace quillon::ui
