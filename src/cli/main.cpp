// quillon-cli: batch front end over the library.
#include "cli/command.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/simd.h"
#include "quillon_version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace quillon::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> r;
    return r;
}

void printOverview(FILE* out) {
    std::fprintf(out,
                 "Quillon %s - Astrofotografie im Stapelbetrieb\n\n"
                 "Aufruf: quillon-cli BEFEHL [ARGUMENTE]\n"
                 "        quillon-cli --help | --version\n"
                 "        quillon-cli help BEFEHL\n"
                 "Umgebung: QUILLON_SIMD=sse2|avx2|avx512 wählt die Befehlssatzstufe, "
                 "QUILLON_THREADS=n die Zahl der Threads\n\nBefehle:\n",
                 QUILLON_VERSION);
    for (const auto& c : registry()) std::fprintf(out, "  %-34s %s\n", c.synopsis, c.summary);
}

const Command* find(const std::string& name) {
    for (const auto& c : registry())
        if (name == c.name) return &c;
    return nullptr;
}

const char* levelName(simd::Level l) {
    return l == simd::Avx512 ? "avx512" : (l == simd::Avx2 ? "avx2" : "sse2");
}

// QUILLON_SIMD=sse2|avx2|avx512 runs the vectorised loops at that instruction-set level (to
// measure a narrower processor on a wider one); unset or empty keeps the processor's widest.
bool applySimdLevel() {
    const char* name = std::getenv("QUILLON_SIMD");
    if (!name || !*name) return true;
    for (simd::Level l : {simd::Sse2, simd::Avx2, simd::Avx512})
        if (std::strcmp(name, levelName(l)) == 0) {
            if (simd::force(l)) return true;
            std::fprintf(stderr,
                         "quillon-cli: QUILLON_SIMD=%s: der Prozessor kennt diese "
                         "Befehlssatzstufe nicht\n",
                         name);
            return false;
        }
    std::fprintf(stderr,
                 "quillon-cli: QUILLON_SIMD=%s: unbekannte Befehlssatzstufe (sse2, avx2 "
                 "oder avx512)\n",
                 name);
    return false;
}

void printCommandHelp(const Command& c, FILE* out) {
    std::fprintf(out, "Aufruf: quillon-cli %s\n%s\n", c.synopsis, c.summary);
    if (c.help && *c.help) std::fprintf(out, "\n%s\n", c.help);
}
} // namespace

Registrar::Registrar(const Command& c) {
    registry().push_back(c);
}

const std::vector<Command>& commands() {
    return registry();
}

} // namespace quillon::cli

int main(int argc, char** argv) {
    using namespace quillon::cli;
    quillon::memory::limitToPhysicalMemory();
    if (!applySimdLevel()) return 2;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printOverview(stderr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        printOverview(stdout);
        return 0;
    }
    if (args[0] == "--version") {
        std::printf("quillon-cli %s (Befehlssatz %s)\n", QUILLON_VERSION,
                    levelName(quillon::simd::level()));
        return 0;
    }
    if (args[0] == "help") {
        if (args.size() < 2) {
            printOverview(stdout);
            return 0;
        }
        const Command* c = find(args[1]);
        if (!c) {
            std::fprintf(stderr, "quillon-cli: unbekannter Befehl \"%s\"\n", args[1].c_str());
            return 2;
        }
        printCommandHelp(*c, stdout);
        return 0;
    }
    const Command* c = find(args[0]);
    if (!c) {
        std::fprintf(stderr, "quillon-cli: unbekannter Befehl \"%s\" (siehe --help)\n",
                     args[0].c_str());
        return 2;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const auto& a : rest) {
        if (a == "--help" || a == "-h") {
            printCommandHelp(*c, stdout);
            return 0;
        }
    }
    try {
        return c->run(rest);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli %s: %s\nAufruf: quillon-cli %s\n", c->name,
                     e.message.c_str(), c->synopsis);
        return 2;
    } catch (const quillon::Error& e) {
        std::fprintf(stderr, "quillon-cli %s: %s\n", c->name, e.what());
        return 1;
    } catch (const quillon::Cancelled&) {
        std::fprintf(stderr, "quillon-cli %s: abgebrochen\n", c->name);
        return 130;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quillon-cli %s: %s\n", c->name, quillon::msg::kOutOfMemory);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-cli %s: %s\n", c->name, e.what());
        return 1;
    }
}
