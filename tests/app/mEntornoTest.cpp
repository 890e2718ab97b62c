#include "app/mEntorno.h"

#include <gtest/gtest.h>

#include "support/FakePlatform.h"

using app::LocaleItem;
using app::MsgResult;
using testing_support::FakePlatform;

namespace {

const char* kExpectedQuestion =
    "Talpor funciona adecuadamente si su configuración regional es Español(España)\r\n"
    "o al menos tiene seleccionado como separador decimal el signo de la coma (,)\r\n"
    "y como separador de miles el punto (.)\r\n\r\n"
    "Su configuración regional actual es: English (United States)\r\n\r\n"
    "¿Desea modificar ahora su configuración regional?";

void SetLocale(FakePlatform& p, std::string thousands, std::string decimal, std::string language) {
    p.locale = {{LocaleItem::MonThousandSep, thousands},
                {LocaleItem::DecimalSep, decimal},
                {LocaleItem::Language, language}};
}

}  // namespace

TEST(RegionalSettingsRule, PassesOnlyWithCommaDecimalAndPointCurrencyThousands) {
    struct Case {
        const char* thousands;
        const char* decimal;
        const char* language;
        bool passes;
    } cases[] = {
        {".", ",", "español (España)", true},
        {".", ",", "Deutsch (Deutschland)", true},  // the language plays no part
        {",", ".", "English (United States)", false},
        {" ", ",", "français (France)", false},       // currency thousands must be "."
        {".", ", ", "español (España)", false},       // exact comparison
        {"", "", "", false},                          // unreadable settings
    };
    for (const Case& c : cases) {
        FakePlatform p;
        SetLocale(p, c.thousands, c.decimal, c.language);
        EXPECT_EQ(mEntorno::RegionalSettingsRule(p), c.passes) << c.language;
        EXPECT_EQ(p.msgBoxes.size(), c.passes ? 0u : 1u) << c.language;
        EXPECT_TRUE(p.startedProcesses.empty());
    }
}

TEST(RegionalSettingsRule, FailingAsksWithNoAsDefaultAndNoOpensNothing) {
    FakePlatform p;
    SetLocale(p, ",", ".", "English (United States)");
    p.answers = {MsgResult::No};
    EXPECT_FALSE(mEntorno::RegionalSettingsRule(p));
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_EQ(p.LastMsgBox().text, kExpectedQuestion);
    EXPECT_EQ(p.LastMsgBox().title,
              "Error: Incompatibilidad con la configuración regional de Windows");
    EXPECT_EQ(p.LastMsgBox().icon, app::MsgIcon::Critical);
    EXPECT_EQ(p.LastMsgBox().buttons, app::MsgButtons::YesNo);
    EXPECT_EQ(p.LastMsgBox().defaultButton, MsgResult::No);
    EXPECT_TRUE(p.startedProcesses.empty());
}

TEST(RegionalSettingsRule, YesOpensThePanelWhenOneIsInstalled) {
    FakePlatform p;
    SetLocale(p, ",", ".", "English (United States)");
    p.answers = {MsgResult::Yes};
    EXPECT_FALSE(mEntorno::RegionalSettingsRule(p));
    EXPECT_EQ(p.startedProcesses, std::vector<std::string>{"regional-settings-panel"});

    FakePlatform none;
    SetLocale(none, ",", ".", "English (United States)");
    none.regionalSettingsCommand = "";
    none.answers = {MsgResult::Yes};
    EXPECT_FALSE(mEntorno::RegionalSettingsRule(none));
    EXPECT_TRUE(none.startedProcesses.empty());
}

TEST(ScreenResolutionOK, ExactMinimumPassesAndShortHeightFails) {
    struct Case {
        int width, height;
        bool ok;
    } cases[] = {{800, 600, true}, {1024, 576, false}, {799, 600, false}, {1920, 1080, true}};
    for (const Case& c : cases) {
        FakePlatform p;
        p.screen = {c.width, c.height};
        EXPECT_EQ(mEntorno::ScreenResolutionOK(p, 800, 600), c.ok) << c.width << "x" << c.height;
    }
}

TEST(FolderWithSeparator, AppendsOneSlashUnlessTheFolderAlreadyEndsInASeparator) {
    EXPECT_EQ(mEntorno::FolderWithSeparator("/opt/talpor"), "/opt/talpor/");
    EXPECT_EQ(mEntorno::FolderWithSeparator("/opt/talpor  "), "/opt/talpor/");
    EXPECT_EQ(mEntorno::FolderWithSeparator("/"), "/");
    EXPECT_EQ(mEntorno::FolderWithSeparator("C:\\"), "C:\\");
}

TEST(LogRecord, QuotesTextsAndDoublesQuotesInside) {
    EXPECT_EQ(mEntorno::LogRecord("14/05/2026 @ 10:30:15", "Talpor Form_load", 6, "Desbordamiento"),
              "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",6,\"Desbordamiento\"\r\n");
    EXPECT_EQ(mEntorno::LogRecord("t", "p", -1, "el campo \"x\", vacío"),
              "\"t\",\"p\",-1,\"el campo \"\"x\"\", vacío\"\r\n");
}

TEST(LogError, ShowsTheMessageThenAppendsOneLinePerErrorKeepingEarlierOnes) {
    FakePlatform p;
    mEntorno::LogError(p, "Talpor Form_load", 11, "División por cero");
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_EQ(p.LastMsgBox().text,
              "Ha ocurrido un error en Talpor Form_load\r\nError núm. (11) : División por cero\r"
              "Ha quedado registrado en el archivo /opt/talpor/Error.log");
    EXPECT_EQ(p.LastMsgBox().title, "Talpor Error");
    EXPECT_EQ(p.LastMsgBox().icon, app::MsgIcon::Critical);
    EXPECT_EQ(p.mousePointerResets, 1);

    p.now = {2026, 5, 15, 9, 5, 0};
    mEntorno::LogError(p, "frmTalpor.Form_Activate", 6, "Desbordamiento");
    EXPECT_EQ(p.files["/opt/talpor/Error.log"],
              "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",11,\"División por cero\"\r\n"
              "\"15/05/2026 @ 09:05:00\",\"frmTalpor.Form_Activate\",6,\"Desbordamiento\"\r\n");
}

TEST(LogError, AnUnwritableLogLosesTheRecordSilently) {
    FakePlatform p;
    p.failAppend = true;
    mEntorno::LogError(p, "Talpor Form_load", 6, "Desbordamiento");
    EXPECT_EQ(p.msgBoxes.size(), 1u);  // the message was shown before the write failed
    EXPECT_TRUE(p.files.empty());
    EXPECT_EQ(p.mousePointerResets, 1);
}
