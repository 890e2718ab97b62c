#include "qt/QtPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "ShownWindow.h"
#include "num/RuntimeError.h"

using qt::QtPlatform;

namespace {

// The program's environment in the test: its runtime and settings folder, offscreen, Spanish.
QProcessEnvironment TalporEnvironment(const QString& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) env.insert(name, folder);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LANG", "es_ES.UTF-8");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) env.remove(name);
    return env;
}

}  // namespace

// A locale whose decimal sign is the point opens the window as Spain's does, with no
// question, and the dates it shows stay Spanish: Talpor writes its own numbers.
TEST(QtPlatformLocale, AnotherDecimalSignOpensTheWindowAsSpainsDoes) {
    testing_support::QtApp();
    QTemporaryDir dir;
    for (const char* lang : {"C", "en_US.UTF-8"}) {
        SCOPED_TRACE(lang);
        QProcessEnvironment env = TalporEnvironment(dir.path());
        env.insert("LANG", lang);
        QProcess talpor;
        talpor.setProcessEnvironment(env);
        talpor.start(QStringLiteral(TALPOR_EXE), {QStringLiteral("--exit-when-shown")});
        if (!talpor.waitForFinished(30000)) talpor.kill();
        EXPECT_EQ(talpor.readAllStandardOutput().toStdString(), "shown\n");
        EXPECT_EQ(talpor.exitCode(), 0);
        testing_support::EnvGuard guard;
        guard.Set("LANG", lang);
        QtPlatform p(dir.path() + "/unused.lock");
        EXPECT_EQ(p.DateText({2026, 5, 14, 10, 30, 15}) + " " + p.TimeText({2026, 5, 14, 10, 30, 15}), "14/5/26 10:30:15");
    }
}

// Only a lock held by a running instance refuses the start: one no instance holds (left by
// a crash, even one we cannot read) is taken over; where no lock can be used (a folder in
// its place), the program starts without the check and says why.
TEST(QtPlatformInstance, TheRunningProgramStoresItsFolderAndOnlyALockItHoldsRefusesAStart) {
    testing_support::QtApp();
    QTemporaryDir dir;  // the program's runtime and settings folder (private, as Qt wants)
    QString lock = dir.path() + "/talpor.lock", conf = dir.path() + "/Talpor/Talpor.conf";
    QProcess talpor;
    talpor.setProcessEnvironment(TalporEnvironment(dir.path()));
    talpor.start(QStringLiteral(TALPOR_EXE), {});
    // The window is up once the program has written its settings entry.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(conf); }, 30000));
    QString folder = QFileInfo(QStringLiteral(TALPOR_EXE)).canonicalPath() + "/";
    EXPECT_EQ(QSettings(conf, QSettings::IniFormat).value("Setting/AppPath").toString(), folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());  // read back
    EXPECT_EQ(QtPlatform(dir.path() + "/other.lock").GetSetting("Talpor", "Setting", "AppPath"),
              folder.toStdString());
    EXPECT_TRUE(QtPlatform(lock).PreviousInstance());
    {
        // Once the window is on the screen a setting is on disk as soon as it is saved:
        // a program ended by a signal keeps it.
        QtPlatform shown(dir.path() + "/other.lock");
        shown.FlushSettings();
        shown.SaveSetting("Talpor", "Fichero", "Metodo", "3");
        EXPECT_EQ(QSettings(conf, QSettings::IniFormat).value("Fichero/Metodo").toString(), QStringLiteral("3"));
    }
    ::kill(static_cast<pid_t>(talpor.processId()), SIGKILL);
    ASSERT_TRUE(talpor.waitForFinished(10000));
    EXPECT_TRUE(QFile::exists(lock));  // left behind by the crash
    auto next = std::make_unique<QtPlatform>(lock);
    EXPECT_FALSE(next->PreviousInstance());
    EXPECT_TRUE(QtPlatform(lock).PreviousInstance());
    next.reset();  // an ordinary end frees the lock
    EXPECT_FALSE(QtPlatform(lock).PreviousInstance());

    QFile unreadable(dir.path() + "/a.lock");
    ASSERT_TRUE(unreadable.open(QIODevice::WriteOnly) && unreadable.write("\x01\xff"
                                                                          "basura") > 0);
    unreadable.close();
    ASSERT_TRUE(unreadable.setPermissions({}) && QDir().mkpath(dir.path() + "/b.lock"));
    testing::internal::CaptureStderr();
    QtPlatform first(unreadable.fileName());
    EXPECT_FALSE(first.PreviousInstance());
    EXPECT_TRUE(QtPlatform(unreadable.fileName()).PreviousInstance());  // a second start
    // A starting instance holds its still empty file locked from the moment it creates it.
    const int held =
        ::open(QFile::encodeName(dir.path() + "/c.lock").constData(), O_CREAT | O_RDONLY, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(QtPlatform(dir.path() + "/c.lock").PreviousInstance());
    ::close(held);
    EXPECT_FALSE(QtPlatform(dir.path() + "/b.lock").PreviousInstance());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("hay una carpeta con su nombre"),
              std::string::npos);
}

// A second start brings the running window forward and ends at once with status 0 and no
// box, even while the first is still starting (it has the lock, and listens once its window
// has painted); a socket left by a killed instance is replaced, and a folder at the
// socket's path removed, or set aside with what it holds. Where the lock's holder does not
// answer, the start is refused as before (the box: StartUp in app_tests).
TEST(QtPlatformInstance, ASecondStartBringsTheRunningWindowForwardAndEnds) {
    testing_support::QtApp();
    QTemporaryDir dir;
    const QString lock = dir.path() + "/talpor.lock", socket = QtPlatform(lock).InstanceSocketPath();
    // After a killed instance, then with a folder at the socket's path, holding a file and empty.
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        if (round >= 2) {
            ASSERT_TRUE(QFile::remove(socket) && QDir().mkpath(socket));
            QFile note(socket + "/nota.txt");
            ASSERT_TRUE(round == 3 || note.open(QIODevice::WriteOnly));
        }
        QProcess first, second;
        first.setProcessEnvironment(TalporEnvironment(dir.path()));
        first.start(QStringLiteral(TALPOR_EXE), {QStringLiteral("--print-raised")});
        // The lock taken (the file names the process); the window not painted yet.
        const QByteArray owner = QByteArray::number(first.processId()) + "\n";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QFile f(lock);
                return f.open(QIODevice::ReadOnly) && f.readAll() == owner;
            },
            30000));
        QByteArray said;
        const auto raised = [&] {
            const auto line = [&] { return (said += first.readAllStandardOutput()).contains('\n'); };
            EXPECT_TRUE(QTest::qWaitFor(line, 10000));
            return std::exchange(said, {});
        };
        if (round == 0) {
            QtPlatform starting(lock);  // asks while the first is still starting
            EXPECT_TRUE(starting.PreviousInstance() && starting.RaiseRunningInstance());
            EXPECT_EQ(raised(), "raised\n");  // shown normally again and active
        }
        second.setProcessEnvironment(TalporEnvironment(dir.path()));
        second.start(QStringLiteral(TALPOR_EXE), {});
        ASSERT_TRUE(second.waitForFinished(20000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(raised(), "raised\n");
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);  // leaves its socket behind
        ASSERT_TRUE(first.waitForFinished(10000));
    }
    EXPECT_TRUE(QFile::exists(socket + ".apartado/nota.txt"));
    // A lock held by a program that does not answer: no hand-over, after the wait.
    const QString stalePath = dir.path() + "/c.lock";
    const int held = ::open(QFile::encodeName(stalePath).constData(), O_CREAT | O_RDONLY, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QtPlatform stale(stalePath);
    EXPECT_TRUE(stale.PreviousInstance());
    EXPECT_FALSE(stale.RaiseRunningInstance());
    ::close(held);
}

struct FolderPlatform : QtPlatform {
    explicit FolderPlatform(const QString& folder)
        : QtPlatform(folder + "/talpor.lock"), folder_(folder.toStdString()) {}
    std::string ProgramFolder() override { return folder_; }
    std::string folder_;
};

// A run-time error in a click is logged after the earlier records in the program folder;
// when that cannot take it (here a folder stands where the log would be), in the per-user
// state folder. The box names the file written.
TEST(QtPlatformLog, AnErrorInTheWindowIsRecordedWhereItsMessageSays) {
    const struct {
        bool programFolderTakesIt;
        const char* file;
    } cases[] = {{true, "/program/Error.log"}, {false, "/state/Talpor/Error.log"}};
    const QByteArray earlier = "\"13/05/2026 @ 09:00:00\",\"Talpor Form_load\",6,\"x\"\r\n";
    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        QTemporaryDir dir;
        const QString program = dir.path() + "/program", state = dir.path() + "/state";
        QFile log(program + "/Error.log");
        ASSERT_TRUE(QDir().mkpath(program) &&
                    (c.programFolderTakesIt ? log.open(QIODevice::WriteOnly) && log.write(earlier)
                                            : QDir().mkpath(log.fileName())));
        log.close();
        testing_support::SpanishSettings spanish(dir.path());
        spanish.env.Set("XDG_STATE_HOME", state.toUtf8().constData());
        testing_support::ShownWindow<FolderPlatform> s(program);
        QString shown;
        auto closer = testing_support::OnEachBox([&](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        s.frm.Guard("frmTalpor.CmdED50Helmert_Click", [] { throw num::Overflow(); });
        EXPECT_EQ(shown, QStringLiteral("Ha ocurrido un error en frmTalpor.CmdED50Helmert_Click\n"
                                        "Error núm. (6) : Desbordamiento\n"
                                        "Ha quedado registrado en el archivo ") +
                             dir.path() + c.file);
        const QByteArray record = read(dir.path() + c.file);
        EXPECT_TRUE(record.contains(",\"frmTalpor.CmdED50Helmert_Click\",6,\"Desbordamiento\"\r\n"))
            << record.toStdString();
        EXPECT_EQ(record.startsWith(earlier), c.programFolderTakesIt);
        EXPECT_EQ(read(state + "/Talpor/Error.log").isEmpty(), c.programFolderTakesIt);
    }
}
