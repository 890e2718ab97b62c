#include "entry/Fields.h"

#include <gtest/gtest.h>

#include <string>

#include "app/FrmTalporControls.h"
#include "entry/mText.h"
#include "support/FakePlatform.h"

namespace {

using testing_support::FakePlatform;

class Fields : public ::testing::Test {
protected:
    Fields() { app::BuildFrmTalporControls(form); }

    app::Control& Field(const char* name, int index = -1) { return form.Get(name, index); }

    // Types one character the way the window passes it on; returns what enters the field.
    int Type(app::Control& field, int key) {
        entry::FieldKeyPress(form, field, key);
        return key;
    }

    // Leaves the field with `text` in it.
    void Leave(app::Control& field, std::string text) {
        field.text = std::move(text);
        entry::FieldLostFocus(form, platform, field);
    }

    app::FormModel form;
    FakePlatform platform;
};

}  // namespace

TEST_F(Fields, EveryTxtWGSgIndexHasTheClassOfItsMeaning) {
    // Classes from the index table of the main window's coordinate fields.
    const std::string classes = "DMSDMSHDHDMSDMMSDMS" "------" "HHSSMDSMD";
    for (int i = 0; i < static_cast<int>(classes.size()); ++i) {
        char expected = classes[static_cast<std::size_t>(i)];
        app::Control* field = form.Find("TxtWGSg", i);
        if (expected == '-') {
            EXPECT_EQ(field, nullptr) << i;
            continue;
        }
        ASSERT_NE(field, nullptr) << i;
        ASSERT_TRUE(entry::IsCoordinateField(*field)) << i;
        entry::FieldClass c = *entry::ClassOf(*field);
        EXPECT_EQ(c.name, expected) << i;
        EXPECT_STREQ(c.focusPattern, expected == 'S'   ? "#,##0.0000"
                                     : expected == 'H' ? "#,##0.0"
                                                       : "#,##0");
        EXPECT_STREQ(c.keyMode, expected == 'S' ? "0,9" : expected == 'H' ? "-0,9" : "09");
        EXPECT_EQ(c.pointBecomesComma, expected == 'S' || expected == 'H');
    }
    for (const char* utm : {"TxtUTMx", "TxtUTMy", "TxtUTMe", "TxtUTMn"})
        EXPECT_TRUE(entry::IsCoordinateField(Field(utm))) << utm;
    for (const char* other : {"LblDist", "Command15", "CmbHuso"})
        EXPECT_FALSE(entry::IsCoordinateField(Field(other))) << other;
}

TEST_F(Fields, RangeChecksClampWithTheLimitationsMessage) {
    struct Case {
        const char* name;
        int index;
        const char* typed;
        const char* message;  // "" when the value is accepted
        const char* left;
    };
    // Limits and formats from the range table of the coordinate fields.
    const Case cases[] = {
        {"TxtWGSg", 0, "45", "35 < Grados sexagesimales <44", "44"},
        {"TxtWGSg", 7, "34", "35 < Grados sexagesimales <44", "35"},
        {"TxtWGSg", 0, "44", "", "44"},  // limits are inclusive
        {"TxtWGSg", 9, "91", "0 < Grados sexagesimales <90", "90"},
        {"TxtWGSg", 33, "90", "", "90"},
        {"TxtWGSg", 12, "181", "0 < Grados sexagesimales <180", "180"},
        {"TxtWGSg", 30, "1.234", "0 < Grados sexagesimales <180", "180"},
        {"TxtWGSg", 1, "59", "", "59"},
        {"TxtWGSg", 32, "60", "0 < Minutos <59", "59"},
        {"TxtWGSg", 6, "-600", "-500,0 < Altura sobre el elipsoide  <3.000,0", "-500,0"},
        {"TxtWGSg", 8, "3000,01", "-500,0 < Altura sobre el elipsoide  <3.000,0", "3.000,0"},
        {"TxtWGSg", 26, "12,34", "", "12,3"},
        {"TxtWGSg", 25, "-0,04", "", "0,0"},
        {"TxtWGSg", 5, "", "", "0,0000"},  // empty reads 0
        {"TxtWGSg", 18, "12,5", "", "12,5000"},
        {"TxtUTMx", -1, "636800,456", "", "636.800,46"},
        {"TxtUTMe", -1, "100", "186.062,00 < Coord. Este <813.939,00", "186.062,00"},
        {"TxtUTMy", -1, "7000000", "2.211.509,00 < Coord. Norte <6.651.567,00", "6.651.567,00"},
        {"TxtUTMn", -1, "4234000", "", "4.234.000,00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.index) + ") = \"" + c.typed + "\"");
        platform.msgBoxes.clear();
        form.focusRequest = nullptr;
        app::Control& field = Field(c.name, c.index);
        field.backColor = app::kLightYellow;
        Leave(field, c.typed);
        EXPECT_EQ(field.text, c.left);
        EXPECT_EQ(field.backColor, app::kWhite);
        if (*c.message) {
            ASSERT_EQ(platform.msgBoxes.size(), 1u);
            EXPECT_EQ(platform.LastMsgBox().text, c.message);
            EXPECT_EQ(platform.LastMsgBox().title, "Limitaciones");
            EXPECT_EQ(platform.LastMsgBox().icon, app::MsgIcon::Information);
            EXPECT_EQ(platform.LastMsgBox().buttons, app::MsgButtons::OK);
            EXPECT_EQ(form.focusRequest, &field);
        } else {
            EXPECT_TRUE(platform.msgBoxes.empty());
            EXPECT_EQ(form.focusRequest, nullptr);
        }
    }
}

TEST_F(Fields, LongitudeDegreesLimitDependsOnTheHemisphereAtTheMomentOfTheCheck) {
    struct Case {
        int field;
        int option;  // the W or E button selected before leaving the field
        const char* message;
        const char* left;
    };
    const Case cases[] = {
        {3, 1, "0 < Grados sexagesimales <5", "5"},  // E
        {3, 0, "", "7"},                             // W
        {16, 5, "0 < Grados sexagesimales <5", "5"},
        {16, 4, "", "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("TxtWGSg(" + std::to_string(c.field) + ") with OptLng(" + std::to_string(c.option) + ")");
        platform.msgBoxes.clear();
        form.SelectOption(Field("OptLng", c.option));
        Leave(Field("TxtWGSg", c.field), "7");
        EXPECT_EQ(Field("TxtWGSg", c.field).text, c.left);
        if (*c.message) {
            ASSERT_EQ(platform.msgBoxes.size(), 1u);
            EXPECT_EQ(platform.LastMsgBox().text, c.message);
        } else {
            EXPECT_TRUE(platform.msgBoxes.empty());
        }
    }
    // Switching to E later does not re-check the 7 accepted under W.
    form.SelectOption(Field("OptLng", 1));
    EXPECT_EQ(Field("TxtWGSg", 3).text, "7");
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(Fields, UtmFieldShowsItsNumberWithoutPointsOnFocusAndTakesOneComma) {
    app::Control& x = Field("TxtUTMx");
    x.text = "636.800,00";
    entry::FieldGotFocus(form, x);
    EXPECT_EQ(x.text, "636800,00");
    EXPECT_EQ(x.selStart, 0);
    EXPECT_EQ(x.selLength, 9);
    EXPECT_EQ(x.backColor, app::kLightYellow);

    EXPECT_EQ(Type(x, '.'), ',');  // the whole text is selected: the comma replaces it
    x.text = "636800";
    x.selStart = 6;
    x.selLength = 0;
    EXPECT_EQ(Type(x, '.'), ',');
    x.text = "636800,";
    x.selStart = 7;
    EXPECT_EQ(Type(x, ','), 0);
    EXPECT_EQ(Type(x, '.'), 0);
    EXPECT_EQ(Type(x, '-'), 0);
    EXPECT_EQ(Type(x, '5'), '5');

    entry::FieldLostFocus(form, platform, x);
    EXPECT_EQ(x.text, "636.800,00");
    EXPECT_EQ(x.backColor, app::kWhite);
}

TEST_F(Fields, KeysByClass) {
    struct Case {
        int index;  // TxtWGSg(index)
        const char* text;
        int selStart;
        int selLength;
        int key;
        int enters;  // 0 when refused
    };
    const Case cases[] = {
        {1, "5", 1, 0, ',', 0},  // minutes: digits only
        {1, "5", 1, 0, '-', 0},
        {1, "5", 1, 0, '.', 0},
        {0, "3", 1, 0, '8', '8'},
        {2, "1", 1, 0, '.', ','},  // seconds
        {2, "1,5", 3, 0, '.', 0},
        {2, "1", 0, 0, '-', 0},
        {6, "600", 0, 0, '-', '-'},  // height: minus only in front
        {6, "600", 1, 0, '-', 0},
        {6, "600", 3, 0, '-', 0},
        {6, "", 0, 0, '-', '-'},
        {6, "-600", 0, 0, '-', 0},
        {6, "-600", 0, 4, '-', '-'},
        {6, "600", 3, 0, '.', ','},
        {8, "600,0", 5, 0, '.', 0},
        {25, "600,0", 0, 5, ',', ','},
    };
    for (const Case& c : cases) {
        app::Control& field = Field("TxtWGSg", c.index);
        field.text = c.text;
        field.selStart = c.selStart;
        field.selLength = c.selLength;
        EXPECT_EQ(Type(field, c.key), c.enters)
            << "TxtWGSg(" << c.index << ") \"" << c.text << "\" key '" << static_cast<char>(c.key) << "'";
    }
    for (int i : {0, 1, 2, 6}) {
        app::Control& field = Field("TxtWGSg", i);
        entry::FieldGotFocus(form, field);  // fully selected
        EXPECT_EQ(Type(field, mText::kBackspace), mText::kBackspace) << i;
    }
}

// The largest seconds value, 59.999999, would show as "60,0000" with four decimals,
// and the field would then fail its own check the next time it is left. The field
// shows the last four-decimal value inside the range instead.
TEST_F(Fields, SecondsNeverShowSixty) {
    app::Control& s = Field("TxtWGSg", 15);
    Leave(s, "75");
    ASSERT_EQ(platform.msgBoxes.size(), 1u);
    EXPECT_EQ(platform.LastMsgBox().text, "0,0000 < Segundos <60,0000");
    EXPECT_EQ(s.text, "59,9999");

    Leave(s, "59,99995");  // in range, but four decimals would round it to 60
    EXPECT_EQ(s.text, "59,9999");
    Leave(s, "59,999949");
    EXPECT_EQ(s.text, "59,9999");
    Leave(s, "59,99994");
    EXPECT_EQ(s.text, "59,9999");
    EXPECT_EQ(platform.msgBoxes.size(), 1u);

    entry::FieldGotFocus(form, s);
    entry::FieldLostFocus(form, platform, s);
    EXPECT_EQ(s.text, "59,9999");
    EXPECT_EQ(platform.msgBoxes.size(), 1u);
}

// Pasted texts are not filtered and have no length limit: whatever the length, the
// leading number is read, checked and written back with the field's format.
TEST_F(Fields, PastedTextsOfAnyLengthAreReadByTheirLeadingNumber) {
    app::Control& deg = Field("TxtWGSg", 0);
    Leave(deg, std::string(300, '9'));
    ASSERT_EQ(platform.msgBoxes.size(), 1u);
    EXPECT_EQ(deg.text, "44");

    Leave(deg, "40" + std::string(300, 'x'));
    EXPECT_EQ(deg.text, "40");
    Leave(deg, std::string(300, 'x'));  // no number: 0, below the limit
    EXPECT_EQ(deg.text, "35");
    EXPECT_EQ(platform.msgBoxes.size(), 2u);

    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "ñ";
    deg.text = longText;
    entry::FieldGotFocus(form, deg);  // not a number: kept, fully selected
    EXPECT_EQ(deg.text, longText);
    EXPECT_EQ(deg.selLength, 300);
}

TEST_F(Fields, NumbersTooLargeForADoubleAreClampedToTheNearerLimit) {
    app::Control& east = Field("TxtUTMx");
    Leave(east, "9E999");
    EXPECT_EQ(east.text, "813.939,00");
    app::Control& height = Field("TxtWGSg", 6);
    Leave(height, "-9E999");
    EXPECT_EQ(height.text, "-500,0");
    EXPECT_EQ(platform.msgBoxes.size(), 2u);

    height.text = "1E999";  // not a number to reformat on focus either
    entry::FieldGotFocus(form, height);
    EXPECT_EQ(height.text, "1E999");
}

TEST_F(Fields, OtherControlsAreLeftAlone) {
    app::Control& label = Field("LblDist");
    const std::string caption = label.text;
    int key = '.';
    entry::FieldGotFocus(form, label);
    entry::FieldKeyPress(form, label, key);
    entry::FieldLostFocus(form, platform, label);
    EXPECT_EQ(label.text, caption);
    EXPECT_EQ(key, '.');
    EXPECT_TRUE(platform.msgBoxes.empty());
}
