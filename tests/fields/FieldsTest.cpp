// The coordinate fields of the main window: focus, keys and range checks.
#include "fields/Fields.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "fields/mText.h"
#include "form/FrmTalporControls.h"
#include "support/FakePlatform.h"

namespace {

struct Fields : ::testing::Test {
    Fields() { form::BuildFrmTalporControls(form); }
    form::Control& Set(const char* name, int index, std::string text, int selStart = 0,
                      int selLength = 0) {
        form::Control& field = form.Get(name, index);
        field.text = std::move(text);
        field.selStart = selStart;
        field.selLength = selLength;
        return field;
    }
    form::FormModel form;
    testing_support::FakePlatform platform;
};

}  // namespace

// (The whole value selected and the field's colour: WindowFields and FieldClick in qt_tests.)
TEST_F(Fields, FocusShowsTheNumberWithoutThousandPoints) {
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
        // Not the field's number: kept as written, for leaving the field to report it.
        {"TxtWGSg", 0, "-95287.080.,871", "-95287.080.,871"},
    };
    for (const auto& c : cases) {
        form::Control& field = Set(c.name, c.index, c.text);
        fields::FieldGotFocus(form, field);
        EXPECT_EQ(field.text, c.shown) << c.text;
    }
}

TEST_F(Fields, KeysByClassAndMode) {
    struct {
        const char* name;
        int index;
        const char* text;
        int selStart, selLength, key;
        int enters;  // 0 when refused
    } const cases[] = {
        {"TxtUTMx", -1, "636800", 0, 6, '.', '.'},  // a point groups thousands in UTM fields
        {"TxtUTMx", -1, "4.474", 5, 0, '.', '.'},
        {"TxtUTMx", -1, "636800,", 7, 0, '.', 0},  // but never after the decimal comma
        {"TxtUTMx", -1, "636800,", 7, 0, '5', '5'},
        {"TxtWGSg", 1, "5", 1, 0, ',', 0},    // minutes: digits only
        {"TxtWGSg", 2, "1", 1, 0, '.', ','},  // seconds
        {"TxtWGSg", 2, "1", 0, 0, '-', 0},
        {"TxtWGSg", 6, "600", 0, 0, '-', '-'},  // height: minus only in front
        {"TxtWGSg", 6, "600", 1, 0, '-', 0},
        {"TxtWGSg", 6, "-600", 0, 0, '-', 0},
        {"TxtWGSg", 6, "-600", 0, 4, '-', '-'},  // the whole text selected: typing replaces it
        {"TxtWGSg", 6, "600,0", 0, 5, fields::kBackspace, fields::kBackspace},
        {"TxtWGSg", 2, "1,ñ", 0, 3, ',', ','},  // three characters, four bytes: all selected
        {"TxtWGSg", 2, "1,ñ", 0, 2, ',', 0},
    };
    for (const auto& c : cases) {
        int key = c.key;
        fields::FieldKeyPress(form, Set(c.name, c.index, c.text, c.selStart, c.selLength), key);
        EXPECT_EQ(key, c.enters) << c.name << "(" << c.index << ") \"" << c.text << "\" " << c.key;
    }
}

TEST_F(Fields, RangeChecksOnLeavingOrOnAHemisphereClampWithTheLimitationsMessage) {
    const std::string lat = "35 < Grados sexagesimales <44", lon = "0 < Grados sexagesimales <5",
                      height = "-500,0 < Altura sobre el elipsoide  <4.000,0";
    struct {
        const char* name;
        int index;
        int lng;  // the OptLng chosen instead of leaving the field (it checks it), -1 for none
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
        {"TxtUTMx", -1, -1, "44.07.21", "186.062,00 < Coord. Este <813.939,00", "44.07.21"},
        {"TxtUTMx", -1, -1, "636800,456", "", "636.800,46"},
        {"TxtUTMe", -1, -1, "100", "186.062,00 < Coord. Este <813.939,00", "186.062,00"},
        {"TxtUTMy", -1, -1, "7000000", "2.211.509,00 < Coord. Norte <6.651.567,00", "6.651.567,00"},
        {"TxtUTMn", -1, -1, "4234000", "", "4.234.000,00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + std::to_string(c.index) + " " + c.typed.substr(0, 12));
        platform.msgBoxes.clear();
        form.focusRequest = nullptr;
        form::Control& field = Set(c.name, c.index, c.typed);
        field.backColor = form::kLightYellow;
        if (c.lng < 0) fields::FieldLostFocus(form, platform, field);
        if (c.lng >= 0 && form.SelectOption(form.Get("OptLng", c.lng)))
            fields::HemisphereClick(form, platform, form.Get("OptLng", c.lng));
        EXPECT_EQ(field.text, c.left);
        EXPECT_EQ(field.backColor, form::kWhite);
        EXPECT_EQ(form.focusRequest, c.message.empty() ? nullptr : &field);
        ASSERT_EQ(platform.msgBoxes.size(), c.message.empty() ? 0u : 1u);
        if (c.message.empty()) continue;
        EXPECT_EQ(platform.LastMsgBox().text, c.message);
        EXPECT_EQ(platform.LastMsgBox().title, "Limitaciones");
    }
}
