// Plate solving through astrometry.net's solve-field on the image's own star list.
#include "analysis/plate_solve.h"

#include "analysis/stars.h"
#include "core/error.h"
#include "core/image.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quillon {

namespace fs = std::filesystem;

namespace {

constexpr double kRadToDeg = 180.0 / 3.14159265358979323846;
constexpr const char* kSolverPackage = "astrometry.net";

// ---- a minimal FITS reader and writer for the solver's files ----------------------------

// The cards of every header of a FITS file, one vector per header.
std::vector<std::vector<std::string>> readHeaders(const std::string& path) {
    std::vector<std::vector<std::string>> out;
    std::ifstream in(path, std::ios::binary);
    if (!in) return out;
    char block[2880];
    while (in.read(block, sizeof block)) {
        std::vector<std::string> cards;
        bool end = false;
        long long bitpix = 8, naxis = 0, pcount = 0, gcount = 1;
        std::vector<long long> axes;
        for (;;) {
            for (int c = 0; c < 36 && !end; ++c) {
                std::string card(block + c * 80, 80);
                std::string key = card.substr(0, 8);
                if (key == "END     ") {
                    end = true;
                    break;
                }
                cards.push_back(card);
                auto value = [&] { return std::atoll(card.substr(10, 20).c_str()); };
                if (key == "BITPIX  ") bitpix = value();
                if (key == "NAXIS   ") naxis = value();
                if (key.rfind("NAXIS", 0) == 0 && key[5] >= '1' && key[5] <= '9')
                    axes.push_back(value());
                if (key == "PCOUNT  ") pcount = value();
                if (key == "GCOUNT  ") gcount = value();
            }
            if (end || !in.read(block, sizeof block)) break;
        }
        out.push_back(std::move(cards));
        if (!end) break;
        long long bytes = naxis > 0 ? 1 : 0;
        for (long long a : axes) bytes *= a;
        bytes = (bytes + pcount) * gcount * std::llabs(bitpix) / 8;
        in.seekg((bytes + 2879) / 2880 * 2880, std::ios::cur);
    }
    return out;
}

double cardNumber(const std::vector<std::string>& cards, const std::string& key, double fallback) {
    for (const std::string& c : cards)
        if (c.size() >= 30 && c.compare(0, key.size(), key) == 0 &&
            (key.size() == 8 || c[key.size()] == ' ') && c[8] == '=')
            return std::atof(c.substr(10, 30).c_str());
    return fallback;
}

std::string card(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string card(const char* fmt, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::string s(buf);
    s.resize(80, ' ');
    return s;
}

void writeBlocks(std::ofstream& out, std::vector<std::string> cards) {
    cards.push_back(card("END"));
    std::string text;
    for (const auto& c : cards) text += c;
    text.resize((text.size() + 2879) / 2880 * 2880, ' ');
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void putBig(std::string& s, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    for (int i = 7; i >= 0; --i) s += static_cast<char>((bits >> (8 * i)) & 0xff);
}

// The x/y list: an empty primary header and a table X, Y, FLUX (doubles, 1-based pixels).
void writeXyList(const std::string& path, const std::vector<SolveStar>& stars, int width,
                 int height) {
    std::ofstream out(path, std::ios::binary);
    writeBlocks(out,
                {card("SIMPLE  =                    T"), card("BITPIX  =                    8"),
                 card("NAXIS   =                    0"), card("EXTEND  =                    T")});
    writeBlocks(out,
                {card("XTENSION= 'BINTABLE'"), card("BITPIX  =                    8"),
                 card("NAXIS   =                    2"), card("NAXIS1  =                   24"),
                 card("NAXIS2  = %20zu", stars.size()), card("PCOUNT  =                    0"),
                 card("GCOUNT  =                    1"), card("TFIELDS =                    3"),
                 card("TTYPE1  = 'X       '"), card("TFORM1  = 'D       '"),
                 card("TTYPE2  = 'Y       '"), card("TFORM2  = 'D       '"),
                 card("TTYPE3  = 'FLUX    '"), card("TFORM3  = 'D       '"),
                 card("IMAGEW  = %20d", width), card("IMAGEH  = %20d", height)});
    std::string data;
    for (const SolveStar& s : stars) {
        putBig(data, s.x + 1);
        putBig(data, s.y + 1);
        putBig(data, s.flux);
    }
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw Error("Die Sternliste für die Astrometrie kann nicht geschrieben werden.");
}

// ---- running the solver ---------------------------------------------------------------

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= p.size()) {
        std::size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        fs::path candidate = fs::path(p.substr(start, end - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "quillon-solve-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw Error("Für die Astrometrie kann kein temporärer Ordner angelegt werden.");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string packageForField(double widthDeg) {
    // The Tycho-2 packages hold quads from 22' (07) up; smaller fields need the 2MASS ones.
    const double arcmin = widthDeg * 60;
    if (arcmin < 30) return "astrometry-data-2mass-05 (und die folgenden 2MASS-Pakete)";
    if (arcmin < 45) return "astrometry-data-tycho2-07-littleendian";
    if (arcmin < 70) return "astrometry-data-tycho2-08-littleendian";
    return "astrometry-data-tycho2-09-littleendian";
}

} // namespace

std::vector<std::string> indexFolders(const std::string& extraFolder) {
    std::vector<std::string> folders;
    auto add = [&](const std::string& f) {
        std::error_code ec;
        if (f.empty() || !fs::is_directory(f, ec)) return;
        if (std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
    };
    add(extraFolder);
    if (const char* env = std::getenv(kIndexFolderVariable)) {
        std::string s = env;
        std::size_t start = 0;
        while (start <= s.size()) {
            std::size_t end = s.find(':', start);
            if (end == std::string::npos) end = s.size();
            add(s.substr(start, end - start));
            start = end + 1;
        }
    }
    add(kDebianIndexFolder);
    return folders;
}

std::vector<IndexFile> findIndexFiles(const std::vector<std::string>& folders) {
    std::vector<IndexFile> files;
    for (const std::string& f : folders) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(f, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("index-", 0) != 0 || e.path().extension() != ".fits") continue;
            auto headers = readHeaders(e.path().string());
            if (headers.empty()) continue;
            IndexFile i{e.path().string(), cardNumber(headers[0], "SCALE_L", 0) * kRadToDeg,
                        cardNumber(headers[0], "SCALE_U", 0) * kRadToDeg};
            if (i.quadHigh > 0) files.push_back(i);
        }
    }
    std::sort(files.begin(), files.end(),
              [](const IndexFile& a, const IndexFile& b) { return a.path < b.path; });
    return files;
}

void checkIndexCoverage(const std::vector<IndexFile>& files, double widthDeg, double heightDeg) {
    if (files.empty())
        throw Error(std::string("Keine Sternindex-Dateien für die Astrometrie gefunden (") +
                    kDebianIndexFolder + ", $" + kIndexFolderVariable +
                    " oder Einstellung). Bitte das Debian-Paket "
                    "astrometry-data-tycho2-10-19-littleendian installieren.");
    if (widthDeg <= 0 || heightDeg <= 0) return;
    // The solver uses quads from about a tenth of the smaller side up to the diagonal.
    const double low = 0.1 * std::min(widthDeg, heightDeg);
    const double high = std::hypot(widthDeg, heightDeg);
    for (const IndexFile& f : files)
        if (f.quadHigh >= low && f.quadLow <= high) return;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.2f° x %.2f°", widthDeg, heightDeg);
    throw Error(std::string("Kein installierter Sternindex passt zum Bildfeld (") + buf +
                "). Bitte das Debian-Paket " +
                (widthDeg > 30 ? std::string("astrometry-data-tycho2-19-littleendian")
                               : packageForField(std::min(widthDeg, heightDeg))) +
                " installieren oder einen Indexordner mit passenden Dateien angeben.");
}

SolveResult solveStars(const std::vector<SolveStar>& stars, int width, int height,
                       const SolveHints& hints, Progress& progress) {
    const std::string solver = findProgram("solve-field");
    if (solver.empty())
        throw Error(std::string("Das Programm solve-field fehlt. Bitte das Debian-Paket ") +
                    kSolverPackage + " installieren.");
    const std::vector<std::string> folders = indexFolders(hints.extraIndexFolder);
    const std::vector<IndexFile> files = findIndexFiles(folders);
    if (hints.scaleLow > 0 && hints.scaleHigh > 0) {
        // Any field size between the two scales must be covered by some index.
        checkIndexCoverage(files, width * hints.scaleHigh / 3600, height * hints.scaleHigh / 3600);
        checkIndexCoverage(files, width * hints.scaleLow / 3600, height * hints.scaleLow / 3600);
    } else {
        checkIndexCoverage(files, 0, 0);
    }
    if (stars.size() < 4)
        throw Error("Keine astrometrische Lösung gefunden: im Bild sind zu wenige Sterne (" +
                    std::to_string(stars.size()) + ").");

    TempFolder tmp;
    const std::string xy = (tmp.path / "stars.xyls").string();
    writeXyList(xy, stars, width, height);
    {
        std::ofstream cfg(tmp.path / "astrometry.cfg");
        cfg << "cpulimit " << static_cast<int>(std::ceil(hints.timeout)) << "\n";
        for (const std::string& f : folders) cfg << "add_path " << f << "\n";
        cfg << "autoindex\n";
    }
    std::vector<std::string> args = {solver,
                                     "--config",
                                     (tmp.path / "astrometry.cfg").string(),
                                     "--dir",
                                     tmp.path.string(),
                                     "--temp-dir",
                                     tmp.path.string(),
                                     "--width",
                                     std::to_string(width),
                                     "--height",
                                     std::to_string(height),
                                     "--x-column",
                                     "X",
                                     "--y-column",
                                     "Y",
                                     "--sort-column",
                                     "FLUX",
                                     "--no-plots",
                                     "--overwrite",
                                     "--no-remove-lines",
                                     "--uniformize",
                                     "0",
                                     "--new-fits",
                                     "none",
                                     "--rdls",
                                     "none",
                                     "--index-xyls",
                                     "none",
                                     "--match",
                                     "none",
                                     "--solved",
                                     (tmp.path / "solved").string(),
                                     "--wcs",
                                     (tmp.path / "solution.wcs").string(),
                                     "--corr",
                                     (tmp.path / "solution.corr").string(),
                                     "--cpulimit",
                                     std::to_string(static_cast<int>(std::ceil(hints.timeout))),
                                     "--crpix-center"};
    auto number = [](double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.10g", v);
        return std::string(buf);
    };
    if (hints.scaleLow > 0 && hints.scaleHigh > 0) {
        args.insert(args.end(), {"--scale-units", "arcsecperpix", "--scale-low",
                                 number(std::min(hints.scaleLow, hints.scaleHigh)), "--scale-high",
                                 number(std::max(hints.scaleLow, hints.scaleHigh))});
    }
    if (hints.hasCentre) {
        args.insert(args.end(), {"--ra", number(hints.ra), "--dec", number(hints.dec), "--radius",
                                 number(std::max(hints.radius, 0.01))});
    }
    args.push_back(xy);

    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = (tmp.path / "solver.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, solver.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        throw Error(std::string("Das Programm solve-field kann nicht gestartet werden. Bitte das "
                                "Debian-Paket ") +
                    kSolverPackage + " prüfen.");

    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    auto stop = [&] {
        ::kill(-pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    };
    const long long ticks = static_cast<long long>(hints.timeout * 10) + 1;
    progress.begin("Astrometrie", ticks, 1);
    bool timedOut = false;
    long long done = 0;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0) break;
        // The time limit is wall-clock time (the solver's own limit counts CPU time).
        if (seconds() > hints.timeout) {
            stop();
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto want = std::min(ticks - 1, static_cast<long long>(seconds() * 10));
        if (want > done) {
            try {
                progress.step(want - done);
            } catch (...) {
                stop();
                throw;
            }
            done = want;
        }
    }
    progress.end();

    SolveResult result;
    result.seconds = seconds();
    result.starsUsed = static_cast<int>(stars.size());
    std::error_code ec;
    if (timedOut || !fs::exists(tmp.path / "solved", ec)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.0f", hints.timeout);
        throw Error(std::string("Keine astrometrische Lösung gefunden (") +
                    std::to_string(stars.size()) + " Sterne, Zeitgrenze " + buf +
                    " s). Hinweise zu Maßstab und Bildmitte prüfen.");
    }
    auto headers = readHeaders((tmp.path / "solution.wcs").string());
    std::vector<std::string> cards;
    if (!headers.empty())
        for (const std::string& c : headers[0])
            if (isWcsKeyword(std::string_view(c).substr(0, 8))) cards.push_back(c);
    result.wcs = parseWcs(cards);
    if (!result.wcs.present) throw Error("Die Lösung der Astrometrie kann nicht gelesen werden.");
    auto corr = readHeaders((tmp.path / "solution.corr").string());
    if (corr.size() >= 2) result.matchedStars = static_cast<int>(cardNumber(corr[1], "NAXIS2", 0));
    return result;
}

SolveResult solveImage(const Image& image, const SolveHints& hints, Progress& progress) {
    const std::vector<DetectedStar> found = detectStars(image, hints.maxStars);
    std::vector<SolveStar> stars;
    stars.reserve(found.size());
    for (const DetectedStar& s : found) stars.push_back({s.x, s.y, s.flux});
    return solveStars(stars, image.width(), image.height(), hints, progress);
}

std::vector<CatalogStar> catalogStars(const WorldCoordinates& wcs, int width, int height,
                                      const std::string& extraIndexFolder, int maxStars) {
    const std::string query = findProgram("query-starkd");
    if (query.empty())
        throw Error(std::string("Das Programm query-starkd fehlt. Bitte das Debian-Paket ") +
                    kSolverPackage + " installieren.");
    const std::vector<IndexFile> files = findIndexFiles(indexFolders(extraIndexFolder));
    const WcsSummary s = summarizeWcs(wcs, width, height);
    checkIndexCoverage(files, s.fieldWidth, s.fieldHeight);
    const double field = std::max(s.fieldWidth, s.fieldHeight);
    const double radius = 0.5 * std::hypot(s.fieldWidth, s.fieldHeight) * 1.05;
    const SkyMapping sky(wcs);
    std::vector<CatalogStar> stars;
    TempFolder tmp;
    const std::string out = (tmp.path / "stars.txt").string();
    for (const IndexFile& f : files) {
        if (f.quadHigh < 0.1 * field || f.quadLow > 1.5 * field) continue;
        char centre[3][40];
        std::snprintf(centre[0], sizeof centre[0], "%.8f", s.centreRa);
        std::snprintf(centre[1], sizeof centre[1], "%.8f", s.centreDec);
        std::snprintf(centre[2], sizeof centre[2], "%.8f", radius);
        std::vector<std::string> args = {query, "-r",      centre[0], "-d",     centre[1],
                                         "-R",  centre[2], "-t",      "MAG_VT", f.path};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, query.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) continue;
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::ifstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::replace(line.begin(), line.end(), ',', ' ');
            CatalogStar c;
            if (std::sscanf(line.c_str(), "%lf %lf %lf", &c.ra, &c.dec, &c.magnitude) != 3)
                continue;
            if (!sky.skyToPixel(c.ra, c.dec, c.x, c.y)) continue;
            if (c.x < -0.5 || c.y < -0.5 || c.x > width - 0.5 || c.y > height - 0.5) continue;
            const bool known = std::any_of(stars.begin(), stars.end(), [&](const CatalogStar& o) {
                return std::abs(o.ra - c.ra) < 1e-6 && std::abs(o.dec - c.dec) < 1e-6;
            });
            if (!known) stars.push_back(c);
        }
    }
    std::sort(stars.begin(), stars.end(),
              [](const CatalogStar& a, const CatalogStar& b) { return a.magnitude < b.magnitude; });
    if (stars.size() > static_cast<std::size_t>(maxStars))
        stars.resize(static_cast<std::size_t>(maxStars));
    return stars;
}

bool scaleFromOptics(double focalLengthMm, double pixelSizeUm, SolveHints& hints) {
    if (!(focalLengthMm > 0) || !(pixelSizeUm > 0)) return false;
    const double scale = 206.264806 * pixelSizeUm / focalLengthMm;
    hints.scaleLow = scale * 0.9;
    hints.scaleHigh = scale * 1.1;
    return true;
}

bool parseSexagesimal(const std::string& text, bool hours, double& degrees) {
    std::string t = text;
    for (char& c : t)
        if (c == ':' || c == 'h' || c == 'm' || c == 's' || c == 'd' || c == '\'' || c == '"')
            c = ' ';
    double a = 0, b = 0, c = 0;
    char sign = 0;
    std::size_t i = t.find_first_not_of(' ');
    if (i == std::string::npos) return false;
    if (t[i] == '-' || t[i] == '+') sign = t[i], t[i] = ' ';
    const int n = std::sscanf(t.c_str(), "%lf %lf %lf", &a, &b, &c);
    if (n < 1) return false;
    double v = std::abs(a) + b / 60 + c / 3600;
    if (sign == '-' || a < 0) v = -v;
    degrees = hours ? v * 15 : v;
    return std::isfinite(degrees);
}

} // namespace quillon
