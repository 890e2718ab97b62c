// The result captions' degrees, minutes and seconds against PROJ's (tests/data/dms.txt).
#include "core/Captions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/DataFile.h"

namespace {

// PROJ's text ("40d24'59.9995\"E") as the captions write it ("40º 24' 59,9995\" " and the
// hemisphere): the same digits, minutes and degrees without leading zeros, a decimal comma.
std::string CaptionOf(const std::string& proj, const char* hemisphere) {
    int deg = 0, min = 0;
    char sec[16] = {}, side = 0;
    if (std::sscanf(proj.c_str(), "%dd%d'%15[0-9.]\"%c", &deg, &min, sec, &side) != 4)
        return "?" + proj;
    std::string s = sec;
    s.replace(s.find('.'), 1, ",");
    if (s.size() == 7 && s[0] == '0') s.erase(0, 1);  // "04,6963" is "4,6963"
    return std::to_string(deg) + "º " + std::to_string(min) + "' " + s + "\" " + hemisphere;
}

}  // namespace

// Seconds rounded to four decimals, and those that round to 60 carried into the minute
// and the degree, as PROJ carries them; those just under stay under.
TEST(Captions, DegreesMinutesAndSecondsMeetProjOnEveryReferenceValue) {
    for (const auto& r : testing_support::ReadDataFile("dms.txt")) {
        SCOPED_TRACE(r.where);
        const double v = r.Number(0);
        const bool west = r[1].back() == 'W';
        ASSERT_EQ(west, v < 0);
        EXPECT_EQ(core::LongitudeCaption(v), CaptionOf(r[1], west ? "W" : "E"));
        if (!west) {
            EXPECT_EQ(core::LatitudeCaption(v), CaptionOf(r[1], "N"));
        }
    }
}
