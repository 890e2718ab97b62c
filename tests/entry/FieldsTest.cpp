// The text rules of mText and the coordinate fields of the main window that use them.
#include "entry/Fields.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "entry/mText.h"
#include "form/FrmTalporControls.h"
#include "support/FakePlatform.h"

namespace {

class Fields : public ::testing::Test {
  protected:
    Fields() { app::BuildFrmTalporControls(form); }

    app::Control& Field(const char* name, int index = -1) { return form.Get(name, index); }
    app::Control& Set(const char* name, int index, std::string text, int selStart = 0,
                      int selLength = 0) {
        app::Control& field = Field(name, index);
        field.text = std::move(text);
        field.selStart = selStart;
        field.selLength = selLength;
        return field;
    }

    app::FormModel form;
    testing_support::FakePlatform platform;
};

}  // namespace

TEST(mText, NormalizeNumberDropsThousandPointsAndTurnsTheFirstCommaIntoAPoint) {
    EXPECT_EQ(mText::RemoveDots("1..2"), "12");
    EXPECT_EQ(mText::NormalizeNumber("636.800,45"), "636800.45");
    EXPECT_EQ(mText::NormalizeNumber("1.234.567,5"), "1234567.5");
    EXPECT_EQ(mText::NormalizeNumber("2,5,7"), "2.5,7");
    EXPECT_EQ(mText::NormalizeNumber(""), "");
    EXPECT_EQ(mText::FieldValue("2,5,7"), 2.5);
    EXPECT_EQ(mText::FieldValue("abc"), 0.0);
}

TEST_F(Fields, FocusShowsTheNumberWithoutThousandPointsFullySelected) {
    struct {
        const char* name;
        int index;
        const char *text, *shown;
    } const cases[] = {
        {"TxtUTMx", -1, "636.800,00", "636800,00"},
        {"TxtWGSg", 2, "1.234,5", "1234,5000"},
        {"TxtWGSg", 6, "-0,04", "0,0"},
        {"TxtWGSg", 0, " 38 ", "38"},
        {"TxtUTMx", -1, "440721.5", "440721,50"},  // a point that groups nothing is the decimal sign
        {"TxtWGSg", 6, "3.5", "3,5"},
        // Not the field's number: kept as written, for leaving the field to report it.
        {"TxtWGSg", 6, "1.2.x", "1.2.x"},
        {"TxtWGSg", 6, "1E999", "1E999"},
        {"TxtWGSg", 0, "-95287.080.,871", "-95287.080.,871"},
        {"TxtWGSg", 0, "-1e308", "-1e308"},
    };
    for (const auto& c : cases) {
        app::Control& field = Set(c.name, c.index, c.text, 3, 1);
        entry::FieldGotFocus(form, field);
        EXPECT_EQ(field.text, c.shown) << c.text;
        EXPECT_EQ(field.selStart, 0);
        EXPECT_EQ(field.selLength, mText::CharLength(c.shown));
        EXPECT_EQ(field.backColor, app::kLightYellow);
    }
}

TEST_F(Fields, KeysByClassAndMode) {
    struct {
        const char* name;  // the field, or the mode given straight to FilterKey on TxtUTMx
        int index;
        const char* text;
        int selStart, selLength, key;
        int enters;  // 0 when refused
    } const cases[] = {
        {"TxtUTMx", -1, "636800", 0, 6, '.', '.'},  // a point groups thousands in UTM fields
        {"TxtUTMx", -1, "4.474", 5, 0, '.', '.'},
        {"TxtUTMx", -1, "636800,", 7, 0, '.', 0},  // but never after the decimal comma
        {"TxtUTMx", -1, "636800,", 7, 0, '-', 0},
        {"TxtUTMx", -1, "636800,", 7, 0, '5', '5'},
        {"TxtWGSg", 1, "5", 1, 0, ',', 0},    // minutes: digits only
        {"TxtWGSg", 2, "1", 1, 0, '.', ','},  // seconds
        {"TxtWGSg", 2, "1", 0, 0, '-', 0},
        {"TxtWGSg", 6, "600", 0, 0, '-', '-'},  // height: minus only in front
        {"TxtWGSg", 6, "600", 1, 0, '-', 0},
        {"TxtWGSg", 6, "-600", 0, 0, '-', 0},
        {"TxtWGSg", 6, "-600", 0, 4, '-', '-'},  // the whole text selected: typing replaces it
        {"TxtWGSg", 6, "600,0", 0, 5, mText::kBackspace, mText::kBackspace},
        {"0,9", 0, "1,ñ", 0, 3, ',', ','},  // three characters, four bytes: all selected
        {"0,9", 0, "1,ñ", 0, 2, ',', 0},
    };
    for (const auto& c : cases) {
        const bool isField = std::string_view(c.name).starts_with("Txt");
        app::Control& field = Set(isField ? c.name : "TxtUTMx", isField ? c.index : -1, c.text,
                                  c.selStart, c.selLength);
        int key = c.key;
        if (isField)
            entry::FieldKeyPress(form, field, key);
        else
            mText::FilterKey(field, key, c.name);
        EXPECT_EQ(key, c.enters) << c.name << "(" << c.index << ") \"" << c.text << "\" " << c.key;
    }
}

TEST_F(Fields, RangeChecksClampWithTheLimitationsMessage) {
    const std::string lat = "35 < Grados sexagesimales <44", lon = "0 < Grados sexagesimales <5",
                      height = "-500,0 < Altura sobre el elipsoide  <4.000,0";
    struct {
        const char* name;
        int index;
        int lng;  // OptLng button selected first, -1 for none
        std::string typed, message /* empty when accepted */, left;
    } const cases[] = {
        // Limits and formats from the range table of the coordinate fields.
        {"TxtWGSg", 0, -1, "45", lat, "44"},
        {"TxtWGSg", 7, -1, "34", lat, "35"},
        {"TxtWGSg", 0, -1, "44", "", "44"},  // limits are inclusive
        {"TxtWGSg", 3, 1, "7", lon, "5"},    // "E": up to 5
        {"TxtWGSg", 3, 0, "7", "", "7"},     // "W": up to 10
        {"TxtWGSg", 16, 5, "7", lon, "5"},   // reads its own OptLng(4), not OptLng(0)
        {"TxtWGSg", 9, -1, "91", "0 < Grados sexagesimales <90", "90"},
        {"TxtWGSg", 30, -1, "1.234,5", "0 < Grados sexagesimales <180", "180"},
        {"TxtWGSg", 32, -1, "60", "0 < Minutos <59", "59"},
        {"TxtWGSg", 6, -1, "-600", height, "-500,0"},
        {"TxtWGSg", 8, -1, "4000,01", height, "4.000,0"},
        {"TxtWGSg", 25, -1, "3530", "", "3.530,0"},  // Mulhacén, above the ellipsoid
        {"TxtWGSg", 6, -1, "-9" + std::string(400, '9'), height, "-500,0"},  // beyond a double
        {"TxtWGSg", 0, -1, "-1e308", lat, "35"},  // other programs' exponents, clamped at once
        {"TxtWGSg", 7, -1, "4.05E1", "", "41"},
        {"TxtWGSg", 6, -1, "1e400", height, "4.000,0"},
        {"TxtWGSg", 26, -1, "12,34", "", "12,3"},
        {"TxtWGSg", 5, -1, "", "", "0,0000"},  // empty reads 0
        // 59.999999 would show as "60,0000" and fail its own check on the next focus
        // loss: the last four-decimal value inside the range is shown instead.
        {"TxtWGSg", 15, -1, "75", "0,0000 < Segundos <60,0000", "59,9999"},
        {"TxtWGSg", 18, -1, "59,99995", "", "59,9999"},
        // The rules have no length limit (the window cuts pastes at 255 characters).
        {"TxtWGSg", 0, -1, std::string(300, '9'), lat, "44"},
        {"TxtWGSg", 0, -1, "40" + std::string(300, 'x'), lat, "40" + std::string(300, 'x')},
        // Typed or pasted, a text is read as the number it shows; one that is not one
        // number gets the field's message and stays.
        {"TxtWGSg", 2, -1, "3.5", "", "3,5000"},
        {"TxtWGSg", 6, -1, "650.5", "", "650,5"},
        {"TxtUTMy", -1, -1, "4.474.000", "", "4.474.000,00"},
        {"TxtUTMx", -1, -1, "440721.5", "", "440.721,50"},
        {"TxtWGSg", 2, -1, "3,5,1", "0,0000 < Segundos <60,0000", "3,5,1"},
        {"TxtUTMx", -1, -1, "44.07.21", "186.062,00 < Coord. Este <813.939,00", "44.07.21"},
        {"TxtUTMx", -1, -1, "636800,456", "", "636.800,46"},
        {"TxtUTMe", -1, -1, "100", "186.062,00 < Coord. Este <813.939,00", "186.062,00"},
        {"TxtUTMy", -1, -1, "7000000", "2.211.509,00 < Coord. Norte <6.651.567,00", "6.651.567,00"},
        {"TxtUTMn", -1, -1, "4234000", "", "4.234.000,00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.index) + ") = \"" +
                     c.typed.substr(0, 12) + "\"");
        platform.msgBoxes.clear();
        form.focusRequest = nullptr;
        if (c.lng >= 0) form.SelectOption(Field("OptLng", c.lng));
        app::Control& field = Set(c.name, c.index, c.typed);
        field.backColor = app::kLightYellow;
        entry::FieldLostFocus(form, platform, field);
        EXPECT_EQ(field.text, c.left);
        EXPECT_EQ(field.backColor, app::kWhite);
        EXPECT_EQ(form.focusRequest, c.message.empty() ? nullptr : &field);
        ASSERT_EQ(platform.msgBoxes.size(), c.message.empty() ? 0u : 1u);
        if (c.message.empty()) continue;
        EXPECT_EQ(platform.LastMsgBox().text, c.message);
        EXPECT_EQ(platform.LastMsgBox().title, "Limitaciones");
        EXPECT_EQ(platform.LastMsgBox().icon, app::MsgIcon::Information);
    }
    // Accepted values are not checked again: picking "E" after the 7 taken under "W",
    // or a focus round trip through the clamped seconds.
    platform.msgBoxes.clear();
    form.SelectOption(Field("OptLng", 1));
    EXPECT_EQ(Field("TxtWGSg", 3).text, "7");
    entry::FieldGotFocus(form, Field("TxtWGSg", 15));
    entry::FieldLostFocus(form, platform, Field("TxtWGSg", 15));
    EXPECT_EQ(Field("TxtWGSg", 15).text, "59,9999");
    EXPECT_TRUE(platform.msgBoxes.empty());
}

// How a field reads a text, whatever path it came by: each field kind with the program's
// own form, points only, a comma only, and texts that are not one number.
TEST(PlainNumberText, ReadsTheNumberTheTextShowsInEachFieldKind) {
    const std::optional<std::string> bad;
    const struct {
        const char* text;
        std::optional<std::string> degrees, seconds, height, utm;  // D, S, H, U
    } cases[] = {
        {"40", "40", "40", "40", "40"},
        {"  12,5\t", "12,5", "12,5", "12,5", "12,5"},
        {"3.5", "3,5", "3,5", "3,5", "3,5"},           // a point that groups nothing
        {"1.500", "1,500", "1,500", "1,500", "1500"},  // UTM: points group thousands
        {"4.474.000", "4474000", "4474000", "4474000", "4474000"},
        {"440721.5", "440721,5", "440721,5", "440721,5", "440721,5"},
        {"1.500,0", "1500,0", "1500,0", "1500,0", "1500,0"},  // the program's own form
        {"-600,5", "-600,5", "-600,5", "-600,5", "-600,5"},
        {"+7", "7", "7", "7", "7"},
        {",5", "0,5", "0,5", "0,5", "0,5"},
        {"", "", "", "", ""},
        // Not one number.
        {"12a", bad, bad, bad, bad},
        {"1,2,3", bad, bad, bad, bad},
        {"1,5.3", bad, bad, bad, bad},
        {"1.2.3", bad, bad, bad, bad},  // neither thousands nor one decimal point
        {"44.74.000", bad, bad, bad, bad},
        {"1.5,0", bad, bad, bad, bad},
        {"-", bad, bad, bad, bad},
        {"1e3", bad, bad, bad, bad},
        {"--5", bad, bad, bad, bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(entry::PlainNumberText('D', c.text), c.degrees);
        EXPECT_EQ(entry::PlainNumberText('M', c.text), c.degrees);
        EXPECT_EQ(entry::PlainNumberText('S', c.text), c.seconds);
        EXPECT_EQ(entry::PlainNumberText('H', c.text), c.height);
        EXPECT_EQ(entry::PlainNumberText('U', c.text), c.utm);
    }
}
