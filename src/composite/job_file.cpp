// Reading and writing the composite job as JSON, strictly: unknown keys, wrong kinds and
// values out of range are refused with a message naming the field.
#include "composite/job_file.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/image_type.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>

namespace quillon {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kFormatVersion = 1;
// Deepest nesting of arrays and objects accepted; the format needs 5.
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxEntriesPerList = 100000;
constexpr std::size_t kMaxTextLength = 4096;

struct TypeName {
    const char* word;
    std::uint16_t type;
};
constexpr TypeName kTypeNames[] = {{"grey", BW_IMAGE},
                                   {"rgb", RGB_IMAGE},
                                   {"lrgb", LRGB_IMAGE},
                                   {"cmy", CMY_IMAGE},
                                   {"user", USERDEFINED_IMAGE}};

// A problem in the file; parseCompositeJob adds the file's name.
struct Problem {
    std::string text;
};

[[noreturn]] void fail(const std::string& field, const std::string& expected, const Json& got) {
    std::string shown = got.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (shown.size() > 40) shown = shown.substr(0, 37) + "...";
    throw Problem{field + ": " + expected + " erwartet, nicht " + shown};
}

// Refuses keys other than `known`, so that a misspelt key is not silently ignored.
void checkKeys(const Json& object, const std::string& field,
               std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* k : known) found = found || it.key() == k;
        if (!found) {
            std::string key = it.key();
            if (key.size() > 40) key = key.substr(0, 37) + "...";
            throw Problem{(field.empty() ? "" : field + ".") + key + ": unbekannter Eintrag"};
        }
    }
}

const Json& objectAt(const Json& j, const std::string& field) {
    if (!j.is_object()) fail(field, "Objekt", j);
    return j;
}

const Json& arrayAt(const Json& j, const std::string& field, std::size_t maxSize) {
    if (!j.is_array()) fail(field, "Liste", j);
    if (j.size() > maxSize)
        throw Problem{field + ": höchstens " + std::to_string(maxSize) +
                      " Einträge erwartet, nicht " + std::to_string(j.size())};
    return j;
}

bool boolAt(const Json& j, const std::string& field) {
    if (!j.is_boolean()) fail(field, "true oder false", j);
    return j.get<bool>();
}

std::string textAt(const Json& j, const std::string& field) {
    if (!j.is_string()) fail(field, "Text", j);
    std::string s = j.get<std::string>();
    if (s.size() > kMaxTextLength)
        throw Problem{field + ": Text von höchstens " + std::to_string(kMaxTextLength) +
                      " Zeichen erwartet"};
    return s;
}

// Integers only (2.0 is refused), within lo … hi.
int integerAt(const Json& j, const std::string& field, int lo, int hi) {
    const std::string expected =
        "ganze Zahl von " + std::to_string(lo) + " bis " + std::to_string(hi);
    if (j.is_number_unsigned()) {
        if (j.get<std::uint64_t>() > static_cast<std::uint64_t>(hi)) fail(field, expected, j);
        return static_cast<int>(j.get<std::uint64_t>());
    }
    if (!j.is_number_integer()) fail(field, expected, j);
    const auto v = j.get<std::int64_t>();
    if (v < lo || v > hi) fail(field, expected, j);
    return static_cast<int>(v);
}

// Any number, as a float; the range is checked by validateCompositeJob, but a value beyond
// float is refused here rather than becoming infinite.
float realAt(const Json& j, const std::string& field) {
    if (!j.is_number()) fail(field, "Zahl", j);
    const double v = j.get<double>();
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
        fail(field, "Zahl", j);
    return static_cast<float>(v);
}

// Calls fn(value, field) when the object has `key`.
template <class Fn>
void optional(const Json& object, const char* key, const std::string& field, Fn fn) {
    auto it = object.find(key);
    if (it != object.end()) fn(*it, field + "." + key);
}

const Json& required(const Json& object, const char* key, const std::string& field) {
    auto it = object.find(key);
    if (it == object.end()) throw Problem{(field.empty() ? "" : field + ".") + key + ": fehlt"};
    return *it;
}

void readOptions(const Json& j, CompositeOptions& o) {
    const std::string field = "options";
    objectAt(j, field);
    checkKeys(j, field,
              {"referencePoints", "sizeFactor", "average", "setAllValue", "removeBorders",
               "removeArtefacts", "weights", "debayer", "debayerMethod", "rejection", "sigma",
               "percentile", "minmax", "median", "normalize", "weighting"});
    optional(j, "referencePoints", field, [&](const Json& v, const std::string& f) {
        o.referencePointCount = integerAt(v, f, 1, kMaxReferencePoints);
    });
    optional(j, "sizeFactor", field,
             [&](const Json& v, const std::string& f) { o.sizeFactor = realAt(v, f); });
    optional(j, "average", field,
             [&](const Json& v, const std::string& f) { o.averaging = boolAt(v, f); });
    optional(j, "setAllValue", field,
             [&](const Json& v, const std::string& f) { o.setAllValue = realAt(v, f); });
    optional(j, "removeBorders", field,
             [&](const Json& v, const std::string& f) { o.removeBorders = boolAt(v, f); });
    optional(j, "removeArtefacts", field,
             [&](const Json& v, const std::string& f) { o.removeArtefacts = boolAt(v, f); });
    optional(j, "weights", field, [&](const Json& v, const std::string& f) {
        arrayAt(v, f, 3);
        if (v.size() != 3) fail(f, "drei Zahlen [R, G, B]", v);
        for (std::size_t c = 0; c < 3; ++c)
            o.colourWeights[c] = realAt(v[c], f + "[" + std::to_string(c) + "]");
    });
    optional(j, "debayer", field, [&](const Json& v, const std::string& f) {
        const std::string t = textAt(v, f);
        o.debayer.enabled = t != "off";
        o.debayer.pattern = parseBayerPattern(t);
        if (t != "off" && t != "auto" && !o.debayer.pattern)
            fail(f, "off, auto, RGGB, BGGR, GRBG oder GBRG", v);
    });
    optional(j, "debayerMethod", field, [&](const Json& v, const std::string& f) {
        const auto m = parseDebayerMethod(textAt(v, f));
        if (!m) fail(f, "bilinear, vng oder superpixel", v);
        o.debayer.method = *m;
    });
    // One of `words` by its text.
    auto word = [&](const Json& v, const std::string& f, std::span<const char* const> words) {
        const std::string t = textAt(v, f);
        std::string all;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (t == words[i]) return static_cast<int>(i);
            all += (i ? ", " : "") + std::string(words[i]);
        }
        fail(f, all, v);
    };
    // Two numbers [low, high].
    auto pair = [&](const Json& v, const std::string& f, double lo, double hi) {
        arrayAt(v, f, 2);
        if (v.size() != 2) fail(f, "zwei Zahlen [unten, oben]", v);
        std::array<double, 2> out{};
        for (std::size_t i = 0; i < 2; ++i) {
            out[i] = realAt(v[i], f + "[" + std::to_string(i) + "]");
            if (!(out[i] >= lo && out[i] <= hi)) fail(f, "zwei Zahlen [unten, oben]", v);
        }
        return out;
    };
    optional(j, "rejection", field, [&](const Json& v, const std::string& f) {
        o.rejection.method = static_cast<Rejection>(word(v, f, kRejectionWords));
        o.removeArtefacts = o.rejection.method == Rejection::Artefact;
        if (o.rejection.method == Rejection::Artefact) o.rejection.method = Rejection::None;
    });
    optional(j, "sigma", field, [&](const Json& v, const std::string& f) {
        const auto p = pair(v, f, 0.1, 100);
        o.rejection.sigmaLow = static_cast<float>(p[0]);
        o.rejection.sigmaHigh = static_cast<float>(p[1]);
    });
    optional(j, "percentile", field, [&](const Json& v, const std::string& f) {
        const auto p = pair(v, f, 0, 1);
        o.rejection.percentileLow = static_cast<float>(p[0]);
        o.rejection.percentileHigh = static_cast<float>(p[1]);
    });
    optional(j, "minmax", field, [&](const Json& v, const std::string& f) {
        const auto p = pair(v, f, 0, kMaxContributions);
        o.rejection.minmaxLow = static_cast<int>(p[0]);
        o.rejection.minmaxHigh = static_cast<int>(p[1]);
    });
    optional(j, "median", field,
             [&](const Json& v, const std::string& f) { o.rejection.median = boolAt(v, f); });
    optional(j, "normalize", field, [&](const Json& v, const std::string& f) {
        o.normalization = textAt(v, f) == "auto" ? -1 : word(v, f, kNormalizationWords);
    });
    optional(j, "weighting", field, [&](const Json& v, const std::string& f) {
        o.weighting = static_cast<Weighting>(word(v, f, kWeightingWords));
    });
}

void readCalibration(const Json& j, const std::string& field, CalibrationParams& c) {
    objectAt(j, field);
    checkKeys(j, field,
              {"darkFile", "flatFile", "dark", "flat", "autoFactor", "offset", "darkDivisor",
               "flatFactor"});
    optional(j, "darkFile", field,
             [&](const Json& v, const std::string& f) { c.darkFile = textAt(v, f); });
    optional(j, "flatFile", field,
             [&](const Json& v, const std::string& f) { c.flatFile = textAt(v, f); });
    optional(j, "dark", field,
             [&](const Json& v, const std::string& f) { c.darkEnabled = boolAt(v, f); });
    optional(j, "flat", field,
             [&](const Json& v, const std::string& f) { c.flatEnabled = boolAt(v, f); });
    optional(j, "autoFactor", field,
             [&](const Json& v, const std::string& f) { c.automaticFactor = boolAt(v, f); });
    optional(j, "offset", field, [&](const Json& v, const std::string& f) {
        c.offset = integerAt(v, f, -32768, 32767);
    });
    optional(j, "darkDivisor", field,
             [&](const Json& v, const std::string& f) { c.darkDivisor = realAt(v, f); });
    optional(j, "flatFactor", field,
             [&](const Json& v, const std::string& f) { c.flatFactor = realAt(v, f); });
}

CompositeEntry readEntry(const Json& j, const std::string& field, const CompositeJob& job,
                         int list) {
    objectAt(j, field);
    checkKeys(j, field, {"path", "used", "factors", "points"});
    CompositeEntry e = job.newEntry(list);
    const Json& path = required(j, "path", field);
    e.name = textAt(path, field + ".path");
    if (e.name.empty()) fail(field + ".path", "Dateiname", path);
    optional(j, "used", field, [&](const Json& v, const std::string& f) { e.used = boolAt(v, f); });
    optional(j, "factors", field, [&](const Json& v, const std::string& f) {
        const std::size_t slots = e.factors.size();
        arrayAt(v, f, slots);
        if (v.size() != slots) fail(f, std::to_string(slots) + " Faktoren", v);
        for (std::size_t k = 0; k < slots; ++k)
            e.factors[k] = realAt(v[k], f + "[" + std::to_string(k) + "]");
    });
    optional(j, "points", field, [&](const Json& v, const std::string& f) {
        const int count = job.options.referencePointCount;
        arrayAt(v, f, kMaxReferencePoints);
        if (static_cast<int>(v.size()) < count)
            fail(f, std::to_string(count) + " bis 4 Punkte [x, y]", v);
        for (std::size_t k = 0; k < v.size(); ++k) {
            const std::string point = f + "[" + std::to_string(k) + "]";
            arrayAt(v[k], point, 2);
            if (v[k].size() != 2) fail(point, "ein Punkt [x, y]", v[k]);
            // Points beyond the count are not used and keep their defaults.
            if (static_cast<int>(k) >= count) continue;
            e.points[k] = {realAt(v[k][0], point + ".x"), realAt(v[k][1], point + ".y")};
        }
        e.pointsSet = true;
    });
    return e;
}

void readList(const Json& j, const std::string& field, CompositeJob& job, std::vector<bool>& seen) {
    objectAt(j, field);
    checkKeys(j, field, {"index", "calibration", "entries"});
    const int index =
        integerAt(required(j, "index", field), field + ".index", 0, job.listCount() - 1);
    if (seen[static_cast<std::size_t>(index)])
        throw Problem{field + ".index: Liste " + std::to_string(index) + " ist doppelt"};
    seen[static_cast<std::size_t>(index)] = true;
    const std::string name = "lists[" + std::to_string(index) + "]";
    optional(j, "calibration", name, [&](const Json& v, const std::string& f) {
        if (index == job.overlayList())
            throw Problem{f + ": die Overlay-Liste hat keine Kalibrierung"};
        readCalibration(v, f, job.calibrations[static_cast<std::size_t>(index)]);
    });
    optional(j, "entries", name, [&](const Json& v, const std::string& f) {
        arrayAt(v, f, kMaxEntriesPerList);
        auto& entries = job.lists[static_cast<std::size_t>(index)].entries;
        for (std::size_t i = 0; i < v.size(); ++i)
            entries.push_back(readEntry(v[i], f + "[" + std::to_string(i) + "]", job, index));
    });
}

CompositeJob readJob(const Json& root) {
    objectAt(root, "Auftrag");
    checkKeys(root, "", {"version", "type", "layers", "options", "lists"});
    const Json& version = required(root, "version", "");
    if (integerAt(version, "version", 1, std::numeric_limits<int>::max()) != kFormatVersion)
        throw Problem{"version: Version " + std::to_string(kFormatVersion) + " erwartet, nicht " +
                      version.dump()};

    const Json& typeValue = required(root, "type", "");
    const std::string word = textAt(typeValue, "type");
    std::uint16_t type = NO_IMAGE;
    for (const TypeName& t : kTypeNames)
        if (word == t.word) type = t.type;
    if (type == NO_IMAGE) fail("type", "grey, rgb, lrgb, cmy oder user", typeValue);
    int layers = compositeLayerCount(type);
    auto layersValue = root.find("layers");
    if (type == USERDEFINED_IMAGE) {
        if (layersValue == root.end()) throw Problem{"layers: fehlt (für type user)"};
        layers = integerAt(*layersValue, "layers", 2, kMaxUserLayers);
    } else if (layersValue != root.end()) {
        integerAt(*layersValue, "layers", layers, layers);
    }

    CompositeJob job;
    job.configure(type, layers, CalibrationParams{});
    optional(root, "options", "",
             [&](const Json& v, const std::string&) { readOptions(v, job.options); });
    std::vector<bool> seen(static_cast<std::size_t>(job.listCount()), false);
    optional(root, "lists", "", [&](const Json& v, const std::string&) {
        arrayAt(v, "lists", static_cast<std::size_t>(job.listCount()));
        for (std::size_t i = 0; i < v.size(); ++i)
            readList(v[i], "lists[" + std::to_string(i) + "]", job, seen);
    });
    const std::string problem = validateCompositeJob(job);
    if (!problem.empty()) throw Problem{problem};
    return job;
}

// Refuses nesting deeper than kMaxDepth before the parser sees the text.
bool nestingWithin(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

std::string where(std::string_view text, std::size_t byte) {
    byte = std::min(byte, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i + 1 < byte; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "Zeile " + std::to_string(line) + ", Spalte " + std::to_string(column);
}

// A float as the shortest decimal that reads back as the same float.
Json real(float v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return Json(std::strtod(std::string(buf, r.ptr).c_str(), nullptr));
}

} // namespace

CompositeJob parseCompositeJob(std::string_view text, const std::string& source) {
    const std::string prefix =
        source.empty() ? "Auftragsdatei: " : "Auftragsdatei \"" + source + "\": ";
    try {
        if (text.size() > kMaxJobFileBytes)
            throw Problem{"größer als " + std::to_string(kMaxJobFileBytes >> 20) + " MB"};
        if (!nestingWithin(text))
            throw Problem{"tiefer als " + std::to_string(kMaxDepth) + " Ebenen verschachtelt"};
        Json root;
        try {
            root = Json::parse(text.begin(), text.end());
        } catch (const Json::parse_error& e) {
            throw Problem{"kein gültiges JSON (" + where(text, e.byte) + ")"};
        } catch (const Json::exception&) {
            throw Problem{"kein gültiges JSON (eine Zahl ist zu groß)"};
        }
        return readJob(root);
    } catch (const Problem& p) {
        throw Error(prefix + p.text);
    } catch (const Json::exception& e) {
        throw Error(prefix + "unerwarteter Inhalt (" + e.what() + ")");
    }
}

CompositeJob readCompositeJob(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size > static_cast<std::streamoff>(kMaxJobFileBytes))
            throw Error("Auftragsdatei \"" + path + "\": größer als " +
                        std::to_string(kMaxJobFileBytes >> 20) + " MB");
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in && !in.eof())
        throw Error("Die Auftragsdatei \"" + path + "\" konnte nicht gelesen werden.");
    return parseCompositeJob(text, path);
}

std::string formatCompositeJob(const CompositeJob& job) {
    const std::string problem = validateCompositeJob(job);
    if (!problem.empty()) throw Error("Der Auftrag kann nicht gespeichert werden: " + problem);
    Json root;
    root["version"] = kFormatVersion;
    for (const TypeName& t : kTypeNames)
        if (t.type == job.targetType) root["type"] = t.word;
    root["layers"] = job.layerCount;
    const CompositeOptions& o = job.options;
    Json& options = root["options"];
    options["referencePoints"] = o.referencePointCount;
    options["sizeFactor"] = real(o.sizeFactor);
    options["average"] = o.averaging;
    options["setAllValue"] = real(o.setAllValue);
    options["removeBorders"] = o.removeBorders;
    options["removeArtefacts"] = o.removeArtefacts;
    options["weights"] =
        Json::array({real(o.colourWeights[0]), real(o.colourWeights[1]), real(o.colourWeights[2])});
    const RejectionParams& r = o.rejection;
    options["rejection"] = kRejectionWords[static_cast<std::size_t>(effectiveRejection(o))];
    options["sigma"] = Json::array({real(r.sigmaLow), real(r.sigmaHigh)});
    options["percentile"] = Json::array({real(r.percentileLow), real(r.percentileHigh)});
    options["minmax"] = Json::array({r.minmaxLow, r.minmaxHigh});
    options["median"] = r.median;
    options["normalize"] = o.normalization < 0
                               ? "auto"
                               : kNormalizationWords[static_cast<std::size_t>(o.normalization)];
    options["weighting"] = kWeightingWords[static_cast<std::size_t>(o.weighting)];
    if (o.debayer.enabled) {
        options["debayer"] = o.debayer.pattern ? bayerPatternName(*o.debayer.pattern) : "auto";
        options["debayerMethod"] = debayerMethodName(o.debayer.method);
    }
    Json lists = Json::array();
    for (int l = 0; l < job.listCount(); ++l) {
        Json list;
        list["index"] = l;
        if (l != job.overlayList()) {
            const CalibrationParams& c = job.calibrations[static_cast<std::size_t>(l)];
            list["calibration"] = {{"darkFile", c.darkFile},
                                   {"flatFile", c.flatFile},
                                   {"dark", c.darkEnabled},
                                   {"flat", c.flatEnabled},
                                   {"autoFactor", c.automaticFactor},
                                   {"offset", c.offset},
                                   {"darkDivisor", real(static_cast<float>(c.darkDivisor))},
                                   {"flatFactor", real(static_cast<float>(c.flatFactor))}};
        }
        Json entries = Json::array();
        for (const CompositeEntry& e : job.lists[static_cast<std::size_t>(l)].entries) {
            if (!e.isFile())
                throw Error("Der Auftrag kann nicht gespeichert werden: \"" + e.name +
                            "\" ist ein geöffnetes Bild und keine Datei.");
            Json entry;
            entry["path"] = e.name;
            entry["used"] = e.used;
            if (!e.factors.empty()) {
                Json factors = Json::array();
                for (float f : e.factors) factors.push_back(real(f));
                entry["factors"] = factors;
            }
            if (e.pointsSet) {
                Json points = Json::array();
                for (int k = 0; k < o.referencePointCount; ++k) {
                    const ReferencePoint& p = e.points[static_cast<std::size_t>(k)];
                    points.push_back(Json::array({real(p.x), real(p.y)}));
                }
                entry["points"] = points;
            }
            entries.push_back(entry);
        }
        list["entries"] = entries;
        lists.push_back(list);
    }
    root["lists"] = lists;
    try {
        return root.dump(2) + "\n";
    } catch (const Json::exception&) {
        throw Error("Der Auftrag kann nicht gespeichert werden: ein Dateiname ist kein gültiger "
                    "UTF-8-Text.");
    }
}

void writeCompositeJob(const CompositeJob& job, const std::string& path) {
    const std::string text = formatCompositeJob(job);
    AtomicFile file(path, "Die Auftragsdatei \"" + path + "\" konnte nicht geschrieben werden.");
    file.write(text.data(), text.size());
    file.commit();
}

} // namespace quillon
