// The job file's debayer options: read, written back, and refused where they cannot apply.
#include "composite/job_file.h"
#include "core/error.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

std::string job(const std::string& type, const std::string& options) {
    return R"({"version": 1, "type": ")" + type + R"(", "options": {)" + options + "}}";
}

TEST(JobFileDebayer, OptionsComeBackAndAreRefusedWhereTheyCannotApply) {
    CompositeJob j =
        parseCompositeJob(job("rgb", R"("debayer": "gbrg", "debayerMethod": "superpixel")"));
    EXPECT_TRUE(j.options.debayer.enabled);
    EXPECT_EQ(j.options.debayer.pattern, BayerPattern::Gbrg);
    EXPECT_EQ(j.options.debayer.method, DebayerMethod::SuperPixel);
    EXPECT_EQ(parseCompositeJob(formatCompositeJob(j)).options.debayer, j.options.debayer);

    j = parseCompositeJob(job("rgb", R"("debayer": "auto")"));
    EXPECT_TRUE(j.options.debayer.enabled);
    EXPECT_FALSE(j.options.debayer.pattern);
    EXPECT_EQ(j.options.debayer.method, DebayerMethod::Vng);
    EXPECT_EQ(parseCompositeJob(formatCompositeJob(j)).options.debayer, j.options.debayer);
    // Off is the default and is not written.
    j = parseCompositeJob(job("rgb", R"("debayer": "off")"));
    EXPECT_FALSE(j.options.debayer.enabled);
    EXPECT_EQ(formatCompositeJob(j).find("debayer"), std::string::npos);

    for (const std::string& bad :
         {job("rgb", R"("debayer": "RGBG")"), job("rgb", R"("debayerMethod": "ahd")"),
          job("grey", R"("debayer": "auto")"), job("rgb", R"("debayer": true)")})
        EXPECT_THROW(parseCompositeJob(bad, "job.json"), Error) << bad;
}

} // namespace
} // namespace quillon
