// The command table: menu texts, accelerators, tool tips and toolbar glyphs; and the link of
// the operation commands to the library's command table.
#include "ui/commands.h"

#include <array>

namespace quillon::ui {
namespace {

// A null text is taken from the library's command table (see kOperationLinks).
constexpr std::array<CommandInfo, static_cast<std::size_t>(Cmd::Count)> kCommands{{
    {"&Neu\tStrg+N", "Ctrl+N", "Neues Bilddokument erstellen", "N", true},
    {"Ö&ffnen...\tStrg+O", "Ctrl+O", "Bilddateien öffnen", "Ö", true},
    {"S&chließen", "", "Aktives Dokument schließen", "", true},
    {"Alle Sc&hließen", "", "Alle Dokumente schließen", "", true},
    {"&Speichern\tStrg+S", "Ctrl+S", "Aktives Dokument als FITS speichern", "S", true},
    {"Speichern &unter...", "", "Aktives Dokument unter neuem Namen speichern", "", true},
    {"E&xportieren...", "", "Dargestelltes Bild als Rastergrafik exportieren", "", true},
    {"Seite einr&ichten...", "", "Druck-Seite Einrichten", "", true},
    {"Seiten&ansicht", "", "Seitenansicht", "SA", true},
    {"&Drucken...\tStrg+P", "Ctrl+P", "Drucken", "D", true},
    {"Drucker &einrichten...", "", "Drucker auswählen und einrichten", "", true},
    {"&Toolbar...", "", "Symbolleiste anpassen", "", true},
    {"&Speicher...", "", "Speicherausnutzung", "", true},
    {"Fenster Anordnen", "", "Werkzeugfenster zurücksetzen und anzeigen", "", true},
    {"Letzte Datei", "", "Zuletzt geöffnete Datei", "", false},
    {"&Beenden", "", "Quillon beenden", "", true},
    {"&Kopieren\tStrg+C", "Ctrl+C", "Kopie Ausschnitt", "K", true},
    {"&Gesamtbild Kopieren", "", "Kopie Gesamt", "GK", true},
    {"&Rückgängig\tStrg+Z", "Ctrl+Z", "Rückgängig", "↶", true},
    {"&Wiederherstellen\tStrg+Y", "Ctrl+Y", "Wiederherstellen", "↷", true},
    {"&Ausschneiden\tStrg+X", "Ctrl+X", "Ausschneiden", "", false},
    {"&Einfügen\tStrg+V", "Ctrl+V", "Einfügen", "", false},
    {"&Graubild...", "", "In Graubild konvertieren", "", true},
    {"&RGB", "", "In RGB konvertieren", "", true},
    {"LRGB-Bias Werte setzen...", "", "LRGB-Bias Werte setzen", "", true},
    {"Abbildungs&vorschrift bearbeiten...", "", "Ebenennamen / Abbildungsvorschrift", "", true},
    {nullptr, "", "Horizontal spiegeln", "↔", true},
    {nullptr, "", "Vertikal spiegeln", "↕", true},
    {nullptr, "", "90° nach rechts drehen", "↻", true},
    {nullptr, "", "90° nach links drehen", "↺", true},
    {nullptr, "", "180° drehen", "", true},
    {nullptr, "", "Größe ändern / Bining", "Gr", true},
    {nullptr, "", "Auf die Auswahl zuschneiden", "Au", true},
    {"leeres Overlay &hinzufügen", "", "Leere Beschriftungsebene hinzufügen", "", true},
    {"&Overlay entfernen", "", "Beschriftungsebene entfernen", "", true},
    {"&Debayer...", "", "Rohes Farbmosaik einer Farbkamera in ein RGB-Bild umrechnen", "", true},
    {"Bild&informationen...", "", "Bildinformation - zur Ansicht", "i", true},
    {"&Graubild...", "", "Graues Komposit / Summenbild", "KG", true},
    {"&RGB...", "", "RGB-Komposit", "KR", true},
    {"&LRGB...", "", "LRGB-Komposit", "KL", true},
    {"&CMY...", "", "CMY-Komposit", "KC", true},
    {"&Benutzer...", "", "Benutzerdefiniertes Komposit", "", true},
    {"Bild in &Einzelebenen auftrennen", "", "Bild in Einzelebenen auftrennen", "", true},
    {"&Dunkelstrom / Flatfieldkorrektur ...", "", "Dunkelstrom / Flatfieldkorrektur", "", true},
    {"&Zeile reparieren", "", "Zeile reparieren", "Z", true},
    {"&Spalte reparieren", "", "Spalte reparieren", "Sp", true},
    {"Astro&metrie (Bild lösen)...", "", "Himmelsposition des Bildes bestimmen", "AM", true},
    {"&Katalogsterne beschriften", "", "Sterne des Katalogs ins Overlay zeichnen", "KS", true},
    {nullptr, "", "Hochpassfilter", "HP", true},
    {nullptr, "", "Tiefpassfilter", "TP", true},
    {nullptr, "", "Spezialfilter", "", true},
    {nullptr, "", "Rauschfilter", "RF", true},
    {nullptr, "", "Unscharfe Maske", "UM", true},
    {nullptr, "", "Lucy-Richardson Deconvolution", "", true},
    {"&Hintergrund extrahieren...", "", "Hintergrund extrahieren", "", true},
    {"Neue &Ansicht", "", "Weitere Ansicht des aktiven Dokuments", "", true},
    {"Ansichten &Schließen", "", "Alle anderen Ansichten des Dokuments schließen", "", true},
    {"Overlay an&zeigen", "", "Overlay anzeigen", "", true},
    {"&Nachtmodus", "", "Rote Anzeige auf Schwarz, die das dunkeladaptierte Auge schont", "", true},
    {"ver&größern", "", "Vergrößern", "+", true},
    {"ver&kleinern", "", "Verkleinern", "−", true},
    {"&Optimal", "", "Optimale Größe", "Opt", true},
    {"Pi&xelgröße (100%)", "", "Pixelgröße (100%)", "1:1", true},
    {"Alle Fenster anordnen", "", "Alle Bildfenster sichtbar nebeneinander anordnen", "", true},
    {"Haupt&bildschirm", "", "Vollbild auf dem Hauptbildschirm", "VB", true},
    {"&Alle Bildschirme nutzen", "", "Vollbild auf allen Bildschirmen", "", true},
    {"&Zoomnavigator", "", "Zoomnavigator", "ZN", true},
    {"Ska&lierung", "", "Skalierung", "Sk", true},
    {"&Histogramm", "", "Histogramm", "Hi", true},
    {"&Photometrie", "", "Photometrie", "Ph", true},
    {"Tools &ausblenden", "", "Werkzeugfenster aus- und wieder einblenden", "T", true},
    {"Über&lappend", "", "Fenster überlappend anordnen", "", true},
    {"&Nebeneinander", "", "Fenster nebeneinander anordnen", "", true},
    {"Standardanordnung wiederherstellen", "", "Werkzeugfenster wie beim ersten Start anordnen", "",
     true},
    {"&Symbole anordnen", "", "Symbole anordnen", "", true},
    {"&Hilfethemen", "F1", "Hilfethemen", "?", true},
    {"Help &Wizard", "", "Help Wizard", "W", true},
    {"Inf&o über Quillon...", "", "Programminformationen", "i?", true},
    {"Direkthilfe", "Shift+F1", "Hilfe zu einem Befehl", "?↖", true},
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
