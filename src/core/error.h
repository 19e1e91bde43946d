// The one error type of the library: carries the German text the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

// Thrown by readers, writers and operations that fail. what() is the complete message
// in the program's own words, ready for a message box or the terminal.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Thrown when the user (or a test) cancels a long operation through its progress sink.
// It is not a failure: callers discard partial results and report nothing.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Abgebrochen"; }
};

// Texts shared by several parts of the program.
namespace msg {
inline constexpr const char* kOutOfMemory = "Nicht genügend Speicherplatz vorhanden!";
inline constexpr const char* kOutOfMemoryNew =
    "Es steht nicht genügend Speicherplatz zur verfügung!";
inline constexpr const char* kOutOfMemoryAction =
    "Für diese Aktion steht zu wenig Speicher zur Verfügung!";
inline constexpr const char* kInvalidSize =
    "Bild hat ungültige Größe (nicht 10x10 ... 14000x14000)!";
inline constexpr const char* kBadBitFormat = "Falsches Bit-Format! Fehler Code 00041";
// "Unerwarteter Fehler: Code 000nn"
std::string unexpected(int code);
} // namespace msg

} // namespace quillon
