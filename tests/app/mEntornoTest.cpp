#include "app/mEntorno.h"

#include <gtest/gtest.h>

#include <string>

#include "support/FakePlatform.h"

TEST(FolderWithSeparator, AppendsOneSlashUnlessTheFolderAlreadyEndsInASeparator) {
    EXPECT_EQ(mEntorno::FolderWithSeparator("/opt/talpor  "), "/opt/talpor/");
    EXPECT_EQ(mEntorno::FolderWithSeparator("/"), "/");
    EXPECT_EQ(mEntorno::FolderWithSeparator("C:\\"), "C:\\");
}

// A double quote inside a text is written twice, as comma-separated readers expect.
TEST(LogRecord, QuotesTextsAndDoublesQuotesInside) {
    EXPECT_EQ(mEntorno::LogRecord("t", "p", -1, "el campo \"x\", vacío"),
              "\"t\",\"p\",-1,\"el campo \"\"x\"\", vacío\"\r\n");
}

TEST(LogError, AppendsOneLinePerErrorKeepingEarlierOnesAndNeverFails) {
    testing_support::FakePlatform p;
    mEntorno::LogError(p, "Talpor Form_load", 11, "División por cero");
    p.now = {2026, 5, 15, 9, 5, 0};
    mEntorno::LogError(p, "frmTalpor.Form_Activate", 6, "Desbordamiento");
    const std::string log =
        "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",11,\"División por cero\"\r\n"
        "\"15/05/2026 @ 09:05:00\",\"frmTalpor.Form_Activate\",6,\"Desbordamiento\"\r\n";
    EXPECT_EQ(p.files["/opt/talpor/Error.log"], log);

    p.failAppend = true;  // an unwritable log loses the record silently, after the message
    mEntorno::LogError(p, "Talpor Form_load", 6, "Desbordamiento");
    EXPECT_EQ(p.files["/opt/talpor/Error.log"], log);
    EXPECT_EQ(p.msgBoxes.size(), 3u);
    EXPECT_EQ(p.mousePointerResets, 3);
}
