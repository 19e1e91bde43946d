// CWinQuillonDoc: opening, saving, the save question and the view list.
#include "ui/document.h"

#include "core/error.h"
#include "core/new_document.h"
#include "formats/fits_compressed.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "formats/xisf.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace quillon::ui {

UndoBudget& undoBudget() {
    static UndoBudget budget;
    return budget;
}

CWinQuillonDoc::CWinQuillonDoc(QObject* parent) : QObject(parent) {}

CWinQuillonDoc::~CWinQuillonDoc() = default;

void CWinQuillonDoc::setTitle(const QString& title) {
    if (title == title_) return;
    title_ = title;
    emit titleChanged();
}

void CWinQuillonDoc::setModified(bool on) {
    // Marked without a step (a new document): going back never reaches a saved state.
    if (!on)
        history_.markClean();
    else if (history_.isClean())
        history_.forgetSavedState();
    if (on == modified_) return;
    modified_ = on;
    emit modifiedChanged(on);
}

void CWinQuillonDoc::addView(CWinQuillonView* v) {
    if (!views_.contains(v)) views_.append(v);
}

void CWinQuillonDoc::removeView(CWinQuillonView* v) {
    views_.removeAll(v);
    if (activeView_ == v) activeView_ = views_.isEmpty() ? nullptr : views_.first();
    if (views_.isEmpty()) emit lastViewClosed(this);
}

CWinQuillonView* CWinQuillonDoc::activeView() const {
    return activeView_;
}

void CWinQuillonDoc::setActiveView(CWinQuillonView* v) {
    activeView_ = v;
}

bool CWinQuillonDoc::openFile(const QString& path, QWidget* parent, JobRunner* jobs) {
    const std::string p = trimTrailingBlanks(path.toStdString());
    const JobResult r = runJob(jobs, [&](Progress& progress) { openImage(p, image_, progress); });
    if (!r.ok()) {
        image_.Clear();
        reportFailure(r, msg::kOutOfMemory, parent);
        return false;
    }
    const QString clean = QString::fromStdString(p);
    QFileInfo fi(clean);
    path_ = fi.absoluteFilePath();
    setTitle(fi.fileName());
    setModified(false);
    QDir::setCurrent(fi.absolutePath());
    return true;
}

void CWinQuillonDoc::fixPathForSaving() {
    path_ =
        QString::fromStdString(documentPathForSaving(path_.toStdString(), title_.toStdString()));
}

namespace {
// Whether a file can be written at this place: the folder takes a new file (the save goes
// through a temporary file there) and an existing file is not write-protected.
bool canWriteInto(const QFileInfo& target) {
    if (target.exists() && !target.isWritable()) return false;
    QTemporaryFile probe(target.absolutePath() + QStringLiteral("/.quillon-XXXXXX"));
    return probe.open();
}
} // namespace

bool CWinQuillonDoc::saveTo(const QString& path, QWidget* parent, JobRunner* jobs) {
    const std::string p = path.toStdString();
    const bool compressed = isCompressedFitsName(p);
    const bool xisf = isXisfName(p);
    if (!compressed && !xisf && !isFitsSaveName(p)) {
        showMessage(parent, QString::fromUtf8(kSaveNotFits));
        return false;
    }
    QFileInfo fi(path);
    if (fi.fileName().isEmpty() || !fi.absoluteDir().exists() || fi.isDir() || !canWriteInto(fi)) {
        showMessage(parent, QString::fromUtf8(kInvalidFileName));
        return false;
    }
    const DisplayParams* display = activeView() ? &activeView()->renderer().params() : nullptr;
    if (!display && !views_.isEmpty()) display = &views_.first()->renderer().params();
    const JobResult r = runJob(jobs, [&](Progress& progress) {
        if (compressed)
            writeFitsCompressed(image_, p, progress, display);
        else if (xisf)
            writeXisf(image_, p, progress, display);
        else
            writeFits(image_, p, progress, display);
    });
    if (r.kind == JobResult::Cancelled) return false;
    if (!r.ok()) {
        // The writer's message adds the system's reason (a full disk, ...) to the save message.
        const QString failed = QString::fromUtf8(kSaveFailed);
        showMessage(parent, r.message.startsWith(failed) ? r.message : failed);
        return false;
    }
    path_ = fi.absoluteFilePath();
    setTitle(fi.fileName());
    setModified(false);
    return true;
}

bool CWinQuillonDoc::save(QWidget* parent, JobRunner* jobs) {
    if (path_.isEmpty() || !QFileInfo(path_).isFile()) return saveAs(parent, jobs);
    return saveTo(path_, parent, jobs);
}

bool CWinQuillonDoc::saveAs(QWidget* parent, JobRunner* jobs) {
    QString proposed = path_.isEmpty() ? title_ : path_;
    QString name = askSaveFileName(parent, proposed);
    if (name.isEmpty()) return false;
    return saveTo(name, parent, jobs);
}

bool CWinQuillonDoc::saveModified(QWidget* parent, JobRunner* jobs) {
    if (!modified_) return true;
    auto answer =
        showMessage(parent, tr("Änderungen in %1 speichern?").arg(title_), Ask::YesNoCancel);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::No) return true;
    return save(parent, jobs);
}

void CWinQuillonDoc::refreshViews(bool relayout) {
    image_.samplesChanged();
    emit imageChanged(relayout);
}

void CWinQuillonDoc::replaceImage(Image&& result, std::optional<Movement> moved) {
    const int width = image_.width();
    const int height = image_.height();
    const bool reshaped = result.width() != width || result.height() != height;
    image_ = std::move(result);
    setModified(true);
    if (moved) emit pixelsMoved(*moved, width, height);
    refreshViews(reshaped);
}

void CWinQuillonDoc::replaceImageAsStep(const QString& name, Image&& result,
                                        const QString& titleLabel) {
    bool kept = false;
    try {
        UndoStep s;
        s.name = name.toStdString();
        s.titleSuffix = titleLabel.toStdString();
        s.record = UndoRecord::forChange(image_, result);
        kept = history_.push(std::move(s));
    } catch (const std::bad_alloc&) {
    }
    if (!kept) history_.discard();
    replaceImage(std::move(result));
    setTitle(title_ + titleLabel);
    emit historyChanged();
}

bool CWinQuillonDoc::changeInPlace(const QString& name, const ImageWork& work, QWidget* parent,
                                   JobRunner* jobs, Reversal reversal) {
    Image result;
    UndoRecord record;
    bool recorded = false;
    const JobResult r = runJob(jobs, [&](Progress& p) {
        result = image_.clone();
        work(result, p);
        // The record is made while both states exist; without memory for it the change
        // still goes ahead.
        try {
            record = UndoRecord::forChange(image_, result, reversal);
            recorded = true;
        } catch (const std::bad_alloc&) {
        }
    });
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemoryAction, parent);
        return false;
    }
    bool kept = false;
    if (recorded) {
        UndoStep s;
        s.name = name.toStdString();
        s.record = std::move(record);
        kept = history_.push(std::move(s));
    }
    if (!kept) history_.discard();
    replaceImage(std::move(result), movementOf(reversal));
    emit historyChanged();
    if (!kept) showMessage(parent, QString::fromUtf8(kNotUndoable));
    return true;
}

void CWinQuillonDoc::appendToTitle(const QString& label) {
    setTitle(title_ + label);
    if (UndoStep* s = history_.lastStep()) s->titleSuffix += label.toStdString();
}

bool CWinQuillonDoc::undo(QWidget* parent) {
    return step(parent, true);
}

bool CWinQuillonDoc::redo(QWidget* parent) {
    return step(parent, false);
}

bool CWinQuillonDoc::step(QWidget* parent, bool back) {
    if (back ? !history_.canUndo() : !history_.canRedo()) return false;
    const int width = image_.width();
    const int height = image_.height();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const UndoStep* done = nullptr;
    const UndoStep* next = back ? history_.nextUndo() : history_.nextRedo();
    std::optional<Movement> moved = next->record.movement();
    if (moved && back) moved = inverse(*moved);
    try {
        // Lucy-Richardson reference stars and the magnitude calibration are set between steps,
        // never by one, while a step's record restores the metadata of its state: they stay,
        // only turned or mirrored with the pixels when the step moves them.
        auto psf = image_.psf();
        if (moved)
            for (PsfKernel& k : psf) k = moveKernel(k, *moved);
        const std::uint8_t psfCount = image_.psfCount();
        const PhotometricCalibration photometry = image_.photometry();
        done = back ? &history_.undo(image_) : &history_.redo(image_);
        image_.psf() = std::move(psf);
        image_.setPsfCount(psfCount);
        image_.photometry() = photometry;
    } catch (const std::bad_alloc&) {
    }
    QApplication::restoreOverrideCursor();
    if (!done) {
        showMessage(parent, QString::fromUtf8(msg::kOutOfMemoryAction));
        return false;
    }
    const QString suffix = QString::fromStdString(done->titleSuffix);
    if (!suffix.isEmpty()) {
        if (!back)
            setTitle(title_ + suffix);
        else if (title_.endsWith(suffix))
            setTitle(title_.chopped(suffix.size()));
    }
    setModified(!history_.isClean());
    if (moved) emit pixelsMoved(*moved, width, height);
    refreshViews(image_.width() != width || image_.height() != height);
    emit historyChanged();
    return true;
}

} // namespace quillon::ui
