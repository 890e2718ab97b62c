#include "qt/QtPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include "ShownWindow.h"
#include "num/RuntimeError.h"

using talpor_qt::QtPlatform;

TEST(QtPlatformLocale, ReadsSeparatorsFromTheEnvironmentThroughQtsOwnData) {
    struct Case {
        const char *lcAll, *lang, *lcNumeric, *lcMonetary, *decimal, *thousands, *language;
    } cases[] = {
        // Only C.UTF-8 may be generated on the machine; Qt's locale data still knows Spanish.
        // The language named is the numeric locale's, whose separator the rule checks.
        {nullptr, "es_ES.UTF-8", nullptr, nullptr, ",", ".", "español de España"},
        {nullptr, "en_US.UTF-8", nullptr, nullptr, ".", ",", "American English (United States)"},
        {nullptr, "es_ES.UTF-8", "C", nullptr, ".", ".", "C"},
        {nullptr, "en_GB.UTF-8", "es_ES.UTF-8", "de_DE.UTF-8", ",", ".", "español de España"},
        {"de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "en_US.UTF-8", ",", ".",
         "Deutsch (Deutschland)"},
        {nullptr, nullptr, nullptr, nullptr, ".", ",", "C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang ? c.lang : "(no LANG)");
        testing_support::EnvGuard env;
        for (auto [name, value] : {std::pair{"LC_ALL", c.lcAll},
                                   {"LANG", c.lang},
                                   {"LC_NUMERIC", c.lcNumeric},
                                   {"LC_MONETARY", c.lcMonetary}})
            env.Set(name, value);
        QtPlatform p(QDir::tempPath() + "/unused.lock");
        EXPECT_EQ(p.Locale(app::LocaleItem::DecimalSep), c.decimal);
        EXPECT_EQ(p.Locale(app::LocaleItem::MonThousandSep), c.thousands);
        EXPECT_EQ(p.Locale(app::LocaleItem::Language), c.language);
    }
}

TEST(QtPlatformInstance, RunningProgramStoresItsFolderHoldsTheLockAndOnceKilledDoesNotLockUsOut) {
    testing_support::QtApp();
    QTemporaryDir dir;  // the program's runtime and settings folder (private, as Qt wants)
    QString lock = dir.path() + "/talpor.lock", conf = dir.path() + "/Talpor/Talpor.conf";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) env.insert(name, dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LANG", "es_ES.UTF-8");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) env.remove(name);
    QProcess talpor;
    talpor.setProcessEnvironment(env);
    talpor.start(QStringLiteral(TALPOR_EXE), {});
    // The window is up once the program has written its settings entry.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(conf); }, 30000));
    QString folder = QFileInfo(QStringLiteral(TALPOR_EXE)).canonicalPath() + "/";
    EXPECT_EQ(QSettings(conf, QSettings::IniFormat).value("Setting/AppPath").toString(), folder);
    EXPECT_TRUE(QtPlatform(lock).PreviousInstance());

    ::kill(static_cast<pid_t>(talpor.processId()), SIGKILL);
    ASSERT_TRUE(talpor.waitForFinished(10000));
    EXPECT_TRUE(QFile::exists(lock));  // left behind by the crash
    auto next = std::make_unique<QtPlatform>(lock);
    EXPECT_FALSE(next->PreviousInstance());
    EXPECT_TRUE(QtPlatform(lock).PreviousInstance());
    next.reset();  // an ordinary end frees the lock
    EXPECT_FALSE(QtPlatform(lock).PreviousInstance());
}

// Only a lock held by a running instance refuses the start. Any other lock file is taken
// over; where no lock can be used, the program starts without the check and says why.
TEST(QtPlatformInstance, OnlyARunningInstancesLockRefusesTheStart) {
    enum class Left { EmptyFile, Garbage, UnreadableGarbage, Folder, EmptyFileBeingWritten };
    const struct {
        Left left;
        bool refused;     // the start is refused: another instance holds the lock
        bool taken;       // the lock is ours afterwards
        const char* why;  // what standard error says ("" nothing)
    } cases[] = {
        {Left::EmptyFile, false, true, ""},
        {Left::Garbage, false, true, ""},
        {Left::UnreadableGarbage, false, true, ""},
        {Left::Folder, false, false, "hay una carpeta con su nombre"},
        // A starting instance holds its file locked from the moment it creates it.
        {Left::EmptyFileBeingWritten, true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.left));
        QTemporaryDir dir;
        const QString lock = dir.path() + "/talpor.lock";
        if (c.left == Left::Folder) {
            ASSERT_TRUE(QDir().mkpath(lock));
        } else {
            QFile f(lock);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            if (c.left == Left::Garbage || c.left == Left::UnreadableGarbage)
                f.write(QByteArray("\x01\xff") + "basura");
            f.close();
            if (c.left == Left::UnreadableGarbage) f.setPermissions({});
        }
        int holder = -1;
        if (c.left == Left::EmptyFileBeingWritten) {
            holder = ::open(QFile::encodeName(lock).constData(), O_RDONLY);
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        }

        testing::internal::CaptureStderr();
        auto first = std::make_unique<QtPlatform>(lock);
        EXPECT_EQ(first->PreviousInstance(), c.refused);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(*c.why == 0 ? said.empty() : said.find(c.why) != std::string::npos) << said;
        EXPECT_TRUE(!c.taken || QtPlatform(lock).PreviousInstance());  // a second start
        if (holder >= 0) ::close(holder);
    }
}

TEST(QtPlatformLog, AppendsToTheErrorLogKeepingEarlierLines) {
    QTemporaryDir dir;
    QtPlatform p(dir.path() + "/talpor.lock");
    std::string log = (dir.path() + "/Error.log").toStdString();
    EXPECT_TRUE(p.AppendToFile(log, "\"a\",1\r\n"));
    EXPECT_TRUE(p.AppendToFile(log, "\"b\",2\r\n"));
    QFile f(QString::fromStdString(log));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly) && f.readAll() == "\"a\",1\r\n\"b\",2\r\n");
    EXPECT_FALSE(p.AppendToFile((dir.path() + "/missing/Error.log").toStdString(), "x"));
}

namespace {

// The real platform with the program folder moved to a test folder.
struct FolderPlatform : QtPlatform {
    explicit FolderPlatform(const QString& folder)
        : QtPlatform(folder + "/talpor.lock"), folder_(folder.toStdString()) {}
    std::string ProgramFolder() override { return folder_; }
    std::string folder_;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

// A run-time error in a click (a degree text beyond 16 bits, put straight into the widget)
// is logged in the program folder; when that cannot take it (here a folder stands where
// the log would be), in the per-user state folder; when neither can, on standard error.
// The box names the file actually written.
TEST(QtPlatformLog, AnErrorInTheWindowIsRecordedWhereItsMessageSays) {
    const struct {
        bool programFolderTakesIt, stateFolderTakesIt;
        const char* lastLine;  // %1: the test folder
    } cases[] = {
        {true, true, "Ha quedado registrado en el archivo %1/program/Error.log"},
        {false, true, "Ha quedado registrado en el archivo %1/state/Talpor/Error.log"},
        {false, false, "No se ha podido registrar en ningún archivo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastLine);
        QTemporaryDir dir;
        const QString program = dir.path() + "/program", state = dir.path() + "/state";
        ASSERT_TRUE(QDir().mkpath(program));
        ASSERT_TRUE(c.programFolderTakesIt || QDir().mkpath(program + "/Error.log"));
        if (!c.stateFolderTakesIt) {  // a plain file where the state folder would be
            QFile blocker(state);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        testing_support::SpanishSettings spanish(dir.path());
        spanish.env.Set("XDG_STATE_HOME", state.toUtf8().constData());
        testing_support::ShownWindow<FolderPlatform> s(program);
        ASSERT_FALSE(s.frm.MustEnd());
        s.platform.SetMainWindow(s.window.get());

        QString shown;
        auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        testing::internal::CaptureStderr();
        s.frm.Guard("frmTalpor.CmdED50Helmert_Click", [] { throw num::Overflow(); });
        const std::string stdErr = testing::internal::GetCapturedStderr();

        EXPECT_EQ(shown, QStringLiteral("Ha ocurrido un error en frmTalpor.CmdED50Helmert_Click\n"
                                        "Error núm. (6) : Desbordamiento\n") +
                             QString::fromUtf8(c.lastLine).replace("%1", dir.path()));
        const QByteArray inProgram = ReadAll(program + "/Error.log");
        const QByteArray inState = ReadAll(state + "/Talpor/Error.log");
        const QByteArray record = c.programFolderTakesIt ? inProgram
                                  : c.stateFolderTakesIt ? inState
                                                         : QByteArray::fromStdString(stdErr);
        EXPECT_TRUE(record.contains(",\"frmTalpor.CmdED50Helmert_Click\",6,\"Desbordamiento\"\r\n"))
            << record.toStdString();
        EXPECT_EQ(inState.isEmpty(), !(c.stateFolderTakesIt && !c.programFolderTakesIt));
    }
}

TEST(QtPlatformMsgBox, ShowsIconSpanishButtonsAndDefaultAndTakesTheFocus) {
    testing_support::QtApp();
    QtPlatform p(QDir::tempPath() + "/unused.lock");
    auto closer = testing_support::OnEachBox([](QMessageBox* box) {
        EXPECT_EQ(box->text(), QStringLiteral("línea 1\nlínea 2"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Título"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Sí"));
        EXPECT_EQ(box->button(QMessageBox::No)->text().remove('&'), QStringLiteral("No"));
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
        EXPECT_TRUE(box->isAncestorOf(QApplication::focusWidget()));
        box->button(QMessageBox::Yes)->click();
    });
    using app::MsgIcon, app::MsgButtons, app::MsgResult;
    EXPECT_EQ(p.MsgBox("línea 1\r\nlínea 2", "Título", MsgIcon::Exclamation, MsgButtons::YesNo,
                       MsgResult::No),
              MsgResult::Yes);
}
