// The yardsticks of the start-up benchmark: an empty Qt main window that reports its
// first paint exactly as `talpor --exit-when-shown` does; with --with-label it shows
// one line of text, so that it also pays for loading the fonts and drawing glyphs.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>

namespace {

class EmptyWindow : public QMainWindow {
protected:
    void paintEvent(QPaintEvent* event) override {
        QMainWindow::paintEvent(event);
        if (painted_) return;
        painted_ = true;
        QTimer::singleShot(0, this, [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QApplication::exit(0);
        });
    }

private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    EmptyWindow window;
    window.resize(776, 488);
    if (QApplication::arguments().contains(QStringLiteral("--with-label")))
        window.setCentralWidget(new QLabel(QStringLiteral("Talpor - Transformación de coordenadas")));
    window.show();
    return QApplication::exec();
}
