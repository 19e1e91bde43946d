// "Hintergrund extrahieren": the dialog with its live preview and the in-place command.
#include "ui/dialogs/background_dialog.h"
#include "ui/dialogs/background_view_samples.h"

#include "core/error.h"
#include "core/picture.h"
#include "ui/command_context.h"
#include "ui/document.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillon::ui {

namespace {

constexpr const char* kCommandTitle =
    QT_TRANSLATE_NOOP("quillon::ui::BackgroundDialog", "Hintergrund extrahieren");

} // namespace

BackgroundDialog::BackgroundDialog(CWinQuillonView* view, SettingsRecord& settings,
                                   LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers, BackgroundDialog::tr(kCommandTitle), parent) {
    const BackgroundOptions o = backgroundParamsFromSettings(settings).options();
    auto* form = new QFormLayout;
    grid_ = new QSpinBox(this);
    grid_->setRange(kBackgroundGridMin, kBackgroundGridMax);
    grid_->setValue(o.grid);
    grid_->setSuffix(tr(" je Seite"));
    rejection_ = new QDoubleSpinBox(this);
    rejection_->setRange(1.0, 10.0);
    rejection_->setSingleStep(0.5);
    rejection_->setDecimals(1);
    rejection_->setValue(static_cast<double>(o.rejection));
    rejection_->setSuffix(QStringLiteral(" σ"));
    form->addRow(tr("Rasterdichte:"), grid_);
    form->addRow(tr("Ausschlussstärke:"), rejection_);
    body()->addLayout(form);

    auto* method = new QGroupBox(tr("Verfahren"), this);
    auto* mg = new QGridLayout(method);
    polynomial_ = new QRadioButton(tr("Polynom"), method);
    surface_ = new QRadioButton(tr("Glatte Fläche"), method);
    degree_ = new QSpinBox(method);
    degree_->setRange(1, kBackgroundDegreeMax);
    degree_->setValue(o.degree);
    degree_->setPrefix(tr("Grad "));
    smoothing_ = new QDoubleSpinBox(method);
    smoothing_->setRange(0.0, 1.0);
    smoothing_->setSingleStep(0.1);
    smoothing_->setDecimals(2);
    smoothing_->setValue(static_cast<double>(o.smoothing));
    smoothing_->setPrefix(tr("Glättung "));
    mg->addWidget(polynomial_, 0, 0);
    mg->addWidget(degree_, 0, 1);
    mg->addWidget(surface_, 1, 0);
    mg->addWidget(smoothing_, 1, 1);
    auto* methods = new QButtonGroup(this);
    methods->addButton(polynomial_);
    methods->addButton(surface_);
    (o.method == BackgroundMethod::Polynomial ? polynomial_ : surface_)->setChecked(true);
    body()->addWidget(method);

    auto* apply = new QHBoxLayout;
    subtract_ = new QRadioButton(tr("Subtrahieren"), this);
    divide_ = new QRadioButton(tr("Dividieren"), this);
    auto* ways = new QButtonGroup(this);
    ways->addButton(subtract_);
    ways->addButton(divide_);
    (o.divide ? divide_ : subtract_)->setChecked(true);
    showModel_ = new QCheckBox(tr("Modell zeigen"), this);
    apply->addWidget(subtract_);
    apply->addWidget(divide_);
    apply->addStretch(1);
    apply->addWidget(showModel_);
    body()->addLayout(apply);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    body()->addWidget(status_);
    if (view) {
        status_->setToolTip(tr("Ein Klick ins Bild schaltet die Probe dort ein "
                               "oder aus oder setzt eine neue."));
        map_ = new BackgroundViewSamples(*this, *view);
    }

    for (QAbstractSpinBox* b :
         std::initializer_list<QAbstractSpinBox*>{grid_, rejection_, degree_, smoothing_})
        b->setKeyboardTracking(false);
    connect(grid_, &QSpinBox::valueChanged, this, [this] {
        resample();
        FilterDialog::parametersChanged();
    });
    connect(rejection_, &QDoubleSpinBox::valueChanged, this, [this] {
        resample();
        FilterDialog::parametersChanged();
    });
    auto refitted = [this] {
        degree_->setEnabled(polynomial_->isChecked());
        smoothing_->setEnabled(surface_->isChecked());
        refit();
        FilterDialog::parametersChanged();
    };
    connect(degree_, &QSpinBox::valueChanged, this, refitted);
    connect(smoothing_, &QDoubleSpinBox::valueChanged, this, refitted);
    connect(polynomial_, &QRadioButton::toggled, this, refitted);
    connect(divide_, &QRadioButton::toggled, this, refitted);
    connect(showModel_, &QCheckBox::toggled, this, [this] { FilterDialog::parametersChanged(); });
    degree_->setEnabled(polynomial_->isChecked());
    smoothing_->setEnabled(surface_->isChecked());
    resample();
}

BackgroundOptions BackgroundDialog::options() const {
    BackgroundOptions o;
    o.grid = grid_->value();
    o.rejection = static_cast<float>(rejection_->value());
    o.method = polynomial_->isChecked() ? BackgroundMethod::Polynomial : BackgroundMethod::Spline;
    o.degree = degree_->value();
    o.smoothing = static_cast<float>(smoothing_->value());
    o.divide = divide_->isChecked();
    return o;
}

void BackgroundDialog::resample() {
    samples_.clear();
    sampledMask_ = layerSelection().mask;
    if (view()) {
        try {
            samples_ = placeBackgroundSamples(view()->renderer().image(), options(), sampledMask_);
        } catch (const Error&) {
        } catch (const std::bad_alloc&) {
        }
    }
    refit();
}

void BackgroundDialog::refit() {
    model_.reset();
    if (!view()) return;
    const BackgroundOptions o = options();
    const Image& image = view()->renderer().image();
    try {
        model_ = std::make_unique<BackgroundModel>(fitBackground(image, samples_, o, sampledMask_));
        int used = 0;
        for (const BackgroundSample& s : samples_) used += s.kept() ? 1 : 0;
        status_->setText(tr("%1 von %2 Proben benutzt.").arg(used).arg(samples_.size()));
    } catch (const Error& e) {
        status_->setText(QString::fromUtf8(e.what()));
    } catch (const std::bad_alloc&) {
        status_->setText(QString::fromUtf8(msg::kOutOfMemoryAction));
    }
    okButton()->setEnabled(model_ != nullptr);
    if (map_) map_->update();
}

void BackgroundDialog::parametersChanged() {
    // The layers changed (the only caller from outside): new samples for them.
    if (layerSelection().mask != sampledMask_) resample();
    FilterDialog::parametersChanged();
}

BackgroundDialog::~BackgroundDialog() {
    delete map_.data(); // it lives on the view, which outlasts the dialog
}

QWidget* BackgroundDialog::viewSamples() const {
    return map_.data();
}

QPoint BackgroundDialog::viewPosition(int x, int y) const {
    return map_ ? map_->viewPosition(x, y) : QPoint(x, y);
}

void BackgroundDialog::toggleSample(int x, int y) {
    if (!view()) return;
    toggleBackgroundSample(samples_, view()->renderer().image(), options(), sampledMask_, x, y);
    refit();
    FilterDialog::parametersChanged();
}

std::unique_ptr<Filter> BackgroundDialog::filter() const {
    if (!model_) return nullptr;
    return std::make_unique<BackgroundFilter>(*model_, divide_->isChecked(),
                                              showModel_->isChecked());
}

void BackgroundDialog::storeSettings(SettingsRecord& s) const {
    storeBackgroundParams(BackgroundParams::of(options()), s);
}

PreviewResult BackgroundDialog::preview(const PreviewPiece& piece) const {
    PreviewResult r;
    if (!view() || !model_) return r;
    const BackgroundFilter f(*model_, divide_->isChecked(), showModel_->isChecked(), piece.left,
                             piece.top);
    r.image = computePreview(f, view()->renderer().image(), piece, sampledMask_);
    if (!r.image) return {};
    try {
        r.renderer = rendererLike(*r.image, view()->renderer());
    } catch (const std::bad_alloc&) {
        return {};
    }
    return r;
}

// --- the command -----------------------------------------------------------------------------

void runBackgroundCommand(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    if (!v || !v->document()->image().hasSamples()) return;
    LayerSelection& layers = ctx.layerSelection();
    BackgroundOptions o;
    std::vector<BackgroundSample> samples;
    {
        BackgroundDialog dlg(v, ctx.settings(), layers, ctx.parent());
        // Not modal, so that clicks on the view reach the samples; the samples' layer on the
        // view holds back every other input to the main window meanwhile.
        dlg.setWindowModality(Qt::NonModal);
        QEventLoop loop;
        QObject::connect(&dlg, &QDialog::finished, &loop, &QEventLoop::quit);
        dlg.show();
        loop.exec();
        if (dlg.result() != QDialog::Accepted) return;
        o = dlg.options();
        samples = dlg.samples();
    } // the preview goes with the dialog
    const LayerMask mask = layers.mask;
    ctx.changeInPlace(
        [o, samples, mask](Image& image, Progress& p) {
            std::vector<BackgroundSample> s = samples;
            const BackgroundModel model = fitBackground(image, s, o, mask);
            applyBackground(image, model, o.divide, mask, p);
        },
        BackgroundDialog::tr(kCommandTitle));
}

} // namespace quillon::ui
