// A click into a coordinate field, in the real window: the click that brings the focus
// selects the whole value, as Tab does, so that what the user types replaces it; a
// click inside the field that already has the focus places the caret.
#include <QLineEdit>

#include "ShownWindow.h"

using testing_support::ShownWindow;

namespace {

// Clicks a point of the field; `x` in pixels from its left edge, -1 for its middle.
void ClickAt(QLineEdit* field, int x = -1) {
    QPoint at = x < 0 ? field->rect().center() : QPoint(x, field->height() / 2);
    QTest::mouseClick(field, Qt::LeftButton, {}, at);
    QTest::qWait(10);
}

}  // namespace

TEST(FieldClick, AClickThatBringsTheFocusSelectsTheValueAndTypingReplacesIt) {
    const struct {
        int tab;
        const char* name;
        int index;
        const char *before, *typed;  // the field's value when the click comes; what is typed
    } cases[] = {
        {0, "TxtWGSg", 6, "600,0", "650"},       // height, the case users met
        {0, "TxtWGSg", 0, "38", "40"},           // latitude degrees
        {1, "TxtUTMe", -1, "637000", "440721"},  // UTM easting
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.index));
        ShownWindow<> s;
        s.window->ChooseTab(c.tab);
        QTest::qWait(10);
        QLineEdit* field = s.Edit(c.name, c.index);
        ASSERT_FALSE(field->hasFocus());
        ASSERT_EQ(field->text(), QString::fromUtf8(c.before));

        ClickAt(field, 2);  // near the left edge: no caret is placed there
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(field->selectedText(), field->text());
        QTest::keyClicks(field, c.typed);
        EXPECT_EQ(field->text(), QString::fromUtf8(c.typed));
    }
}

TEST(FieldClick, ADragWithTheFocusingClickStillSelectsTheWholeValue) {
    ShownWindow<> s;
    QLineEdit* height = s.Edit("TxtWGSg", 6);
    // From after the text to before its first digit, along the field's upper part.
    const QPoint end(height->width() - 2, 4), start(2, 4);
    QTest::mousePress(height, Qt::LeftButton, {}, end);
    QTest::mouseMove(height, start);
    QTest::mouseRelease(height, Qt::LeftButton, {}, start);
    QTest::qWait(10);
    EXPECT_EQ(height->selectedText(), QStringLiteral("600,0"));
}

TEST(FieldClick, AClickInsideTheFocusedFieldPlacesTheCaretWhereTheMouseIs) {
    ShownWindow<> s;
    QLineEdit* height = s.Edit("TxtWGSg", 6);
    ClickAt(height);
    ASSERT_EQ(height->selectedText(), QStringLiteral("600,0"));

    ClickAt(height, 2);  // before the first digit
    EXPECT_FALSE(height->hasSelectedText());
    EXPECT_EQ(height->cursorPosition(), 0);
    QTest::keyClicks(height, "1");
    EXPECT_EQ(height->text(), QStringLiteral("1600,0"));

    ClickAt(height, height->width() - 2);  // after the last one
    EXPECT_EQ(height->cursorPosition(), height->text().size());
    QTest::keyClicks(height, "5");
    EXPECT_EQ(height->text(), QStringLiteral("1600,05"));
}

// Leaving a field by a click into another runs the check of the one left; when it is
// corrected it keeps the focus, and the click neither selects nor places a caret in the
// other.
TEST(FieldClick, AClickRefusedByTheCheckOfTheFieldLeftChangesNothingInTheOther) {
    ShownWindow<> s;
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    QLineEdit* height = s.Edit("TxtWGSg", 6);
    ClickAt(degrees);
    QTest::keyClicks(degrees, "50");
    ClickAt(height);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_TRUE(degrees->hasFocus());
    EXPECT_FALSE(height->hasSelectedText());
    ClickAt(height);  // the degrees are now in range: this click goes through
    EXPECT_TRUE(height->hasFocus());
    EXPECT_EQ(height->selectedText(), QStringLiteral("600,0"));
}
