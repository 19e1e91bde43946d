// LayerMatrixDialog: grid of layer numbers, names and R/G/B coefficients, "Normalisieren",
// and storing through the renderer's setLayerMatrix.
#include "ui/dialogs/layer_matrix_dialog.h"

#include "display/scaling.h"
#include "ui/dialogs/filter_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace quillon::ui {

namespace {
QString cell(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

LayerMatrixDialog::LayerMatrixDialog(CWinQuillonView* view, SettingsRecord& settings,
                                     QWidget* parent)
    : QDialog(parent), view_(view), layers_(view->renderer().image().layerCount()) {
    setWindowTitle(tr("Ebenennamen / Abbildungsvorschrift"));
    auto* l = new QVBoxLayout(this);
    grid_ = new QTableWidget(layers_, 5, this);
    grid_->setHorizontalHeaderLabels(
        {tr("Ebene"), tr("Ebenen-Name"), tr("Rot"), tr("Grün"), tr("Blau")});
    grid_->verticalHeader()->hide();
    const Image& img = view->renderer().image();
    std::vector<float> m = view->renderer().params().layerMatrix;
    if (m.size() != static_cast<std::size_t>(3 * layers_))
        m = ImageRenderer::defaultLayerMatrix(layers_);
    for (int i = 0; i < layers_; ++i) {
        auto* num = new QTableWidgetItem(cell(layerNumberText(i + 1)));
        num->setFlags(Qt::ItemIsEnabled);
        grid_->setItem(i, 0, num);
        const auto name = img.layerName(i);
        grid_->setItem(i, 1,
                       new QTableWidgetItem(
                           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))));
        for (int c = 0; c < 3; ++c)
            grid_->setItem(i, 2 + c,
                           new QTableWidgetItem(
                               cell(matrixCellText(m[static_cast<std::size_t>(c * layers_ + i)]))));
    }
    grid_->resizeColumnsToContents();
    grid_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    l->addWidget(grid_, 1);
    auto* row = new QHBoxLayout;
    normalise_ = new QPushButton(tr("Normalisieren"), this);
    preview_ = new QPushButton(tr("Vorschau..."), this);
    preview_->setAutoDefault(false);
    normalise_->setAutoDefault(false);
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok_->setDefault(true);
    row->addWidget(normalise_);
    row->addWidget(preview_);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addLayout(row);
    connect(normalise_, &QPushButton::clicked, this, &LayerMatrixDialog::normalise);
    previewHost_ = std::make_unique<PreviewHost>(
        this, view, settings, [this](const PreviewPiece& p) { return preview(p); });
    connect(preview_, &QPushButton::clicked, this, [this] { previewHost_->show(); });
    // The preview follows every edited cell.
    connect(grid_, &QTableWidget::itemChanged, this, [this] { previewHost_->recompute(); });
    connect(ok_, &QPushButton::clicked, this, &LayerMatrixDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &LayerMatrixDialog::reject);
    resize(460, 120 + 30 * std::min(layers_, 12));
}

LayerMatrixDialog::~LayerMatrixDialog() = default;

bool LayerMatrixDialog::readMatrix(std::vector<float>& m) {
    return parseMatrix(m, true);
}

bool LayerMatrixDialog::parseMatrix(std::vector<float>& m, bool prompt) {
    m.assign(static_cast<std::size_t>(3 * layers_), 0.0f);
    for (int i = 0; i < layers_; ++i)
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem* it = grid_->item(i, 2 + c);
            constexpr double kAny = std::numeric_limits<double>::infinity();
            double v = 0;
            if (readTypedNumber(it ? it->text() : QString(), -kAny, kAny, false, v) !=
                NumberText::Ok) {
                if (!prompt) return false;
                showMessage(this, tr("Geben Sie bitte eine Zahl ein."));
                grid_->setCurrentCell(i, 2 + c);
                grid_->editItem(it);
                return false;
            }
            m[static_cast<std::size_t>(c * layers_ + i)] = static_cast<float>(v);
        }
    return true;
}

void LayerMatrixDialog::normalise() {
    std::vector<float> m;
    if (!readMatrix(m)) return;
    normaliseLayerMatrix(m, layers_);
    for (int i = 0; i < layers_; ++i)
        for (int c = 0; c < 3; ++c)
            grid_->item(i, 2 + c)->setText(
                cell(matrixCellText(m[static_cast<std::size_t>(c * layers_ + i)])));
}

bool LayerMatrixDialog::store() {
    std::vector<float> m;
    if (!readMatrix(m)) return false;
    ImageRenderer& r = view_->renderer();
    r.setLayerMatrix(m);
    r.rebuildLut();
    std::vector<std::string> names;
    bool renamed = false;
    for (int i = 0; i < layers_; ++i) {
        QString name = grid_->item(i, 1) ? grid_->item(i, 1)->text() : QString();
        LayerName cut{}; // the name as the image keeps it
        setText(cut, name.toStdString());
        names.emplace_back(textOf(cut));
        renamed = renamed || r.image().layerName(i) != names.back();
    }
    CWinQuillonDoc* doc = view_->document();
    // New layer names change the image: an in-place change with its undo step.
    if (renamed)
        doc->changeInPlace(
            tr("Abbildungsvorschrift bearbeiten"),
            [&names](Image& img, Progress&) {
                for (std::size_t i = 0; i < names.size(); ++i)
                    img.setLayerName(static_cast<int>(i), names[i]);
            },
            this, nullptr);
    r.image().samplesChanged();
    doc->refreshViews(false);
    return true;
}

void LayerMatrixDialog::accept() {
    if (store()) QDialog::accept();
}

void LayerMatrixDialog::done(int r) {
    previewHost_->close();
    QDialog::done(r);
}

PreviewWindow* LayerMatrixDialog::previewWindow() const {
    return previewHost_->window();
}

PreviewResult LayerMatrixDialog::preview(const PreviewPiece& piece) {
    std::vector<float> m;
    if (!parseMatrix(m, false)) return {};
    PreviewResult r = plainPreview(view_, piece);
    if (!r.renderer) return {};
    r.renderer->setLayerMatrix(m);
    r.renderer->rebuildLut();
    return r;
}

} // namespace quillon::ui
