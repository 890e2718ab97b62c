#include "entry/mText.h"

#include <gtest/gtest.h>

using namespace mText;

TEST(mText, NormalizeNumberDropsThousandPointsAndTurnsTheFirstCommaIntoAPoint) {
    EXPECT_EQ(RemoveDots("1..2"), "12");
    EXPECT_EQ(RemoveDots(""), "");
    EXPECT_EQ(NormalizeNumber("636.800,45"), "636800.45");
    EXPECT_EQ(NormalizeNumber("0,0000"), "0.0000");
    EXPECT_EQ(NormalizeNumber("1.234.567,5"), "1234567.5");
    EXPECT_EQ(NormalizeNumber("2,5,7"), "2.5,7");
    EXPECT_EQ(NormalizeNumber(""), "");
    EXPECT_EQ(FieldValue("2,5,7"), 2.5);
    EXPECT_EQ(FieldValue("636.800,45"), 636800.45);
    EXPECT_EQ(FieldValue("-500,0"), -500.0);
    EXPECT_EQ(FieldValue("abc"), 0.0);
}
