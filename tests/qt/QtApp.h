// One QApplication for all Qt tests of an executable (GoogleTest owns main).
#pragma once

#include <QApplication>

namespace testing_support {

inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        QApplication::setStyle(QStringLiteral("Fusion"));
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace testing_support
