// ImageInfoWindow ("Bildinformation"): shows the active document's acquisition data and
// comments; the first edit switches to edit mode, which disables the main window until
// "Übernehmen" or "Abbrechen".
#pragma once

#include "ui/tools/tool_window.h"

#include <QPointer>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillon::ui {

class NumberField;
class TextField;

class ImageInfoWindow : public ToolWindow {
    Q_OBJECT
public:
    ImageInfoWindow(QWidget* owner, SettingsRecord& settings);
    // Reloads from the view's document (discarding edits) unless in edit mode.
    void refresh() override;

    bool editing() const { return editing_; }
    // "Übernehmen": validates; stores only when the button already had the focus (a second
    // Enter or a click). Returns true when stored.
    bool apply();
    // "Abbrechen": reloads the stored values and returns to view mode.
    void cancel();
    // The comment box text as stored lines: the last line is dropped when empty, empty lines
    // become one blank, every line is cut to 71 characters.
    static QStringList commentLines(const QString& text);

    NumberField* exposureField() const { return exposure_; }
    NumberField* temperatureField() const { return temperature_; }
    NumberField* longitudeField() const { return longitude_; }
    NumberField* latitudeField() const { return latitude_; }
    NumberField* julianField() const { return julian_; }
    NumberField* pixelXField() const { return pixelX_; }
    NumberField* pixelYField() const { return pixelY_; }
    TextField* dateField() const { return date_; }
    TextField* timeField() const { return time_; }
    TextField* siderealField() const { return sidereal_; }
    QPlainTextEdit* commentBox() const { return comments_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* typeLabel() const { return type_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closed() override;

private:
    void load();
    void startEditing();
    void setEditing(bool on);

    QLabel* type_ = nullptr;
    QLabel* size_ = nullptr;
    QLabel* layers_ = nullptr;
    NumberField* exposure_ = nullptr;
    NumberField* temperature_ = nullptr;
    TextField* date_ = nullptr;
    TextField* time_ = nullptr;
    TextField* sidereal_ = nullptr;
    NumberField* julian_ = nullptr;
    NumberField* longitude_ = nullptr;
    NumberField* latitude_ = nullptr;
    NumberField* pixelX_ = nullptr;
    NumberField* pixelY_ = nullptr;
    QPlainTextEdit* comments_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool editing_ = false;
    QPointer<CWinQuillonView> editView_;
    bool loading_ = false;
};

} // namespace quillon::ui
