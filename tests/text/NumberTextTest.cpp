// How a coordinate field's text reads as a number, with no field.
#include "text/NumberText.h"

#include <gtest/gtest.h>

// How a field reads a text, whatever path it came by: each field kind with the program's
// own form, points only, a comma only, and texts that are not one number.
TEST(PlainNumberText, ReadsTheNumberTheTextShowsInEachFieldKind) {
    const struct {
        const char *text, *plain, *utm;  // as degrees, minutes, seconds and heights; as UTM
    } cases[] = {
        {"40", "40", "40"},
        {"  12,5\t", "12,5", "12,5"},
        {"3.5", "3,5", "3,5"},       // a point that groups nothing
        {"1.500", "1,500", "1500"},  // UTM: points group thousands
        {"4.474.000", "4474000", "4474000"},
        {"440721.5", "440721,5", "440721,5"},
        {"1.500,0", "1500,0", "1500,0"},  // the program's own form
        {"-600,5", "-600,5", "-600,5"},
        {"+7", "7", "7"},
        {",5", "0,5", "0,5"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        for (char kind : {'D', 'M', 'S', 'H'})
            EXPECT_EQ(text::PlainNumberText(kind, c.text), c.plain) << c.text << kind;
        EXPECT_EQ(text::PlainNumberText('U', c.text), c.utm) << c.text;
    }
    // Not one number ("1.2.3": neither thousands nor one decimal point).
    for (const char* text :
         {"12a", "1,2,3", "1,5.3", "1.2.3", "44.74.000", "1.5,0", "-", "1e3", "--5"})
        for (char kind : {'D', 'M', 'S', 'H', 'U'})
            EXPECT_FALSE(text::PlainNumberText(kind, text)) << text << kind;
}
