// PhotometryWindow: the fields, the measurement through the library's measure, the magnified
// picture, the calibration buttons, the reference list and the CSV record.
#include "ui/photometry/photometry_window.h"

#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/shell/night_mode.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextOption>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillon::ui {
namespace {

constexpr const char* kNone = "-----";

QString num(const char* fmt, double v) {
    return QString::asprintf(fmt, v);
}

} // namespace

// --- the magnified picture -------------------------------------------------------------------

PhotometryPicture::PhotometryPicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(150, 150);
}

void PhotometryPicture::show(const QImage& picture, int zoom, QPointF centre,
                             const PhotometryArea& area) {
    image_ = picture;
    zoom_ = zoom;
    centre_ = centre;
    area_ = area;
    update();
}

void PhotometryPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (image_.isNull()) return;
    p.drawImage(0, 0, image_);
    const double cx = centre_.x(), cy = centre_.y();
    // Cross hair: a white line between two red ones, 5 pixels left free around the centre.
    const int ix = static_cast<int>(std::floor(cx)), iy = static_cast<int>(std::floor(cy));
    const int w = width(), h = height(), gap = 5;
    for (int d : {-1, 1}) {
        p.setPen(Qt::red);
        p.drawLine(0, iy + d, ix - gap, iy + d);
        p.drawLine(ix + gap, iy + d, w, iy + d);
        p.drawLine(ix + d, 0, ix + d, iy - gap);
        p.drawLine(ix + d, iy + gap, ix + d, h);
    }
    p.setPen(Qt::white);
    p.drawLine(0, iy, ix - gap, iy);
    p.drawLine(ix + gap, iy, w, iy);
    p.drawLine(ix, 0, ix, iy - gap);
    p.drawLine(ix, iy + gap, ix, h);
    // The measuring ellipse and the outer border of the ring, white and red one pixel larger.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    const double a = area_.ex / 2.0 * zoom_, b = area_.ey / 2.0 * zoom_;
    const double A = (area_.ex / 2.0 + area_.rx) * zoom_, B = (area_.ey / 2.0 + area_.ry) * zoom_;
    for (auto [sa, sb] : {std::pair{a, b}, std::pair{A, B}}) {
        p.setPen(Qt::white);
        p.drawEllipse(centre_, sa, sb);
        p.setPen(Qt::red);
        p.drawEllipse(centre_, sa + 1, sb + 1);
    }
}

// --- the window ------------------------------------------------------------------------------

PhotometryWindow::PhotometryWindow(QWidget* owner, SettingsRecord& settings)
    : ToolWindow(owner, settings, WindowSlot::Photometry, tr("Photometrische Eigenschaften")) {
    auto* top = new QHBoxLayout(body());
    top->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    top->addLayout(left, 1);

    // Position, ellipse and ring with the picture beside them.
    auto* head = new QHBoxLayout;
    auto* grid = new QGridLayout;
    const std::span<const ParamField<PhotometryArea>> areaFields = photometryAreaFields();
    for (std::size_t i = 0; i < 6; ++i) {
        const ParamField<PhotometryArea>& field = areaFields[i];
        auto* f = new NumberField(field.option.lo, field.option.hi, -1, body());
        f->setFixedWidth(56);
        fields_[i] = f;
        connect(f, &NumberField::committed, this, [this, &field](double v) {
            if (filling_) return;
            field.set(area_, v);
            recompute(true);
        });
    }
    grid->addWidget(new QLabel(tr("Pixel: x="), body()), 0, 0);
    grid->addWidget(fields_[0], 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("y="), body()), 0, 2, Qt::AlignRight);
    grid->addWidget(fields_[1], 0, 3);
    grid->addWidget(new QLabel(tr("Messelipse:"), body()), 1, 0);
    grid->addWidget(fields_[2], 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("x"), body()), 1, 2, Qt::AlignCenter);
    grid->addWidget(fields_[3], 1, 3);
    grid->addWidget(new QLabel(tr("Referenz-\n   Rand:"), body()), 2, 0);
    grid->addWidget(fields_[4], 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("x"), body()), 2, 2, Qt::AlignCenter);
    grid->addWidget(fields_[5], 2, 3);
    fixedBox_ = new QCheckBox(tr("Position fixiert"), body());
    grid->addWidget(fixedBox_, 3, 0, 1, 4);
    connect(fixedBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_) return;
        fixed_ = on;
        if (on) recompute(true);
    });
    head->addLayout(grid);
    head->addStretch(1);
    picture_ = new PhotometryPicture(body());
    head->addWidget(picture_);
    left->addLayout(head);

    text_ = new QPlainTextEdit(body());
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setMinimumHeight(text_->fontMetrics().lineSpacing() * 8 + 16);
    {
        // 34 tab stops at 60, 107 and then every 40 dialog units. A dialog unit is a quarter
        // of the average character width, but at least so much that the longest row label
        // ends before the first stop: with wider fonts than the dialog font the stops were
        // made for, "rel.Pixelsumme:" would otherwise push its values one column on.
        const QFontMetrics fm = text_->fontMetrics();
        const double unit =
            std::max(fm.averageCharWidth() / 4.0,
                     (fm.horizontalAdvance(QStringLiteral("   rel.Pixelsumme:")) + 4) / 60.0);
        QList<QTextOption::Tab> tabs;
        tabs.append(QTextOption::Tab(60 * unit, QTextOption::LeftTab));
        tabs.append(QTextOption::Tab(107 * unit, QTextOption::LeftTab));
        for (int k = 2; k <= 33; ++k)
            tabs.append(QTextOption::Tab((67 + 40 * k) * unit, QTextOption::LeftTab));
        QTextOption o = text_->document()->defaultTextOption();
        o.setTabs(tabs);
        text_->document()->setDefaultTextOption(o);
    }
    left->addWidget(text_, 1);

    auto* values = new QGridLayout;
    auto label = [this](const char* t) { return new QLabel(tr(t), body()); };
    auto value = [this] {
        auto* l = new QLabel(body());
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    values->addWidget(label(QT_TR_NOOP("Angezeigter Farbwert")), 0, 0);
    values->addWidget(label("(R, G, B):"), 0, 1);
    colour_ = value();
    values->addWidget(colour_, 0, 2, 1, 3);
    values->addWidget(label(QT_TR_NOOP("Gesamthelligheit =")), 1, 0);
    total_ = value();
    values->addWidget(total_, 1, 1, 1, 2);
    values->addWidget(label(QT_TR_NOOP("Farbverhältnis (R:G:B):")), 2, 0);
    for (int c = 0; c < 3; ++c) {
        ratio_[static_cast<std::size_t>(c)] = value();
        ratio_[static_cast<std::size_t>(c)]->setMinimumWidth(44);
        values->addWidget(ratio_[static_cast<std::size_t>(c)], 2, 1 + c);
    }
    values->addWidget(label(QT_TR_NOOP("Koeffizient =")), 3, 0);
    coefficient_ = new NumberField(0, 3.0e38, 3, body());
    coefficient_->setSignificantDigits(7);
    coefficient_->setFixedWidth(96);
    values->addWidget(coefficient_, 3, 1, 1, 2);
    values->addWidget(label(QT_TR_NOOP("Anzahl Referenzen =")), 4, 0);
    count_ = value();
    values->addWidget(count_, 4, 1);
    values->addWidget(label(QT_TR_NOOP("Entspr. mag =")), 5, 0);
    magnitude_ = value();
    values->addWidget(magnitude_, 5, 1);
    error_ = value();
    values->addWidget(error_, 5, 2);
    values->addWidget(label(QT_TR_NOOP("mag-Vorgabe =")), 6, 0);
    preset_ = new NumberField(-20, 30, 2, body());
    preset_->setFixedWidth(64);
    preset_->setValue(kDefaultMagnitudePreset);
    values->addWidget(preset_, 6, 1);
    add_ = new QPushButton(tr("Referenzwert hinzu"), body());
    reset_ = new QPushButton(tr("Reset"), body());
    values->addWidget(add_, 7, 0);
    values->addWidget(reset_, 7, 1, 1, 2);
    values->setColumnStretch(4, 1);
    left->addLayout(values);

    // The references behind the coefficient and the measurement record.
    auto* right = new QVBoxLayout;
    right->addWidget(label(QT_TR_NOOP("Referenzen:")));
    refList_ = new QTreeWidget(body());
    refList_->setRootIsDecorated(false);
    refList_->setHeaderLabels({tr("Helligkeit"), tr("mag"), tr("Abweichung")});
    refList_->header()->setStretchLastSection(true);
    refList_->setColumnWidth(0, 80);
    refList_->setColumnWidth(1, 50);
    refList_->setMinimumWidth(200);
    right->addWidget(refList_, 1);
    remove_ = new QPushButton(tr("Referenz entfernen"), body());
    right->addWidget(remove_);
    csv_ = new QPushButton(tr("Als CSV speichern..."), body());
    right->addWidget(csv_);
    top->addLayout(right);

    connect(add_, &QPushButton::clicked, this, &PhotometryWindow::addReference);
    connect(reset_, &QPushButton::clicked, this, &PhotometryWindow::resetCalibration);
    connect(coefficient_, &NumberField::committed, this, [this](double v) {
        if (!filling_) enterCoefficient(v);
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const QModelIndex i = refList_->currentIndex();
        if (i.isValid()) removeReference(i.row());
    });
    connect(refList_, &QTreeWidget::currentItemChanged, this, [this] { showReferences(); });
    connect(csv_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, tr("Als CSV speichern"), tr("photometrie.csv"), tr("CSV-Dateien (*.csv)"));
        if (!path.isEmpty()) saveCsv(path);
    });
    resize(640, 470);
}

std::vector<PhotometryReference>* PhotometryWindow::referencesOfView() {
    if (!view()) return nullptr;
    CWinQuillonDoc* d = view()->document();
    if (!references_.count(d))
        connect(d, &QObject::destroyed, this, [this, d] { references_.erase(d); });
    return &references_[d];
}

const std::vector<PhotometryReference>& PhotometryWindow::references() const {
    static const std::vector<PhotometryReference> none;
    if (!view()) return none;
    auto it = references_.find(view()->document());
    return it == references_.end() ? none : it->second;
}

void PhotometryWindow::refresh() {
    if (view() != lastView_) {
        // A change of view releases a fixed position.
        lastView_ = view();
        fixed_ = false;
    }
    recompute(false);
}

void PhotometryWindow::track(CWinQuillonView* v, int x, int y, bool fix) {
    if (!v || v != view()) return;
    if (!fix && fixed_) return;
    if (fix) fixed_ = true;
    const Image& img = v->renderer().image();
    const bool inside = x >= 0 && y >= 0 && x < img.width() && y < img.height();
    if (inside && (x != area_.x || y != area_.y || fix)) {
        area_.x = x;
        area_.y = y;
        recompute(fix);
    } else if (fix) {
        const QSignalBlocker b(fixedBox_);
        fixedBox_->setChecked(true);
    }
}

void PhotometryWindow::followMovement(const CWinQuillonDoc* doc, Movement m, int width,
                                      int height) {
    if (!view() || view()->document() != doc) return;
    const PixelPoint p = movePoint(m, area_.x, area_.y, width, height);
    area_.x = static_cast<int>(p.x);
    area_.y = static_cast<int>(p.y);
    if (m == Movement::TurnRight || m == Movement::TurnLeft) {
        std::swap(area_.ex, area_.ey);
        std::swap(area_.rx, area_.ry);
    }
}

void PhotometryWindow::recompute(bool record) {
    filling_ = true;
    {
        const QSignalBlocker b(fixedBox_);
        fixedBox_->setChecked(fixed_);
    }
    if (!view() || !view()->renderer().image().hasSamples()) {
        result_ = PhotometryResult{};
        clearFields();
        picture_->show(QImage(), 1, {}, area_);
        showReferences();
        filling_ = false;
        return;
    }
    const ImageRenderer& r = view()->renderer();
    result_ = measure(r.image(), area_, &r.composition());
    area_ = keepInside(area_, r.image().width(), r.image().height());
    const int shown[6] = {area_.x, area_.y, area_.ex, area_.ey, area_.rx, area_.ry};
    for (int i = 0; i < 6; ++i) fields_[static_cast<std::size_t>(i)]->setValue(shown[i]);
    showNumbers();
    showPicture();
    showReferences();
    if (record && result_.valid) {
        const float coefficient = r.image().photometry().coefficient;
        rows_.emplace_back(photometryCsvHeader(r.image()), photometryCsvRow(result_, coefficient));
    }
    filling_ = false;
}

void PhotometryWindow::clearFields() {
    text_->clear();
    for (QLabel* l : {colour_, total_, count_, magnitude_, error_, ratio_[0], ratio_[1], ratio_[2]})
        l->clear();
    coefficient_->clear();
}

void PhotometryWindow::showNumbers() {
    const ImageRenderer& r = view()->renderer();
    const PhotometricCalibration& cal = r.image().photometry();
    coefficient_->setValue(std::max(0.0f, cal.coefficient));
    count_->setText(QString::number(cal.referenceCount));
    const std::uint32_t c = r.blockColour(area_.x, area_.y, 1, 1, false);
    colour_->setText(c == kOutsideMarker
                         ? QString()
                         : QString::asprintf("%3i, %3i, %3i", redOf(c), greenOf(c), blueOf(c)));
    if (!result_.valid) {
        // No ellipse or ring pixels: no text and no numbers.
        text_->clear();
        for (QLabel* l : {total_, ratio_[0], ratio_[1], ratio_[2], error_}) l->clear();
        magnitude_->setText(QString::fromUtf8(kNone));
        return;
    }
    text_->setPlainText(QString::fromUtf8(result_.text));
    total_->setText(QString::asprintf("%i", result_.total));
    const bool ratios = ratioShown(result_.ratio);
    for (int k = 0; k < 3; ++k)
        ratio_[static_cast<std::size_t>(k)]->setText(
            ratios ? num("%.2f", result_.ratio[static_cast<std::size_t>(k)])
                   : QString::fromUtf8(kNone));
    magnitude_->setText(QString::fromStdString(magnitudeText(result_.total, cal.coefficient)));
    const auto err = magnitudeOf(result_.total, cal.coefficient)
                         ? magnitudeError(result_.total, result_.totalError)
                         : std::nullopt;
    error_->setText(err ? QString::fromUtf8("± %1").arg(*err, 0, 'f', 2) : QString());
}

void PhotometryWindow::showPicture() {
    const ImageRenderer& r = view()->renderer();
    const int w = picture_->width(), h = picture_->height();
    const int z = magnifierZoom(area_, w, h);
    // The area centred on the middle of the measured pixel.
    const double cx = (area_.x + 0.5) * z, cy = (area_.y + 0.5) * z;
    const int left = static_cast<int>(std::lround(cx - w / 2.0));
    const int top = static_cast<int>(std::lround(cy - h / 2.0));
    Picture pic;
    RenderOptions o;
    o.zoomX = z;
    o.allowOverlay = false;
    o.background = 0x808080;
    if (r.renderRect(left, top, left + w, top + h, &pic, o) != RENDER_OK ||
        pic.format() != PictureFormat::Rgb32) {
        picture_->show(QImage(), z, {}, area_);
        return;
    }
    const QImage img(reinterpret_cast<const uchar*>(pic.rgbRow(0)), pic.width(), pic.height(),
                     static_cast<qsizetype>(pic.bytesPerLine()), QImage::Format_RGB32);
    picture_->show(atNight(img.copy()), z, {cx - left, cy - top}, area_);
}

void PhotometryWindow::showReferences() {
    const std::vector<PhotometryReference>& refs = references();
    const float coefficient = view() ? view()->renderer().image().photometry().coefficient : 0;
    const bool consistent =
        view() && refs.size() == view()->renderer().image().photometry().referenceCount;
    const int current = refList_->currentIndex().isValid() ? refList_->currentIndex().row() : -1;
    {
        const QSignalBlocker b(refList_);
        refList_->clear();
        for (const PhotometryReference& ref : refs) {
            const auto res = referenceResidual(ref, coefficient);
            auto* item = new QTreeWidgetItem(
                {QString::number(ref.total), num("%.2f", ref.magnitude),
                 res ? QString::asprintf("%+.2f", *res) : QString::fromUtf8(kNone)});
            refList_->addTopLevelItem(item);
        }
        if (current >= 0 && current < refList_->topLevelItemCount())
            refList_->setCurrentItem(refList_->topLevelItem(current));
    }
    remove_->setEnabled(consistent && refList_->currentIndex().isValid());
    csv_->setEnabled(!rows_.empty());
}

void PhotometryWindow::addReference() {
    if (!view() || !result_.valid || !preset_->validate()) return;
    Image& img = view()->document()->image();
    if (!quillon::addReference(img.photometry(), result_.total,
                               static_cast<float>(preset_->value())))
        return;
    std::vector<PhotometryReference>* refs = referencesOfView();
    // References added over a typed coefficient cannot be listed by themselves.
    if (refs->size() + 1 != img.photometry().referenceCount)
        refs->clear();
    else
        refs->push_back({result_.total, static_cast<float>(preset_->value())});
    recompute(true);
}

void PhotometryWindow::resetCalibration() {
    if (!view()) return;
    view()->document()->image().photometry() = PhotometricCalibration{};
    referencesOfView()->clear();
    recompute(false);
}

void PhotometryWindow::enterCoefficient(double value) {
    if (!view()) return;
    Image& img = view()->document()->image();
    const double shown = std::max(0.0f, img.photometry().coefficient);
    if (typeCoefficient(img.photometry(), value, shown)) referencesOfView()->clear();
    recompute(false);
}

void PhotometryWindow::removeReference(int index) {
    std::vector<PhotometryReference>* refs = referencesOfView();
    if (!refs || index < 0 || index >= static_cast<int>(refs->size())) return;
    Image& img = view()->document()->image();
    if (refs->size() != img.photometry().referenceCount) return;
    refs->erase(refs->begin() + index);
    img.photometry() = calibrationFrom(*refs);
    recompute(false);
}

QString PhotometryWindow::csvText() const {
    std::string out, header;
    for (const auto& [h, row] : rows_) {
        if (h != header) out += h;
        header = h;
        out += row;
    }
    return QString::fromStdString(out);
}

bool PhotometryWindow::saveCsv(const QString& path) {
    QFile f(path);
    const QByteArray data = csvText().toUtf8();
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size()) {
        showMessage(this, tr("Die Datei \"%1\" kann nicht geschrieben werden.").arg(path));
        return false;
    }
    return true;
}

} // namespace quillon::ui
