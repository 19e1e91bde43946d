// Metadata helpers.
#include "core/image_info.h"

namespace quillon {

bool ImageInfo::addComment(std::string_view line) {
    if (comments.size() >= kMaxComments) return false;
    CommentLine c{};
    setText(c, line);
    comments.push_back(c);
    return true;
}

void ImageInfo::copyFromTemplate(const ImageInfo& o) {
    exposureTime = o.exposureTime;
    temperature = o.temperature;
    longitude = o.longitude;
    latitude = o.latitude;
    julianDate = o.julianDate;
    date = o.date;
    time = o.time;
    siderealTime = o.siderealTime;
    comments = o.comments;
    bayer = o.bayer;
    wcs = o.wcs;
    wcsNote = o.wcsNote;
    pointing = o.pointing;
}

void ImageInfo::resetKeepingPath() {
    exposureTime = temperature = longitude = latitude = 0;
    julianDate = 0;
    clearText(date);
    clearText(time);
    clearText(siderealTime);
    comments.clear();
    bayer = {};
    wcs = {};
    wcsNote.clear();
    pointing = {};
}

} // namespace quillon
