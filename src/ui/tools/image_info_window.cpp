// ImageInfoWindow: loading, the edit mode, validation and storing of the acquisition data.
#include "ui/tools/image_info_window.h"

#include "core/error.h"
#include "core/image_type.h"
#include "core/text.h"
#include "core/wcs.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/library_texts.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace quillon::ui {

namespace {
constexpr int kShortChars = static_cast<int>(ShortText::kChars);
// Functions, not constants: the texts are translated once the language is installed.
QString viewTitle() {
    return QCoreApplication::translate("quillon::ui::ImageInfoWindow",
                                       "Bildinformation - zur Ansicht");
}
QString editTitle() {
    return QCoreApplication::translate("quillon::ui::ImageInfoWindow",
                                       "Bildinformation - in Bearbeitung");
}

template <std::size_t N>
QString qtext(const TextBuffer<N>& b) {
    const std::string_view v = textOf(b);
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

} // namespace

ImageInfoWindow::ImageInfoWindow(QWidget* owner, SettingsRecord& settings)
    : ToolWindow(owner, settings, WindowSlot::ImageInfo, viewTitle()) {
    auto* outer = new QVBoxLayout(body());
    outer->setContentsMargins(0, 0, 0, 0);
    auto* g = new QGridLayout;
    int row = 0;
    auto label = [&](const QString& text, QWidget* w, const QString& unit = {}) {
        g->addWidget(new QLabel(text, body()), row, 0);
        g->addWidget(w, row, 1);
        if (!unit.isEmpty()) g->addWidget(new QLabel(unit, body()), row, 2);
        ++row;
    };
    type_ = new QLabel(body());
    size_ = new QLabel(body());
    layers_ = new QLabel(body());
    label(tr("Bildtyp:"), type_);
    label(tr("Größe:"), size_);
    label(tr("Ebenen:"), layers_);
    auto real = [this](double lo, double hi) {
        auto* f = new NumberField(lo, hi, 0, body());
        f->setSignificantDigits(7);
        f->installEventFilter(this);
        connect(f, &QLineEdit::textEdited, this, [this] { startEditing(); });
        return f;
    };
    auto text = [this] {
        auto* f = new TextField(kShortChars, body());
        f->installEventFilter(this);
        connect(f, &QLineEdit::textEdited, this, [this] { startEditing(); });
        return f;
    };
    exposure_ = real(0, 99999);
    temperature_ = real(-273, 199);
    date_ = text();
    time_ = text();
    sidereal_ = text();
    const double inf = std::numeric_limits<double>::infinity();
    julian_ = real(-inf, inf);
    julian_->setSignificantDigits(15);
    longitude_ = real(-180, 180);
    latitude_ = real(-90, 90);
    pixelX_ = real(0, 200);
    pixelY_ = real(0, 200);
    label(tr("Belichtungszeit:"), exposure_, QStringLiteral("s."));
    label(tr("Chiptemperatur:"), temperature_, QStringLiteral("°C"));
    label(tr("Datum:"), date_);
    label(tr("Uhrzeit:"), time_);
    label(tr("Sternzeit:"), sidereal_);
    label(tr("Juliani. Datum:"), julian_);
    label(tr("Ort:  Länge:"), longitude_, QStringLiteral("°W"));
    label(tr("Ort:  Breite:"), latitude_, QStringLiteral("°N"));
    label(tr("Pixelgröße X:"), pixelX_, QStringLiteral("µm"));
    label(tr("Pixelgröße Y:"), pixelY_, QStringLiteral("µm"));
    outer->addLayout(g);
    // The world coordinates (summary, or why they were dropped); read only.
    auto* wcs = new QLabel(body());
    wcs->setObjectName(QStringLiteral("wcsLabel"));
    wcs->setTextInteractionFlags(Qt::TextSelectableByMouse);
    outer->addWidget(wcs);
    // The cursor's sky position, filled while the mouse moves over an image with a WCS.
    auto* cursor = new QLabel(body());
    cursor->setObjectName(QStringLiteral("wcsCursor"));
    outer->addWidget(cursor);
    outer->addWidget(new QLabel(tr("Bildkommentare (Max. 71 Zeichen/Zeile):"), body()));
    comments_ = new QPlainTextEdit(body());
    comments_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    comments_->setFont(mono);
    connect(comments_, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_) startEditing();
    });
    outer->addWidget(comments_, 1);
    auto* buttons = new QHBoxLayout;
    apply_ = new QPushButton(tr("Übernehmen"), body());
    cancel_ = new QPushButton(tr("Abbrechen"), body());
    apply_->installEventFilter(this);
    buttons->addStretch(1);
    buttons->addWidget(apply_);
    buttons->addWidget(cancel_);
    outer->addLayout(buttons);
    connect(apply_, &QPushButton::clicked, this, [this] { apply(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    resize(360, 560);
}

void ImageInfoWindow::refresh() {
    // Edits stay until "Übernehmen" or "Abbrechen", unless their document went away.
    if (editing_ && view() == editView_) return;
    if (editing_) setEditing(false);
    load();
}

void ImageInfoWindow::load() {
    loading_ = true;
    CWinQuillonView* v = view();
    QList<QLineEdit*> fields{exposure_, temperature_, date_,     time_,   sidereal_,
                             julian_,   longitude_,   latitude_, pixelX_, pixelY_};
    if (!v) {
        for (QLineEdit* f : fields) f->clear();
        comments_->clear();
        type_->clear();
        size_->clear();
        layers_->clear();
        findChild<QLabel*>(QStringLiteral("wcsLabel"))->clear();
        loading_ = false;
        return;
    }
    const Image& img = v->document()->image();
    ImageInfo info;
    img.GetInfo(info);
    const auto name = ImageTypeName(img.type()).name;
    QString t = trLibrary(std::string(name));
    if (img.hasOverlay()) t += QStringLiteral(" + Overlay");
    type_->setText(t);
    size_->setText(QStringLiteral("%1 × %2").arg(img.width()).arg(img.height()));
    layers_->setText(QString::number(img.layerCount()));
    exposure_->setValue(info.exposureTime);
    temperature_->setValue(info.temperature);
    date_->setText(qtext(info.date));
    time_->setText(qtext(info.time));
    sidereal_->setText(qtext(info.siderealTime));
    julian_->setValue(info.julianDate);
    longitude_->setValue(info.longitude);
    latitude_->setValue(info.latitude);
    pixelX_->setValue(img.pixelWidth());
    pixelY_->setValue(img.pixelHeight());
    QString c;
    for (const CommentLine& line : info.comments) c += qtext(line) + QLatin1Char('\n');
    comments_->setPlainText(c);
    QString sky;
    try {
        sky = QString::fromStdString(describeWcs(info.wcs, img.width(), img.height()));
    } catch (const Error& e) {
        sky = QString::fromUtf8(e.what());
    }
    if (!info.wcsNote.empty())
        sky += (sky.isEmpty() ? QString() : QStringLiteral("\n")) +
               QString::fromStdString(info.wcsNote);
    findChild<QLabel*>(QStringLiteral("wcsLabel"))->setText(sky);
    loading_ = false;
}

void ImageInfoWindow::startEditing() {
    if (loading_ || editing_ || !view()) return;
    setEditing(true);
}

void ImageInfoWindow::setEditing(bool on) {
    editing_ = on;
    editView_ = on ? view() : nullptr;
    setWindowTitle(on ? editTitle() : viewTitle());
    // The main window's own parts go disabled; its tool windows (this one) stay usable.
    for (QObject* o : owner()->children())
        if (auto* w = qobject_cast<QWidget*>(o);
            w && !w->isWindow() && !qobject_cast<QDockWidget*>(w))
            w->setEnabled(!on);
}

QStringList ImageInfoWindow::commentLines(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& l : lines) {
        CommentLine cut{};
        setText(cut, l.toStdString());
        l = qtext(cut);
        if (l.isEmpty()) l = QStringLiteral(" ");
    }
    return lines;
}

bool ImageInfoWindow::apply() {
    CWinQuillonView* v = view();
    if (!v) return false;
    const bool hadFocus = apply_->hasFocus();
    for (NumberField* f :
         {exposure_, temperature_, julian_, longitude_, latitude_, pixelX_, pixelY_})
        if (!f->validate()) return false;
    for (TextField* f : {date_, time_, sidereal_})
        if (!f->validate()) return false;
    apply_->setFocus(Qt::OtherFocusReason);
    if (!hadFocus) return false;

    CWinQuillonDoc* doc = v->document();
    if (doc->image().infoWriteHeld()) {
        showMessage(this, tr("Die Bildinformation wird gerade bearbeitet."));
        return false;
    }
    ImageInfo values = doc->image().info();
    values.exposureTime = static_cast<float>(exposure_->value());
    values.temperature = static_cast<float>(temperature_->value());
    values.julianDate = julian_->value();
    values.latitude = static_cast<float>(latitude_->value());
    values.longitude = static_cast<float>(longitude_->value());
    setText(values.date, date_->text().toStdString());
    setText(values.time, time_->text().toStdString());
    setText(values.siderealTime, sidereal_->text().toStdString());
    values.comments.clear();
    for (const QString& line : commentLines(comments_->toPlainText()))
        if (!values.addComment(line.toStdString())) break;
    const auto pixelWidth = static_cast<float>(pixelX_->value());
    const auto pixelHeight = static_cast<float>(pixelY_->value());
    // An in-place change like any other, so that it becomes an undo step.
    const bool stored = doc->changeInPlace(
        QStringLiteral("Bildinformation"),
        [&](Image& img, Progress&) {
            img.SetPixelSize(pixelWidth, pixelHeight);
            ImageInfo* info = nullptr;
            if (img.BeginInfoWrite(info) != 0 || !info) return;
            *info = values;
            img.EndInfoWrite();
        },
        this, nullptr);
    if (!stored) return false;
    setEditing(false);
    load();
    return true;
}

void ImageInfoWindow::cancel() {
    setEditing(false);
    load();
}

bool ImageInfoWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            // Enter in a field only moves the focus to "Übernehmen"; Enter there applies.
            if (watched == apply_ || qobject_cast<QLineEdit*>(watched)) {
                apply();
                return true;
            }
        }
    }
    return ToolWindow::eventFilter(watched, e);
}

void ImageInfoWindow::closed() {
    if (editing_) cancel();
}

} // namespace quillon::ui
