// The parts every command's operation record is made of: a parameters struct described field by
// field (command-line option, range, stored setting, dialog control), and the generic walks over
// such a description: defaults, reading and storing the settings, the range check, and reading
// the command-line options. The records themselves live with their operations
// (filters/filter_ops.h).
#pragma once

#include "core/settings_record.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

enum class OptionKind {
    Integer, // a whole number
    Real,    // a finite real
    Choice,  // one of `words` (stored as its index)
    Switch,  // given or not, without a value: given sets the field to `whenGiven`
};

// How a field is kept in its settings key.
enum class StoredAs {
    Plain,  // the number itself, pulled into the field's range when read
    Scaled, // truncate(value × 10000); a stored 0 gives the default
    Bits,   // bits bitShift … bitShift + bitWidth − 1 of a key that several fields share
};

// One parameter as the user sees it: on the command line ("--name value") and as the range a
// prompt names. lo … hi is the parameter's own range; the command line shows it moved by
// `shown` (a strength 0 … 3 typed as 1 … 4).
struct OptionInfo {
    const char* name = nullptr; // without "--"; null: not on the command line
    OptionKind kind = OptionKind::Integer;
    double lo = 0;
    double hi = 0;
    int shown = 0;
    std::span<const char* const> words = {};
    // A list option ("--sigma 2,3"): `count` numbers of this kind that go into this field and
    // the ones after it, `expected` naming the form in the message for a wrong list.
    int count = 1;
    const char* expected = nullptr;
    double whenGiven = 1; // Switch
};

// Where command-line values come from: the option's value in the parameter's own range, or
// nothing when the option is absent. Bad text is the source's to report.
class OptionSource {
public:
    virtual ~OptionSource() = default;
    virtual std::optional<double> value(const OptionInfo& option) const = 0;
    // A list option's `count` values, or nothing when it is absent.
    virtual std::optional<std::vector<double>> values(const OptionInfo&) const {
        return std::nullopt;
    }
};

// The control a field gets in its command's dialog.
enum class FieldControl {
    None,   // not in the dialog
    Slider, // positions lo … hi
    Number, // a number field accepting lo … hi
    Choice, // radio buttons in a box titled by the label, one per value lo … hi
    Check,  // a check box: 0 or 1
};

// How a dialog shows one field. The texts are the program's German source texts; the
// interface translates them where it shows them.
struct DialogInfo {
    FieldControl control = FieldControl::None;
    const char* label = nullptr; // the text before the control, or the title of a choice's box
    // Slider: the text beside it while at a position, "%1" standing for the value the command
    // line shows (the option's word, or the value moved by `shown`); null: none.
    const char* valueText = nullptr;
    const char* lowText = nullptr;  // slider: the text at its low end, null: none
    const char* highText = nullptr; // slider: the text at its high end
    int decimals = -1;              // number: decimals shown, −1 for a whole number
    // Choice: the text of value i, and the columns its buttons are laid out in.
    const char* (*choiceText)(int) = nullptr;
    int columns = 1;
    bool fixedFont = false; // choice: texts drawn as a fixed-width grid (masks)
    int group = 0;          // the dialog's column: 0 the left one, 1 the one beside it
    int order = 0;          // place within its column (fields with equal places keep their order)
    // Enabled only while the field with this index holds `enabledValue` (−1: always).
    int enabledBy = -1;
    int enabledValue = 0;
};

// One field of a parameters struct P: its option, how the member (an int or a float) is read
// and written, the settings record's member it starts from and is stored into (null: not
// stored), and its place in the dialog. Made by `paramField<&P::member>(…)`.
template <class P>
struct ParamField {
    OptionInfo option;
    double (*get)(const P&) = nullptr;
    void (*set)(P&, double) = nullptr;
    int SettingsRecord::*setting = nullptr;
    StoredAs stored = StoredAs::Plain;
    DialogInfo dialog = {};
    int bitShift = 0, bitWidth = 0; // StoredAs::Bits
};

template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
    using Class = C;
    using Type = T;
};

template <auto Member>
constexpr ParamField<typename MemberOf<decltype(Member)>::Class>
paramField(OptionInfo option, int SettingsRecord::*setting = nullptr,
           StoredAs stored = StoredAs::Plain, DialogInfo dialog = {}) {
    using P = typename MemberOf<decltype(Member)>::Class;
    using T = typename MemberOf<decltype(Member)>::Type;
    return {option,
            [](const P& p) { return static_cast<double>(p.*Member); },
            [](P& p, double v) { p.*Member = static_cast<T>(v); },
            setting,
            stored,
            dialog};
}

// A field kept in bits shift … shift + width − 1 of its settings key.
template <auto Member>
constexpr ParamField<typename MemberOf<decltype(Member)>::Class>
bitField(OptionInfo option, int SettingsRecord::*setting, int shift, int width,
         DialogInfo dialog = {}) {
    auto f = paramField<Member>(option, setting, StoredAs::Bits, dialog);
    f.bitShift = shift;
    f.bitWidth = width;
    return f;
}

// A field for element I of a parameters array A (the four biases).
template <class A, std::size_t I>
constexpr ParamField<A> indexField(OptionInfo option, DialogInfo dialog = {}) {
    using T = typename A::value_type;
    return {option,
            [](const A& a) { return static_cast<double>(a[I]); },
            [](A& a, double v) { a[I] = static_cast<T>(v); },
            nullptr,
            StoredAs::Plain,
            dialog};
}

// A field for a member of a member (`nestedField<&P::part, &Part::member>`) or for element I
// of an array member (`elementField<&P::array, I>`), for the options only.
template <auto Outer, auto Member>
constexpr ParamField<typename MemberOf<decltype(Outer)>::Class> nestedField(OptionInfo option) {
    using P = typename MemberOf<decltype(Outer)>::Class;
    using T = typename MemberOf<decltype(Member)>::Type;
    return {option, [](const P& p) { return static_cast<double>((p.*Outer).*Member); },
            [](P& p, double v) { (p.*Outer).*Member = static_cast<T>(v); }};
}
template <auto Array, std::size_t I>
constexpr ParamField<typename MemberOf<decltype(Array)>::Class> elementField(OptionInfo option) {
    using P = typename MemberOf<decltype(Array)>::Class;
    using T = typename MemberOf<decltype(Array)>::Type::value_type;
    return {option, [](const P& p) { return static_cast<double>((p.*Array)[I]); },
            [](P& p, double v) { (p.*Array)[I] = static_cast<T>(v); }};
}

// The parameters as the settings hold them (the struct's defaults where a key is missing).
template <class P>
P paramsFromSettings(std::span<const ParamField<P>> fields, const SettingsRecord& s) {
    P p{};
    for (const ParamField<P>& f : fields) {
        if (!f.setting) continue;
        const int stored = s.*f.setting;
        if (f.stored == StoredAs::Scaled) {
            if (stored != 0) f.set(p, static_cast<float>(fromStoredReal(stored)));
        } else if (f.stored == StoredAs::Bits) {
            f.set(p, (stored >> f.bitShift) & ((1 << f.bitWidth) - 1)); // as it is stored
        } else {
            f.set(p, std::clamp(static_cast<double>(stored), f.option.lo, f.option.hi));
        }
    }
    return p;
}

template <class P>
void storeParams(std::span<const ParamField<P>> fields, const P& p, SettingsRecord& s) {
    for (const ParamField<P>& f : fields) {
        if (!f.setting) continue;
        if (f.stored == StoredAs::Bits) {
            const int mask = ((1 << f.bitWidth) - 1) << f.bitShift;
            s.*f.setting =
                (s.*f.setting & ~mask) | ((static_cast<int>(f.get(p)) << f.bitShift) & mask);
        } else {
            s.*f.setting =
                f.stored == StoredAs::Scaled ? toStoredReal(f.get(p)) : static_cast<int>(f.get(p));
        }
    }
}

// The first field outside its range (its option names the range a prompt shows), or null.
template <class P>
const OptionInfo* outOfRange(std::span<const ParamField<P>> fields, const P& p) {
    for (const ParamField<P>& f : fields) {
        const double v = f.get(p);
        if (!(v >= f.option.lo && v <= f.option.hi)) return &f.option;
    }
    return nullptr;
}

// Every option the source holds into `p`, read in field order; absent ones leave p as it is.
// A list option fills its field and the `count` − 1 fields after it.
template <class P>
void readOptions(std::span<const ParamField<P>> fields, const OptionSource& source, P& p) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const OptionInfo& o = fields[i].option;
        if (!o.name) continue;
        if (o.count > 1) {
            if (const std::optional<std::vector<double>> v = source.values(o))
                for (std::size_t k = 0; k < v->size() && i + k < fields.size(); ++k)
                    fields[i + k].set(p, (*v)[k]);
        } else if (const std::optional<double> v = source.value(o)) {
            fields[i].set(p, *v);
        }
    }
}

// The defaults with every option the source holds, read in field order.
template <class P>
P paramsFromOptions(std::span<const ParamField<P>> fields, const OptionSource& source) {
    P p{};
    readOptions(fields, source, p);
    return p;
}

} // namespace quillon
