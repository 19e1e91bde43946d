// Dark/flat calibration and row/column repair (placeholder until the implementation lands).
#include "ops/calibration.h"

#include "core/error.h"

namespace quillon {

std::vector<float> flatMeans(const Image&) {
    return {};
}
int checkCalibrationFrames(const Image&, const Image*, const Image*) {
    return CALIBRATION_OK;
}
CalibrationOutcome darkFlatCorrect(Image&, const Image*, const Image*, const CalibrationParams&,
                                   Progress&) {
    throw Error("Dunkelstrom/Flatfield: not implemented yet");
}
std::string calibrationMessage(int) {
    return {};
}
std::string calibrationTitleLabel(bool, bool) {
    return {};
}
std::string clampedNotice(long long) {
    return {};
}
void repairColumn(Image&, int, int, int, int) {
    throw Error("repair: not implemented yet");
}
void repairRow(Image&, int, int, int, int) {
    throw Error("repair: not implemented yet");
}

} // namespace quillon
