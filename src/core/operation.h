// The parts every command's operation record is made of: a parameters struct described field by
// field (command-line option, range, stored setting), and the generic walks over such a
// description: defaults, reading and storing the settings, the range check, and reading the
// command-line options. The records themselves live with their operations (filters/filter_ops.h).
#pragma once

#include "core/settings_record.h"

#include <algorithm>
#include <optional>
#include <span>

namespace quillon {

enum class OptionKind {
    Integer, // a whole number
    Real,    // a finite real
    Choice,  // one of `words` (stored as its index)
};

// How a field is kept in its settings key.
enum class StoredAs {
    Plain,  // the number itself, pulled into the field's range when read
    Scaled, // truncate(value × 10000); a stored 0 gives the default
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
};

// Where command-line values come from: the option's value in the parameter's own range, or
// nothing when the option is absent. Bad text is the source's to report.
class OptionSource {
public:
    virtual ~OptionSource() = default;
    virtual std::optional<double> value(const OptionInfo& option) const = 0;
};

// One field of a parameters struct P: its option, how the member (an int or a float) is read
// and written, and the settings record's member it starts from and is stored into (null: not
// stored). Made by `paramField<&P::member>(…)`.
template <class P>
struct ParamField {
    OptionInfo option;
    double (*get)(const P&) = nullptr;
    void (*set)(P&, double) = nullptr;
    int SettingsRecord::*setting = nullptr;
    StoredAs stored = StoredAs::Plain;
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
           StoredAs stored = StoredAs::Plain) {
    using P = typename MemberOf<decltype(Member)>::Class;
    using T = typename MemberOf<decltype(Member)>::Type;
    return {option, [](const P& p) { return static_cast<double>(p.*Member); },
            [](P& p, double v) { p.*Member = static_cast<T>(v); }, setting, stored};
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
        s.*f.setting =
            f.stored == StoredAs::Scaled ? toStoredReal(f.get(p)) : static_cast<int>(f.get(p));
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
template <class P>
void readOptions(std::span<const ParamField<P>> fields, const OptionSource& source, P& p) {
    for (const ParamField<P>& f : fields)
        if (f.option.name)
            if (const std::optional<double> v = source.value(f.option)) f.set(p, *v);
}

// The defaults with every option the source holds, read in field order.
template <class P>
P paramsFromOptions(std::span<const ParamField<P>> fields, const OptionSource& source) {
    P p{};
    readOptions(fields, source, p);
    return p;
}

} // namespace quillon
