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
    EXPECT_EQ(p.LastMsgBox().text,
              "Ha ocurrido un error en frmTalpor.Form_Activate\r\nError núm. (6) : Desbordamiento\r"
              "Ha quedado registrado en el archivo /opt/talpor/Error.log");
    EXPECT_EQ(p.LastMsgBox().title, "Talpor Error");
    EXPECT_EQ(p.mousePointerResets, 2);
}

// The message names the file that took the record: the program folder's log, else the
// one in the per-user state folder, else none, and then the record goes to standard error.
TEST(LogError, FallsBackToTheStateFolderThenToStandardErrorAndSaysWhere) {
    const std::string record = "\"14/05/2026 @ 10:30:15\",\"p\",6,\"Desbordamiento\"\r\n";
    const std::string stateLog = "/home/ana/.local/state/Talpor/Error.log";
    const struct {
        bool programFolder, stateFolder;
        const char* lastLine;
        const char* stdErr;
    } cases[] = {
        {false, true, "Ha quedado registrado en el archivo /home/ana/.local/state/Talpor/Error.log",
         ""},
        {false, false, "No se ha podido registrar en ningún archivo", record.c_str()},
    };
    for (const auto& c : cases) {
        testing_support::FakePlatform p;
        if (!c.programFolder) p.unwritable.insert("/opt/talpor/Error.log");
        if (!c.stateFolder) p.unwritable.insert(stateLog);
        mEntorno::LogError(p, "p", 6, "Desbordamiento");
        EXPECT_EQ(p.files.count("/opt/talpor/Error.log"), 0u);
        EXPECT_EQ(p.files[stateLog], c.stateFolder ? record : "");
        EXPECT_EQ(p.stdErr, c.stdErr);
        EXPECT_EQ(p.LastMsgBox().text,
                  std::string("Ha ocurrido un error en p\r\nError núm. (6) : Desbordamiento\r") +
                      c.lastLine);
    }
    testing_support::FakePlatform none;  // no state folder at all
    none.stateFolder = "";
    none.unwritable.insert("/opt/talpor/Error.log");
    mEntorno::LogError(none, "p", 6, "Desbordamiento");
    EXPECT_TRUE(none.files.empty());
    EXPECT_EQ(none.stdErr, record);
}
