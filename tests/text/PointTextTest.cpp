// Whole points written for other programs (read from pasted text: tests/data/pastes.txt).
#include "text/PointText.h"

#include <gtest/gtest.h>

TEST(PointTextOut, DecimalDegreesDegreesAndMinutesAndUtmForOtherPrograms) {
    EXPECT_EQ(text::DecimalDegreesText(-0.000000001, 0), "0.00000000, 0.00000000");
    EXPECT_EQ(text::UtmPointText("30T", 440721.755, 4474447.365), "30T 440721.76 4474447.37");
    // 40.4168 N 3.7038 W; 59,999997' carries into the next degree; a south-west point.
    EXPECT_EQ(text::DegreesMinutesText(40.4168, -3.7038), "N 40º 25,00800' W 3º 42,22800'");
    EXPECT_EQ(text::DegreesMinutesText(40.99999995, -0.0000000001), "N 41º 0,00000' E 0º 0,00000'");
    EXPECT_EQ(text::DegreesMinutesText(-33.8688, 151.2093), "S 33º 52,12800' E 151º 12,55800'");
    EXPECT_EQ(text::DegreesMinutesText(40.41798125, -3.70249087), "N 40º 25,07887' W 3º 42,14945'");
    // Exact binary halves go to even, as printf takes them; near-halves by their exact value.
    EXPECT_EQ(text::DecimalText(0.125, 2), "0.12");
    EXPECT_EQ(text::DecimalText(0.375, 2), "0.38");
    EXPECT_EQ(text::DecimalText(2.675, 2), "2.67");  // 2.67499999999999982236431605997495353221893310546875
    EXPECT_EQ(text::DecimalText(-0.000000004, 8), "0.00000000");
    EXPECT_EQ(text::DecimalText(-3.999999996, 8), "-4.00000000");
}
