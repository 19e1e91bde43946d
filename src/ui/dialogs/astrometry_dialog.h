// "Astrometrie (Bild lösen)...": hints for the plate solver, the solve as an undo step with a
// summary; "Katalogsterne beschriften": the index's stars into the overlay; and the cursor's
// RA/Dec in the status bar.
#pragma once

#include "analysis/plate_solve.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QString>

class QCheckBox;
class QLineEdit;
class QMainWindow;
class QStatusBar;

namespace quillon {
class Image;
}

namespace quillon::ui {

class CommandContext;
class CWinQuillonView;

class AstrometryDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from the image's pixel size and the hints typed last time in this session.
    AstrometryDialog(const Image& image, QWidget* parent);
    // The hints as typed; false (with the message shown) when a field cannot be read.
    bool readHints(SolveHints& hints, QString& problem) const;

    QCheckBox* scaleBox() const { return useScale_; }
    QCheckBox* centreBox() const { return useCentre_; }
    QLineEdit* scaleField() const { return scale_; }
    QLineEdit* focalField() const { return focal_; }
    QLineEdit* pixelField() const { return pixel_; }
    QLineEdit* raField() const { return ra_; }
    QLineEdit* decField() const { return dec_; }
    QLineEdit* radiusField() const { return radius_; }
    QLineEdit* timeoutField() const { return timeout_; }
    QLineEdit* indexField() const { return index_; }

    void accept() override;

private:
    QCheckBox* useScale_ = nullptr;
    QCheckBox* useCentre_ = nullptr;
    QLineEdit* scale_ = nullptr;
    QLineEdit* focal_ = nullptr;
    QLineEdit* pixel_ = nullptr;
    QLineEdit* ra_ = nullptr;
    QLineEdit* dec_ = nullptr;
    QLineEdit* radius_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QLineEdit* index_ = nullptr;
};

// The summary shown after a solve: centre, scale, rotation, field, parity, matched stars.
QString solveSummary(const SolveResult& result, int width, int height);

// "hh:mm:ss.ss  ±dd:mm:ss.s" of an image position, or empty without a WCS.
QString skyPositionText(const Image& image, double x, double y);

// The pane of the status bar that shows the cursor's RA/Dec (made on first use).
QLabel* skyPane(QStatusBar* bar);
// Follows the view's cursor into the sky pane of the window's status bar.
void trackSkyPosition(QMainWindow& frame, CWinQuillonView* view);

// The two commands without their dialogs (tests, and the menu after the dialog).
bool solveActive(const CommandContext& ctx, const SolveHints& hints);
bool annotateCatalogStars(const CommandContext& ctx, const std::string& extraIndexFolder);

} // namespace quillon::ui
