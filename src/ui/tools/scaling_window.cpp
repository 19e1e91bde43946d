// ScalingWindow: builds the controls in their order and connects each to the display
// library (editPoint, applyScalingStep, setWeights, setSwitches, presets, Reset).
#include "ui/tools/scaling_window.h"

#include "display/histogram.h"
#include "display/scaling.h"
#include "ui/composite/lrgb_bias_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/library_texts.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillon::ui {

ScalingWindow::ScalingWindow(QWidget* owner, SettingsRecord& settings)
    : ToolWindow(owner, settings, WindowSlot::Scaling, tr("Skalierung")) {
    auto* outer = new QVBoxLayout(body());
    outer->setContentsMargins(0, 0, 0, 0);

    // "Standardbedienung": the six step buttons.
    auto* standard = new QGroupBox(tr("Standardbedienung"), body());
    auto* sg = new QGridLayout(standard);
    const char* labels[] = {QT_TR_NOOP("Helligkeit"), QT_TR_NOOP("Kontrast"), "\"Gamma\""};
    for (int row = 0; row < 3; ++row) {
        sg->addWidget(new QLabel(tr(labels[row]), standard), row, 0);
        for (int k = 0; k < 2; ++k) {
            auto* b = new QPushButton(k == 0 ? QStringLiteral("-") : QStringLiteral("+"), standard);
            b->setFixedWidth(28);
            const int i = row * 2 + k;
            steps_[static_cast<std::size_t>(i)] = b;
            sg->addWidget(b, row, 1 + k);
            connect(b, &QPushButton::clicked, this, [this, i] { onStep(i); });
        }
    }
    sg->setColumnStretch(3, 1);
    outer->addWidget(standard);

    // "Direkte Einstellungen": black, white and weight per channel, exponent, switches.
    auto* direct = new QGroupBox(tr("Direkte Einstellungen"), body());
    auto* dg = new QGridLayout(direct);
    dg->addWidget(new QLabel(tr("Dunkel"), direct), 0, 1);
    dg->addWidget(new QLabel(tr("Hell"), direct), 0, 2);
    dg->addWidget(new QLabel(tr("Verhältnis"), direct), 0, 3);
    const char* channels[] = {QT_TR_NOOP("Rot:"), QT_TR_NOOP("Grün:"), QT_TR_NOOP("Blau:")};
    for (int c = 0; c < 3; ++c) {
        dg->addWidget(new QLabel(tr(channels[c]), direct), c + 1, 0);
        for (int k = 0; k < 2; ++k) {
            auto* f = new NumberField(-32768, 32767, -1, direct);
            f->setFixedWidth(46);
            points_[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)] = f;
            dg->addWidget(f, c + 1, 1 + k);
            const bool white = k == 1;
            connect(f, &NumberField::committed, this,
                    [this, c, white](double v) { onPoint(c, white, v); });
        }
        auto* w = new NumberField(0.01, 100, 2, direct);
        w->setFixedWidth(42);
        weights_[static_cast<std::size_t>(c)] = w;
        dg->addWidget(w, c + 1, 3);
        connect(w, &NumberField::committed, this, [this] { onWeight(); });
    }
    dg->addWidget(new QLabel(QStringLiteral("Exponent:"), direct), 4, 0, 1, 2);
    exponent_ = new NumberField(0.1, 10, 2, direct);
    exponent_->setFixedWidth(46);
    dg->addWidget(exponent_, 4, 2);
    connect(exponent_, &NumberField::committed, this, [this](double v) { onExponent(v); });
    keepRatio_ = new QCheckBox(tr("beibehalten"), direct);
    dg->addWidget(keepRatio_, 5, 2, 1, 2);
    connect(keepRatio_, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_ || !view()) return;
        switchKeepRatio(view()->renderer(), on);
        afterDisplayEdit();
    });
    overlay_ = new QCheckBox(tr("Overlay anzeigen"), direct);
    dg->addWidget(overlay_, 6, 0, 1, 4);
    connect(overlay_, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_ || !view()) return;
        view()->renderer().setShowOverlay(on);
        afterDisplayEdit();
    });
    outer->addWidget(direct);

    // "Erweiterte Einstellungen": table type, switches, palette, presets, Reset.
    auto* extended = new QGroupBox(tr("Erweiterte Einstellungen"), body());
    auto* eg = new QGridLayout(extended);
    eg->addWidget(new QLabel(tr("Lookup-Table-Typ:"), extended), 0, 0);
    lutType_ = new QComboBox(extended);
    for (const char* e : kLutTypeEntries) lutType_->addItem(trLibrary(e));
    eg->addWidget(lutType_, 0, 1);
    invert_ = new QCheckBox(tr("Invertieren"), extended);
    periodic_ = new QCheckBox(tr("Periodisch forts."), extended);
    eg->addWidget(invert_, 1, 0, 1, 2);
    eg->addWidget(periodic_, 2, 0, 1, 2);
    eg->addWidget(new QLabel(tr("Farbpalette (nur \n Einkanal-Bilder):"), extended), 3, 0);
    palette_ = new QComboBox(extended);
    for (const char* e : kPaletteEntries) palette_->addItem(trLibrary(e));
    eg->addWidget(palette_, 3, 1);
    preset_ = new QComboBox(extended);
    for (const char* e : kPresetEntries) preset_->addItem(trLibrary(e));
    eg->addWidget(preset_, 4, 0);
    reset_ = new QPushButton(tr("Reset"), extended);
    eg->addWidget(reset_, 4, 1);
    lrgbBias_ = new QPushButton(tr("LRGB-Bias..."), extended);
    eg->addWidget(lrgbBias_, 5, 0, 1, 2);
    outer->addWidget(extended);
    outer->addStretch(1);
    for (auto* g : {sg, dg, eg}) {
        g->setHorizontalSpacing(4);
        g->setContentsMargins(4, 4, 4, 4);
    }
    // Narrow enough for the standard column at the right edge of the desktop.
    setMaximumWidth(230);
    lutType_->setMinimumContentsLength(6);
    palette_->setMinimumContentsLength(6);
    preset_->setMinimumContentsLength(8);
    for (QComboBox* c : {lutType_, palette_, preset_})
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    connect(lutType_, &QComboBox::activated, this, [this] { onSwitches(); });
    connect(palette_, &QComboBox::activated, this, [this] { onSwitches(); });
    connect(invert_, &QCheckBox::toggled, this, [this] { onSwitches(); });
    connect(periodic_, &QCheckBox::toggled, this, [this] { onSwitches(); });
    connect(preset_, &QComboBox::activated, this, [this](int i) { onPreset(i); });
    connect(reset_, &QPushButton::clicked, this, [this] {
        if (!view()) return;
        initFromImage(view()->renderer());
        view()->display().histogram.resetTo(view()->renderer().params());
        view()->renderer().rebuildLut();
        afterDisplayEdit();
    });
    connect(lrgbBias_, &QPushButton::clicked, this, [this] {
        CWinQuillonApp* app = CWinQuillonApp::instance();
        if (view() && app && app->mainFrame()) runLrgbBiasDialog(*app->mainFrame(), view());
    });
}

void ScalingWindow::refresh() {
    filling_ = true;
    CWinQuillonView* v = view();
    if (!v) {
        for (auto& row : points_)
            for (NumberField* f : row) f->clear();
        for (NumberField* f : weights_) f->clear();
        exponent_->clear();
        lrgbBias_->setEnabled(false);
        lrgbBias_->setToolTip(QString());
        filling_ = false;
        return;
    }
    const DisplayParams& p = v->renderer().params();
    const Image& img = v->renderer().image();
    const bool grey = img.type() == BW_IMAGE;
    for (std::size_t c = 0; c < 3; ++c) {
        points_[c][0]->setValue(p.blackPoint[c]);
        points_[c][1]->setValue(p.whitePoint[c]);
        weights_[c]->setValue(p.channelWeight[c]);
        weights_[c]->setEnabled(!grey);
    }
    exponent_->setValue(p.exponent);
    {
        const QSignalBlocker b1(keepRatio_), b2(overlay_), b3(invert_), b4(periodic_);
        keepRatio_->setChecked(grey || p.keepRatio);
        keepRatio_->setEnabled(!grey);
        overlay_->setChecked(p.showOverlay);
        overlay_->setEnabled(img.hasOverlay());
        invert_->setChecked(p.invert);
        periodic_->setChecked(p.periodic);
    }
    lutType_->setCurrentIndex(p.lutType);
    palette_->setCurrentIndex(grey ? p.palette : 0);
    palette_->setEnabled(grey);
    preset_->setCurrentIndex(0);
    const bool lrgb = img.type() == LRGB_IMAGE;
    lrgbBias_->setEnabled(lrgb);
    lrgbBias_->setToolTip(lrgb ? QStringLiteral("L=%1 R=%2 G=%3 B=%4")
                                     .arg(p.lrgbBias[0])
                                     .arg(p.lrgbBias[1])
                                     .arg(p.lrgbBias[2])
                                     .arg(p.lrgbBias[3])
                               : QString());
    filling_ = false;
}

void ScalingWindow::onStep(int i) {
    if (!view()) return;
    if (applyScalingStep(view()->renderer(), static_cast<ScalingStep>(i))) afterDisplayEdit();
}

void ScalingWindow::onPoint(int channel, bool white, double v) {
    if (filling_ || !view()) return;
    editPoint(view()->renderer(), channel, !white, static_cast<int>(v));
    afterDisplayEdit();
}

void ScalingWindow::onWeight() {
    if (filling_ || !view()) return;
    std::array<float, 3> w{};
    for (std::size_t c = 0; c < 3; ++c) w[c] = static_cast<float>(weights_[c]->value());
    view()->renderer().setWeights(w);
    view()->renderer().rebuildLut();
    afterDisplayEdit();
}

void ScalingWindow::onExponent(double v) {
    if (filling_ || !view()) return;
    view()->renderer().setPoints(nullptr, nullptr, static_cast<float>(v));
    view()->renderer().rebuildLut();
    afterDisplayEdit();
}

void ScalingWindow::onSwitches() {
    if (filling_ || !view()) return;
    Switches s;
    s.invert = invert_->isChecked();
    s.periodic = periodic_->isChecked();
    s.lutType = lutType_->currentIndex();
    s.palette = palette_->currentIndex();
    view()->renderer().setSwitches(s);
    afterDisplayEdit();
}

void ScalingWindow::onPreset(int position) {
    if (!view()) return;
    applyPresetEntry(view()->renderer(), position);
    // The list always returns to its first entry.
    preset_->setCurrentIndex(0);
    afterDisplayEdit();
}

} // namespace quillon::ui
