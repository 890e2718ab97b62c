// Shared set-up of the Qt tests: the application, the environment, the shown window.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <type_traits>

#include "qt/QtPlatform.h"
#include "qt/QtTranslation.h"
#include "qt/TalporWindow.h"
#include "support/FakePlatform.h"

// Failed expectations show a QString as its text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace testing_support {

// One QApplication per executable (GoogleTest owns main), with Qt's texts in Spanish.
inline void QtApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    [[maybe_unused]] static auto* app = [] {
        QApplication::setStyle(QStringLiteral("Fusion"));
        auto* application = new QApplication(argc, argv);
        EXPECT_TRUE(qt::InstallQtSpanish(*application));
        return application;
    }();
}

// Sets environment variables (nullptr unsets them) until the end of the test.
struct EnvGuard {
    std::vector<std::pair<const char*, QByteArray>> saved;  // a null value: unset
    void Set(const char* name, const char* value) {
        saved.emplace_back(name, qgetenv(name));
        value != nullptr ? qputenv(name, value) : qunsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            it->second.isNull() ? qunsetenv(it->first) : qputenv(it->first, it->second);
    }
};

// Spanish regional settings (no start-up question) and a settings store in `folder`.
struct SpanishSettings {
    EnvGuard env;
    explicit SpanishSettings(const QString& folder) {
        env.Set("LANG", "es_ES.UTF-8");
        for (const char* var : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) env.Set(var, nullptr);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    }
};

// Calls `answer`, which closes it, with each modal Box shown while the timer lives, once
// the focus is in it (on a busy machine a tick after it shows) or after a second.
template <class Box = QMessageBox>
std::unique_ptr<QTimer> OnEachBox(std::type_identity_t<std::function<void(Box*)>> answer) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [answer, ticks = 0]() mutable {
        auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        if (!box->isAncestorOf(QApplication::focusWidget()) && ++ticks < 33) return;
        ticks = 0;
        answer(box);
    });
    timer->start(30);
    return timer;
}

// The window after start-up, shown and active (offscreen); a Qt platform's boxes go over it.
template <class PlatformT = FakePlatform>
struct ShownWindow {
    PlatformT platform;
    app::frmTalpor frm{platform};
    std::unique_ptr<qt::TalporWindow> window;

    template <class... Args>
    explicit ShownWindow(Args&&... args) : platform(std::forward<Args>(args)...) {
        QtApp();
        frm.Form_Load();
        EXPECT_FALSE(frm.MustEnd());
        window = std::make_unique<qt::TalporWindow>(frm);
        if constexpr (std::is_base_of_v<qt::QtPlatform, PlatformT>)
            platform.SetMainWindow(window.get());
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::qWait(20);  // activation runs after the event that caused it
    }
    template <class W = QWidget>
    W* Widget(std::string_view name, int index = -1) {
        auto* w = qobject_cast<W*>(window->WidgetOf(name, index));
        EXPECT_NE(w, nullptr) << name << " " << index;
        return w;
    }
    QLineEdit* Edit(std::string_view name, int index = -1) {
        return Widget<QLineEdit>(name, index);
    }
    QString Text(std::string_view name, int index = -1) {
        auto* edit = qobject_cast<QLineEdit*>(window->WidgetOf(name, index));
        return edit != nullptr ? edit->text() : Widget<QLabel>(name, index)->text();
    }
    void Click(std::string_view name, int index = -1) {
        QTest::mouseClick(Widget(name, index), Qt::LeftButton);
        QTest::qWait(10);
    }
    // Clicks a field (its focus-in selects the text) and types over its whole text.
    void Type(std::string_view name, int index, const char* text) {
        Click(name, index);
        Edit(name, index)->selectAll();
        QTest::keyClicks(Edit(name, index), text);
    }
    // Gives the focus to a control as Tab does.
    void Focus(std::string_view name, int index = -1) {
        Widget(name, index)->setFocus(Qt::TabFocusReason);
        QTest::qWait(10);
    }
};

}  // namespace testing_support
