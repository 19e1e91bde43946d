// CWinQuillonDoc: opening, saving, the save question and the view list.
#include "ui/document.h"

#include "core/error.h"
#include "core/new_document.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <new>

namespace quillon::ui {

CWinQuillonDoc::CWinQuillonDoc(QObject* parent) : QObject(parent) {}

CWinQuillonDoc::~CWinQuillonDoc() = default;

void CWinQuillonDoc::setTitle(const QString& title) {
    if (title == title_) return;
    title_ = title;
    emit titleChanged();
}

void CWinQuillonDoc::setModified(bool on) {
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

bool CWinQuillonDoc::openFile(const QString& path, QWidget* parent, Progress& progress) {
    const std::string p = trimTrailingBlanks(path.toStdString());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        openImage(p, image_, progress);
    } catch (const Error& e) {
        QApplication::restoreOverrideCursor();
        showMessage(parent, QString::fromStdString(e.what()));
        return false;
    } catch (const Cancelled&) {
        QApplication::restoreOverrideCursor();
        return false;
    } catch (const std::bad_alloc&) {
        QApplication::restoreOverrideCursor();
        image_.Clear();
        showMessage(parent, QString::fromUtf8(msg::kOutOfMemory));
        return false;
    }
    QApplication::restoreOverrideCursor();
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

bool CWinQuillonDoc::saveTo(const QString& path, QWidget* parent, Progress& progress) {
    const std::string p = path.toStdString();
    if (!isFitsSaveName(p)) {
        showMessage(parent, QString::fromUtf8(kSaveNotFits));
        return false;
    }
    QFileInfo fi(path);
    if (fi.fileName().isEmpty() || !fi.absoluteDir().exists() || fi.isDir()) {
        showMessage(parent, QString::fromUtf8(kInvalidFileName));
        return false;
    }
    const DisplayParams* display = activeView() ? &activeView()->renderer().params() : nullptr;
    if (!display && !views_.isEmpty()) display = &views_.first()->renderer().params();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        writeFits(image_, p, progress, display);
    } catch (const Cancelled&) {
        QApplication::restoreOverrideCursor();
        return false;
    } catch (const std::exception&) {
        QApplication::restoreOverrideCursor();
        showMessage(parent, QString::fromUtf8(kSaveFailed));
        return false;
    }
    QApplication::restoreOverrideCursor();
    path_ = fi.absoluteFilePath();
    setTitle(fi.fileName());
    setModified(false);
    return true;
}

bool CWinQuillonDoc::save(QWidget* parent, Progress& progress) {
    if (path_.isEmpty() || !QFileInfo(path_).isFile()) return saveAs(parent, progress);
    return saveTo(path_, parent, progress);
}

bool CWinQuillonDoc::saveAs(QWidget* parent, Progress& progress) {
    QString proposed = path_.isEmpty() ? title_ : path_;
    QString name = askSaveFileName(parent, proposed);
    if (name.isEmpty()) return false;
    return saveTo(name, parent, progress);
}

bool CWinQuillonDoc::saveModified(QWidget* parent, Progress& progress) {
    if (!modified_) return true;
    auto answer = showMessage(parent, QStringLiteral("Änderungen in %1 speichern?").arg(title_),
                              Ask::YesNoCancel);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::No) return true;
    return save(parent, progress);
}

void CWinQuillonDoc::refreshViews(bool relayout) {
    image_.invalidateHistogram();
    for (CWinQuillonView* v : views_) v->refresh(relayout);
}

} // namespace quillon::ui
