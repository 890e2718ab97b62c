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

#include <optional>
#include <string>
#include <vector>

#include "app/Controls.h"
#include "support/FakePlatform.h"

namespace {

app::Control TextBox(std::string text, int selStart = 0, int selLength = 0) {
    app::Control c;
    c.kind = app::Kind::TextBox;
    c.id = {"Txt", -1};
    c.text = std::move(text);
    c.selStart = selStart;
    c.selLength = selLength;
    return c;
}

struct KeyCase {
    const char* mode;
    const char* text;
    int selStart;
    int selLength;
    int key;
    bool accepted;
};

}  // namespace

TEST(mText, FilterKeyAppliesTheRulesOfEachMode) {
    // "09", "0,9" and "-0,9" are checked through the fields that use them.
    const KeyCase cases[] = {
        {"-09", "", 0, 0, '-', true},
        {"-09", "12", 0, 0, '-', true},
        {"-09", "12", 1, 0, '-', false},   // not at the start
        {"-09", "-12", 0, 0, '-', false},  // already has one
        {"-09", "-12", 0, 3, '-', true},   // the whole text selected: typing replaces it
        {"-09", "12", 2, 0, ',', false},
        {"0/9", "1/2", 3, 0, '/', true},
        {"0/9", "1/2", 3, 0, '3', true},
        {"0/9", "1/2", 3, 0, ',', false},
        {"", "abc", 3, 0, 'x', true},  // unknown modes accept every key
        {"xyz", "abc", 3, 0, ',', true},
        {"0,9", "1,ñ", 0, 3, ',', true},  // three characters, four bytes: all selected
        {"0,9", "1,ñ", 0, 2, ',', false},
    };
    for (const KeyCase& k : cases) {
        app::Control field = TextBox(k.text, k.selStart, k.selLength);
        int key = k.key;
        FilterKey(field, key, k.mode);
        EXPECT_EQ(key, k.accepted ? k.key : 0)
            << "mode \"" << k.mode << "\" text \"" << k.text << "\" key '" << static_cast<char>(k.key) << "'";
    }
}

TEST(mText, FilterKeyAlwaysAcceptsBackspace) {
    for (const char* mode : {"09", "0,9", "-09", "-0,9", "0/9", "other"}) {
        for (int selLength : {0, 5}) {
            app::Control field = TextBox("-1,25", 0, selLength);
            int key = kBackspace;
            FilterKey(field, key, mode);
            EXPECT_EQ(key, kBackspace) << mode << " selLength " << selLength;
        }
    }
}

TEST(mText, SelectFieldTextReformatsNumbersWithoutThousandPointsAndSelectsAll) {
    struct Case {
        const char* text;
        const char* format;
        const char* shown;
    };
    const Case cases[] = {
        {"636.800,00", "#,##0.00", "636800,00"},
        {"600,0", "#,##0.0", "600,0"},
        {"38", "#,##0", "38"},
        {"-0,04", "#,##0.0", "0,0"},
        {"1.234,5", "#,##0.0000", "1234,5000"},
        {" 12 ", "#,##0", "12"},
        {"abc", "#,##0.00", "abc"},
        {"12,5x", "#,##0.00", "12,5x"},
        {"1.2.x", "#,##0.00", "12x"},  // not a number: kept, only the points go
        {"", "#,##0.00", ""},
        {"1.234,5", "", "1.234,5"},  // no format: untouched
    };
    for (const Case& c : cases) {
        app::Control field = TextBox(c.text, 3, 1);
        SelectFieldText(field, c.format);
        EXPECT_EQ(field.text, c.shown) << c.text << " with " << c.format;
        EXPECT_EQ(field.selStart, 0);
        EXPECT_EQ(field.selLength, CharLength(c.shown));
    }
}

TEST(mText, IsRegionalNumberUsesCommaDecimalsAndPointThousands) {
    for (const char* yes : {"636.800,00", "-500,0", ",5", "+3", " 12 ", "1,5E3", "1.2.3", "0"})
        EXPECT_TRUE(IsRegionalNumber(yes)) << yes;
    for (const char* no : {"", " ", "abc", "1,2,3", "5-", "-", ",", "1E", "1E999", ".5", "12x"})
        EXPECT_FALSE(IsRegionalNumber(no)) << no;
}

TEST(mText, ValidateFieldWithoutFormatWritesLimitsAsPlainNumbers) {
    app::FormModel form;
    testing_support::FakePlatform platform;
    app::Control field = TextBox("45");
    ValidateField(form, platform, field, "N", "Grados", 44, 35, std::nullopt, "");
    ASSERT_EQ(platform.msgBoxes.size(), 1u);
    EXPECT_EQ(platform.LastMsgBox().text, " 35 < Grados < 44");
    EXPECT_EQ(field.text, "44");
    EXPECT_EQ(form.focusRequest, &field);

    field.text = "-7";
    ValidateField(form, platform, field, "N", "Segundos", 59.999999, -0.5, std::nullopt, "");
    EXPECT_EQ(platform.LastMsgBox().text, "-0.5 < Segundos < 59.999999");
    EXPECT_EQ(field.text, "-0,5");

    field.text = "1.234,5";  // in range and no format: left as typed
    form.focusRequest = nullptr;
    ValidateField(form, platform, field, "n,", "Altura", 3000, -500, std::nullopt, "");
    EXPECT_EQ(field.text, "1.234,5");
    EXPECT_EQ(form.focusRequest, nullptr);
    EXPECT_EQ(platform.msgBoxes.size(), 2u);
}

TEST(mText, ValidateFieldKindSLimitsTheLengthInCharacters) {
    app::FormModel form;
    testing_support::FakePlatform platform;
    app::Control field = TextBox("abcdefg");
    ValidateField(form, platform, field, "S", "Nombre", 5, 0, std::nullopt, "");
    ASSERT_EQ(platform.msgBoxes.size(), 1u);
    EXPECT_EQ(platform.LastMsgBox().text, "Nombre <= 5 caracteres");
    EXPECT_EQ(platform.LastMsgBox().title, "Limitaciones");
    EXPECT_EQ(platform.LastMsgBox().icon, app::MsgIcon::Information);
    EXPECT_EQ(field.text, "abcde");
    EXPECT_EQ(form.focusRequest, &field);

    field.text = "ññññññ";  // cut on a character boundary
    ValidateField(form, platform, field, "s", "Nombre", 5, 0, std::nullopt, "");
    EXPECT_EQ(field.text, "ñññññ");

    form.focusRequest = nullptr;
    field.text = "abc";
    ValidateField(form, platform, field, "S", "Nombre", 5, 0, std::nullopt, "");
    field.text = "";
    ValidateField(form, platform, field, "S", "Nombre", 5, 0, std::nullopt, "");
    EXPECT_EQ(field.text, "");
    EXPECT_EQ(form.focusRequest, nullptr);
    EXPECT_EQ(platform.msgBoxes.size(), 2u);

    ValidateField(form, platform, field, "S", "Nombre", 5, 0, std::string("sin"), "");
    EXPECT_EQ(field.text, "sin");
    EXPECT_EQ(form.focusRequest, &field);
    EXPECT_EQ(platform.msgBoxes.size(), 2u);
}

TEST(mText, ValidateFieldIgnoresOtherKinds) {
    app::FormModel form;
    testing_support::FakePlatform platform;
    app::Control field = TextBox("999");
    for (const char* kind : {"", "X", "N,,", "D"}) {
        ValidateField(form, platform, field, kind, "Grados", 44, 35, std::string("0"), "#,##0");
        EXPECT_EQ(field.text, "999") << kind;
    }
    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(form.focusRequest, nullptr);
}
