// RecordDialog: a filter dialog laid out from its operation record's field descriptions.
#include "ui/dialogs/filter_dialogs.h"

#include "ui/dialogs/number_field.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace quillon::ui {

void onSliderSettled(QSlider* slider, QObject* context, const std::function<void()>& changed) {
    QObject::connect(slider, &QSlider::valueChanged, context, [slider, changed] {
        if (!slider->isSliderDown()) changed();
    });
    QObject::connect(slider, &QSlider::sliderReleased, context, changed);
}

namespace {

// A text of the library, in the user's language.
QString shown(const char* text) {
    return QCoreApplication::translate("quillon", text);
}

int whole(double v) {
    return static_cast<int>(v);
}

QSlider* positionSlider(const OptionInfo& o, int value, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(whole(o.lo), whole(o.hi));
    s->setPageStep(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(1);
    s->setValue(std::clamp(value, whole(o.lo), whole(o.hi)));
    s->setMinimumWidth(160);
    return s;
}

// Radio buttons in a group box, one per value lo … hi (ids 0 … n-1 from lo); `checked` is
// pulled into range.
QButtonGroup* radioGroup(const FormField& f, int checked, QWidget* parent, QGroupBox*& box) {
    box = new QGroupBox(shown(f.dialog.label), parent);
    auto* grid = new QGridLayout(box);
    auto* group = new QButtonGroup(box);
    const int n = whole(f.option.hi) - whole(f.option.lo) + 1;
    const int columns = std::max(f.dialog.columns, 1);
    const int rows = (n + columns - 1) / columns;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int i = 0; i < n; ++i) {
        const int value = whole(f.option.lo) + i;
        auto* b = new QRadioButton(
            f.dialog.choiceText ? shown(f.dialog.choiceText(value)) : QString::number(value), box);
        if (f.dialog.fixedFont) b->setFont(fixed);
        group->addButton(b, value);
        grid->addWidget(b, i % rows, i / rows);
    }
    group->button(std::clamp(checked, whole(f.option.lo), whole(f.option.hi)))->setChecked(true);
    return group;
}

} // namespace

RecordDialog::RecordDialog(const FilterOperation& operation, CWinQuillonView* view,
                           SettingsRecord& settings, LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers, shown(filterCommandInfo(operation.command()).dialog),
                   parent),
      operation_(operation) {
    for (const FormField& f : operation_.formFields()) controls_.push_back({f});
    build(operation_.settingsValues(settings));
    updateSideTexts();
    updateEnabled();
}

void RecordDialog::build(const std::vector<double>& initial) {
    const std::vector<FormAction> actions = operation_.actions();
    actions_.assign(actions.size(), nullptr);
    bool twoColumns = false;
    for (const Control& c : controls_) twoColumns = twoColumns || c.field.dialog.group == 1;
    auto* columns = new QHBoxLayout;
    for (int group = 0; group <= (twoColumns ? 1 : 0); ++group) {
        // The column's fields by their place.
        std::vector<int> order;
        for (int i = 0; i < static_cast<int>(controls_.size()); ++i)
            if (controls_[i].field.dialog.control != FieldControl::None &&
                controls_[i].field.dialog.group == group)
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return controls_[a].field.dialog.order < controls_[b].field.dialog.order;
        });
        auto* grid = new QGridLayout;
        bool hasSlider = false;
        int row = 0;
        for (const int i : order) {
            Control& c = controls_[i];
            const DialogInfo& d = c.field.dialog;
            const OptionInfo& o = c.field.option;
            const int value = whole(initial[i]);
            switch (d.control) {
            case FieldControl::Slider: {
                hasSlider = true;
                c.slider = positionSlider(o, value, this);
                c.widget = c.slider;
                QWidget* body = c.slider;
                if (d.lowText || d.highText) {
                    body = new QWidget(this);
                    auto* ends = new QHBoxLayout(body);
                    ends->setContentsMargins(0, 0, 0, 0);
                    if (d.lowText) ends->addWidget(new QLabel(shown(d.lowText), body));
                    c.slider->setParent(body);
                    ends->addWidget(c.slider, 1);
                    if (d.highText) ends->addWidget(new QLabel(shown(d.highText), body));
                }
                if (d.label) grid->addWidget(new QLabel(shown(d.label), this), row, 0);
                grid->addWidget(body, row, d.label ? 1 : 0, 1, d.label ? 1 : 2);
                if (d.valueText) {
                    c.valueText = new QLabel(this);
                    c.valueText->setMinimumWidth(40);
                    grid->addWidget(c.valueText, row, 2);
                }
                connect(c.slider, &QSlider::valueChanged, this, [this] { updateSideTexts(); });
                onSliderSettled(c.slider, this, [this] { changed(); });
                break;
            }
            case FieldControl::Number: {
                c.number = new NumberField(o.lo, o.hi, d.decimals, this);
                if (d.decimals >= 0) c.number->setSignificantDigits(7); // a float's digits
                c.number->setMaximumWidth(d.decimals >= 0 ? 90 : 80);
                c.number->setValue(initial[i]);
                c.widget = c.number;
                grid->addWidget(new QLabel(shown(d.label), this), row, 0);
                grid->addWidget(c.number, row, 1);
                connect(c.number, &NumberField::committed, this, [this] { changed(); });
                break;
            }
            case FieldControl::Choice: {
                QGroupBox* box = nullptr;
                c.choice = radioGroup(c.field, value, this, box);
                c.widget = box;
                grid->addWidget(box, row, 0, 1, 3);
                connect(c.choice, &QButtonGroup::idClicked, this, [this] { changed(); });
                break;
            }
            case FieldControl::Check:
                c.check = new QCheckBox(shown(d.label), this);
                c.check->setChecked(value != 0);
                c.widget = c.check;
                grid->addWidget(c.check, row, 0, 1, 3);
                connect(c.check, &QCheckBox::toggled, this, [this] { changed(); });
                break;
            case FieldControl::None: break;
            }
            for (std::size_t a = 0; a < actions.size(); ++a) {
                if (actions[a].beside != i) continue;
                auto* b = new QPushButton(shown(actions[a].label), this);
                b->setAutoDefault(false);
                grid->addWidget(b, row, 2);
                actions_[a] = b;
                connect(b, &QPushButton::clicked, this, [this, a] {
                    std::vector<double> v = values();
                    operation_.runAction(static_cast<int>(a), v);
                    showValues(v);
                    changed();
                });
            }
            ++row;
        }
        if (!hasSlider) grid->setColumnStretch(3, 1);
        auto* column = new QVBoxLayout;
        column->addLayout(grid);
        if (twoColumns) column->addStretch(1);
        columns->addLayout(column);
    }
    body()->addLayout(columns);
}

std::vector<double> RecordDialog::values() const {
    std::vector<double> v;
    for (const Control& c : controls_) {
        if (c.slider)
            v.push_back(c.slider->value());
        else if (c.choice)
            v.push_back(c.choice->checkedId());
        else if (c.number)
            v.push_back(c.number->value());
        else if (c.check)
            v.push_back(c.check->isChecked() ? 1 : 0);
        else
            v.push_back(0);
    }
    return v;
}

void RecordDialog::showValues(const std::vector<double>& values) {
    for (std::size_t i = 0; i < controls_.size() && i < values.size(); ++i) {
        const Control& c = controls_[i];
        const QSignalBlocker block(c.widget);
        if (c.slider) c.slider->setValue(whole(values[i]));
        if (c.choice && c.choice->button(whole(values[i])))
            c.choice->button(whole(values[i]))->setChecked(true);
        if (c.number) c.number->setValue(values[i]);
        if (c.check) c.check->setChecked(values[i] != 0);
    }
    updateSideTexts();
    updateEnabled();
}

void RecordDialog::updateSideTexts() {
    for (const Control& c : controls_) {
        if (!c.valueText) continue;
        const OptionInfo& o = c.field.option;
        const int v = c.slider->value();
        const int word = v - whole(o.lo);
        const QString text = word >= 0 && word < static_cast<int>(o.words.size())
                                 ? QString::fromUtf8(o.words[static_cast<std::size_t>(word)])
                                 : QString::number(v + o.shown);
        c.valueText->setText(shown(c.field.dialog.valueText).arg(text));
    }
}

void RecordDialog::updateEnabled() {
    const std::vector<double> v = values();
    for (const Control& c : controls_) {
        const int by = c.field.dialog.enabledBy;
        if (c.widget && by >= 0 && by < static_cast<int>(v.size()))
            c.widget->setEnabled(whole(v[static_cast<std::size_t>(by)]) ==
                                 c.field.dialog.enabledValue);
    }
}

void RecordDialog::changed() {
    updateEnabled();
    parametersChanged();
}

std::unique_ptr<Filter> RecordDialog::filter() const {
    return operation_.fromValues(values());
}

void RecordDialog::storeSettings(SettingsRecord& s) const {
    operation_.storeValues(values(), s);
}

template <class W>
W* RecordDialog::control(const char* option, W* Control::*widget) const {
    for (const Control& c : controls_)
        if (c.field.option.name && std::strcmp(c.field.option.name, option) == 0) return c.*widget;
    return nullptr;
}

QSlider* RecordDialog::slider(const char* option) const {
    return control(option, &Control::slider);
}
QButtonGroup* RecordDialog::choice(const char* option) const {
    return control(option, &Control::choice);
}
NumberField* RecordDialog::number(const char* option) const {
    return control(option, &Control::number);
}
QCheckBox* RecordDialog::check(const char* option) const {
    return control(option, &Control::check);
}

QPushButton* RecordDialog::action(const char* label) const {
    const std::vector<FormAction> a = operation_.actions();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::strcmp(a[i].label, label) == 0) return actions_[i];
    return nullptr;
}

} // namespace quillon::ui
