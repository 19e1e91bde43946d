// The one error type of the library: carries the German text the user sees; and the contract
// every library operation follows.
//
// Operation contract (readers, writers, src/ops, src/filters, src/composite, ...):
// - Failure: throw quillon::Error whose what() is the complete German message the user sees.
//   Running out of memory surfaces as std::bad_alloc (the command boundary - applyFilter,
//   openImage, rotateImage, the GUI's command runner - turns it into its message) or as an
//   Error carrying that message where the operation knows which one applies. No sentinel
//   values (a float 9999.9, -1, null) and no bool results report failure; an operation either
//   finishes or throws. Pure queries may answer "not applicable" in their value, and the
//   low-level Image methods keep their small result codes. The preview helpers of
//   filters/filter.h are a boundary like the commands: an empty preview (null) is their
//   answer to any failure.
// - Progress and cancel: a long operation takes a Progress& (default Progress::none()), calls
//   begin(title, units, minimum interval), step() once per block of rows from whichever
//   worker did it, and end(). When the sink asks to cancel, step() throws Cancelled; an
//   operation filling a new image lets it through (the caller discards that image), an
//   operation changing an image in place ignores it and finishes, as half a result would
//   damage the image.
// - Layers and overlay: an operation with a LayerMask computes the selected colour layers and
//   copies the others unchanged from the matching region of the source. The overlay plane is
//   never computed: it is carried along (copied from the matching region when both images have
//   one, moved with the pixels, taken from the nearest pixel when resampling, ORed by combine).
// - Results are bit for bit the same for any thread count and instruction-set level.
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
inline constexpr const char* kFilterNotApplicable =
    "Der Filter kann auf dieses Bild nicht angewendet werden.";
// "Unerwarteter Fehler: Code 000nn"
std::string unexpected(int code);
} // namespace msg

} // namespace quillon
