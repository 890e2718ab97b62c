#include "qt/QtPlatform.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <optional>

#include "ShownWindow.h"

using talpor_qt::QtPlatform;

namespace {

// Sets environment variables for the length of a test and restores them after.
class EnvGuard {
public:
    void Set(const char* name, const char* value) {
        Save(name);
        if (value == nullptr) qunsetenv(name);
        else qputenv(name, value);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) qputenv(it->first.c_str(), *it->second);
            else qunsetenv(it->first.c_str());
        }
    }

private:
    void Save(const char* name) {
        std::optional<QByteArray> old;
        if (qEnvironmentVariableIsSet(name)) old = qgetenv(name);
        saved_.emplace_back(name, old);
    }
    std::vector<std::pair<std::string, std::optional<QByteArray>>> saved_;
};

}  // namespace

TEST(QtPlatformLocale, ReadsSeparatorsFromTheEnvironmentThroughQtsOwnData) {
    testing_support::QtApp();
    struct Case {
        const char* lcAll;
        const char* lang;
        const char* lcNumeric;
        const char* lcMonetary;
        const char* decimal;
        const char* thousands;
        const char* language;
    } cases[] = {
        // Only C.UTF-8 may be generated on the machine; Qt's locale data still knows Spanish.
        {nullptr, "es_ES.UTF-8", nullptr, nullptr, ",", ".", "español de España"},
        {nullptr, "en_US.UTF-8", nullptr, nullptr, ".", ",", "American English (United States)"},
        {nullptr, "es_ES.UTF-8", "C", nullptr, ".", ".", nullptr},
        {nullptr, "en_GB.UTF-8", "es_ES.UTF-8", "de_DE.UTF-8", ",", ".", nullptr},
        {"de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "en_US.UTF-8", ",", ".", "Deutsch (Deutschland)"},
        {nullptr, nullptr, nullptr, nullptr, ".", ",", nullptr},
    };
    for (const Case& c : cases) {
        EnvGuard env;
        env.Set("LC_ALL", c.lcAll);
        env.Set("LANG", c.lang);
        env.Set("LC_NUMERIC", c.lcNumeric);
        env.Set("LC_MONETARY", c.lcMonetary);
        QtPlatform p(QDir::tempPath() + "/unused.lock");
        SCOPED_TRACE(c.lang ? c.lang : "(no LANG)");
        EXPECT_EQ(p.Locale(app::LocaleItem::DecimalSep), c.decimal);
        EXPECT_EQ(p.Locale(app::LocaleItem::MonThousandSep), c.thousands);
        if (c.language != nullptr) {
            EXPECT_EQ(p.Locale(app::LocaleItem::Language), c.language);
        }
        EXPECT_FALSE(p.Locale(app::LocaleItem::Language).empty());
    }
}

TEST(QtPlatformSettings, StoresAppPathUnderTalporSettingSection) {
    testing_support::QtApp();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QtPlatform p(dir.path() + "/talpor.lock");
    p.SaveSetting("Talpor", "Setting", "AppPath", "/opt/talpor/");
    QSettings read(QStringLiteral("Talpor"), QStringLiteral("Talpor"));
    EXPECT_EQ(read.value(QStringLiteral("Setting/AppPath")).toString(), QStringLiteral("/opt/talpor/"));
    EXPECT_TRUE(QFileInfo(read.fileName()).exists());
}

TEST(QtPlatformInstance, SecondHolderOfTheLockIsAPreviousInstance) {
    testing_support::QtApp();
    QTemporaryDir dir;
    QString lock = dir.path() + "/talpor.lock";
    auto first = std::make_unique<QtPlatform>(lock);
    EXPECT_FALSE(first->PreviousInstance());
    QtPlatform second(lock);
    EXPECT_TRUE(second.PreviousInstance());
    first.reset();  // the first instance ends
    QtPlatform third(lock);
    EXPECT_FALSE(third.PreviousInstance());
}

TEST(QtPlatformInstance, AKilledInstanceDoesNotLockTheUserOut) {
    testing_support::QtApp();
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    QString lock = dir.path() + "/talpor.lock";

    QProcess talpor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("LANG", "es_ES.UTF-8");
    env.remove("LC_ALL");
    env.remove("LC_NUMERIC");
    env.remove("LC_MONETARY");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    talpor.setProcessEnvironment(env);
    talpor.start(QStringLiteral(TALPOR_EXE), {});
    ASSERT_TRUE(talpor.waitForStarted(10000));
    // The window is up once the program has written its settings entry.
    QString conf = dir.path() + "/Talpor/Talpor.conf";
    for (int i = 0; i < 300 && !QFile::exists(conf); ++i) QTest::qWait(100);
    ASSERT_TRUE(QFile::exists(lock)) << "the running program holds no lock";

    {
        QtPlatform second(lock);
        EXPECT_TRUE(second.PreviousInstance());
    }
    ::kill(static_cast<pid_t>(talpor.processId()), SIGKILL);
    ASSERT_TRUE(talpor.waitForFinished(10000));
    EXPECT_TRUE(QFile::exists(lock));  // left behind by the crash

    QtPlatform next(lock);
    EXPECT_FALSE(next.PreviousInstance());
}

TEST(QtPlatformLog, AppendsLinesAndKeepsEarlierOnes) {
    testing_support::QtApp();
    QTemporaryDir dir;
    QtPlatform p(dir.path() + "/talpor.lock");
    std::string path = (dir.path() + "/Error.log").toStdString();
    EXPECT_TRUE(p.AppendToFile(path, "\"a\",\"b\",1,\"c\"\r\n"));
    EXPECT_TRUE(p.AppendToFile(path, "\"d\",\"e\",2,\"f\"\r\n"));
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\"a\",\"b\",1,\"c\"\r\n\"d\",\"e\",2,\"f\"\r\n"));
    EXPECT_FALSE(p.AppendToFile((dir.path() + "/missing/folder/Error.log").toStdString(), "x"));
}

TEST(QtPlatformProcess, FindsAnInstalledRegionalSettingsPanelOrNone) {
    testing_support::QtApp();
    QTemporaryDir dir;
    EnvGuard env;
    env.Set("PATH", dir.path().toLocal8Bit().constData());
    QtPlatform p(dir.path() + "/talpor.lock");
    EXPECT_EQ(p.RegionalSettingsCommand(), "");

    QFile tool(dir.path() + "/gnome-control-center");
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n");
    tool.close();
    tool.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(p.RegionalSettingsCommand(), "gnome-control-center region");
}

TEST(QtPlatformMsgBox, ShowsIconButtonsAndDefaultAndTakesTheFocus) {
    testing_support::QtApp();
    QTemporaryDir dir;
    QtPlatform p(dir.path() + "/talpor.lock");
    struct Seen {
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool hasFocus = false;
    } seen;
    auto answerWith = [&](QMessageBox::StandardButton answer) {
        QTimer::singleShot(50, [&seen, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            seen = {box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                    box->standardButton(box->defaultButton()),
                    QApplication::focusWidget() != nullptr && box->isAncestorOf(QApplication::focusWidget())};
            box->button(answer)->click();
        });
    };

    answerWith(QMessageBox::Yes);
    EXPECT_EQ(p.MsgBox("línea 1\r\nlínea 2", "Título", app::MsgIcon::Critical, app::MsgButtons::YesNo,
                       app::MsgResult::No),
              app::MsgResult::Yes);
    EXPECT_EQ(seen.text, QStringLiteral("línea 1\nlínea 2"));
    EXPECT_EQ(seen.title, QStringLiteral("Título"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);
    EXPECT_TRUE(seen.hasFocus);

    answerWith(QMessageBox::No);
    EXPECT_EQ(p.MsgBox("x", "y", app::MsgIcon::Critical, app::MsgButtons::YesNo, app::MsgResult::No),
              app::MsgResult::No);

    answerWith(QMessageBox::Ok);
    EXPECT_EQ(p.MsgBox("35 < Grados sexagesimales <44", "Limitaciones", app::MsgIcon::Information,
                       app::MsgButtons::OK, app::MsgResult::OK),
              app::MsgResult::OK);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);

    answerWith(QMessageBox::Ok);
    p.MsgBox("z", "w", app::MsgIcon::Exclamation, app::MsgButtons::OK, app::MsgResult::OK);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
}

TEST(QtPlatformScreen, ReportsTheScreenInPixelsAndTheProgramFolder) {
    testing_support::QtApp();
    QtPlatform p(QDir::tempPath() + "/unused.lock");
    app::ScreenSize s = p.Screen();
    EXPECT_GT(s.width, 0);
    EXPECT_GT(s.height, 0);
    EXPECT_EQ(QString::fromStdString(p.ProgramFolder()), QCoreApplication::applicationDirPath());
}
