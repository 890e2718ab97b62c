#include "qt/QtPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QUrl>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QTreeView>
#include <QInputDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QGridLayout>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextTable>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <cerrno>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "qt/Fonts.h"
#include "qt/Icons.h"
#include "qt/InstanceModule.h"
#include "qt/ModelDialog.h"
#include "qt/QtText.h"

namespace qt {
namespace {

// The window's dates and times are Spanish, whatever the desktop's language.
const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);

// The system's texts break lines with CR LF, or a CR alone.
QString DisplayText(std::string_view text) {
    QString t = Q(text);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// Tables are written for a tab stop every eight characters.
constexpr int kTabStop = 8;

QString ExpandTabs(const QString& text) {
    QString out;
    int column = 0;
    for (QChar ch : text) {
        if (ch == QLatin1Char('\t')) {
            do out += QLatin1Char(' ');
            while (++column % kTabStop != 0);
        } else {
            out += ch;
            column = ch == QLatin1Char('\n') ? 0 : column + 1;
        }
    }
    return out;
}

// A line wider than `width` pixels, broken after the last blank or "/" (a path's
// folders) that keeps each piece within it; where there is none, at the width itself.
QString Broken(const QString& line, const QFontMetrics& metrics, int width) {
    QString out, rest = line;
    while (rest.size() > 1 && metrics.horizontalAdvance(rest) > width) {
        int fits = 1;
        while (fits < rest.size() && metrics.horizontalAdvance(rest.left(fits + 1)) <= width) ++fits;
        int cut = fits;
        for (int i = fits; i > 0; --i) {
            if (rest[i - 1] == QLatin1Char(' ') || rest[i - 1] == QLatin1Char('/')) {
                cut = i;
                break;
            }
        }
        out += rest.left(cut) + QLatin1Char('\n');
        rest = rest.mid(cut);
    }
    return out + rest;
}

// Lays out the text of a box. The lines of a text of several lines are written to be
// read as they stand: none is wrapped, the box grows as wide as the widest, up to the
// screen's width; a line wider than that is broken at a word or a path's "/", so that
// nothing is cut at the box's edge. A text with tabs is a table (the parameter sheets):
// shown in the fixed-pitch font with its tabs expanded to the stops it was written for,
// so its columns stand under their headings.
void LayOutText(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const bool table = text.contains(QLatin1Char('\t'));
    QString shown = table ? ExpandTabs(text) : text;
    if (label != nullptr) {
        if (table) label->setFont(FixedPitchFont());
        // What the box leaves for the text beside the icon, within its frame. A box is as
        // wide as Qt lets it be: the whole of a small screen, the screen less 480 pixels
        // (1000 at most) on a larger one.
        constexpr int kBesideText = 200;
        const int screenWidth = screen != nullptr ? screen->availableGeometry().width() : 800;
        const int boxWidth = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
        // A text of one line reads best at the half screen a box wraps it at.
        constexpr int kOneLineWidth = 500;
        int width = boxWidth - kBesideText;
        if (!shown.contains(QLatin1Char('\n'))) width = std::min(width, kOneLineWidth);
        QStringList lines = shown.split(QLatin1Char('\n'));
        for (QString& line : lines) line = Broken(line, QFontMetrics(label->font()), width);
        shown = lines.join(QLatin1Char('\n'));
    }
    box.setText(shown);
    if (label == nullptr || !shown.contains(QLatin1Char('\n'))) return;
    // The box wraps any text wider than half the screen; a label at least as wide as
    // its widest line leaves every line whole.
    const QFontMetrics metrics(label->font());
    int widest = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QMargins margins = label->contentsMargins();
    label->setMinimumWidth(widest + margins.left() + margins.right() + 2 * label->margin() +
                           std::max(label->indent(), 0) + metrics.averageCharWidth());

    // A text taller than the screen (the summary of a folder's files) scrolls within the
    // box, which keeps to the screen with its buttons.
    constexpr int kAroundText = 160;  // the title bar, the margins and the buttons
    const int room = (screen != nullptr ? screen->availableGeometry().height() : 600) - kAroundText;
    const int lines = static_cast<int>(box.text().count(QLatin1Char('\n'))) + 1;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const int index = grid != nullptr ? grid->indexOf(label) : -1;
    if (lines * metrics.lineSpacing() + margins.top() + margins.bottom() <= room || index < 0) return;
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    grid->removeWidget(label);
    auto* area = new QScrollArea(&box);
    area->setObjectName(QStringLiteral("TalporMsgBoxScroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);  // Intro still answers the default button
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->setWidget(label);
    area->viewport()->setAutoFillBackground(false);
    area->setMinimumSize(label->minimumWidth() + area->verticalScrollBar()->sizeHint().width(), room);
    grid->addWidget(area, row, column, rows, columns);
}

// talpor-instance.so, loaded once for the process the first time it is needed; null
// (with the reason on standard error) when it cannot be.
const TalporInstanceFunctions* InstanceModule() {
    static const TalporInstanceFunctions* const functions = [] {
        const QByteArray path = QFile::encodeName(QDir::cleanPath(
            QCoreApplication::applicationDirPath() + QLatin1String("/" TALPOR_INSTANCE_MODULE_FROM_BIN)));
        // Never closed: its server lasts as long as the process.
        void* handle = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = handle != nullptr ? reinterpret_cast<TalporInstanceEntry>(
                                                   ::dlsym(handle, kTalporInstanceEntry))
                                             : nullptr;
        const TalporInstanceFunctions* loaded = entry != nullptr ? entry() : nullptr;
        if (loaded != nullptr && loaded->version == kTalporInstanceVersion) return loaded;
        const char* why = ::dlerror();
        std::fprintf(stderr, "Talpor: no se puede cargar %s (%s).\n", path.constData(),
                     why != nullptr ? why : "de otra versión");
        return static_cast<const TalporInstanceFunctions*>(nullptr);
    }();
    return functions;
}

}  // namespace

QtPlatform::QtPlatform(QString lockPath) : lockPath_(std::move(lockPath)) {}

QtPlatform::~QtPlatform() {
    progress_.reset();
    FlushSettings();
    if (server_ != nullptr) InstanceModule()->close(server_);
    // The file stays: only the lock on it counted, and it goes with the descriptor.
    if (lockFd_ >= 0) ::close(lockFd_);
}

QString QtPlatform::DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QLatin1String("/talpor.lock");
}

form::MsgResult QtPlatform::MsgBox(std::string_view text, std::string_view title, form::MsgIcon icon,
                                  form::MsgButtons buttons, form::MsgResult defaultButton) {
    ShowProgramIcon();  // a box before the window's first paint
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    switch (icon) {
        case form::MsgIcon::Information: qIcon = QMessageBox::Information; break;
        case form::MsgIcon::Exclamation: qIcon = QMessageBox::Warning; break;
        case form::MsgIcon::Critical: qIcon = QMessageBox::Critical; break;
        case form::MsgIcon::Question: qIcon = QMessageBox::Question; break;
        case form::MsgIcon::None: break;
    }
    QWidget* owner = Owner();
    QMessageBox box(qIcon, Q(title), QString(), QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("TalporMsgBox"));
    box.setTextFormat(Qt::PlainText);
    LayOutText(box, DisplayText(text));
    if (buttons == form::MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == form::MsgResult::Yes ? QMessageBox::Yes
                                                                  : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    box.exec();
    // Give the window back its activation (a desktop without a window manager, or the
    // offscreen platform, leaves no window active), so that the focus returns to the
    // control the window logic chose.
    if (owner != nullptr && owner->isVisible()) owner->activateWindow();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes: return form::MsgResult::Yes;
        case QMessageBox::No: return form::MsgResult::No;
        default: return buttons == form::MsgButtons::YesNo ? form::MsgResult::No : form::MsgResult::OK;
    }
}

void QtPlatform::ShowAbout(std::string_view title, std::string_view text) {
    // A line of about 80 characters reads well; the box keeps a margin of the screen free.
    constexpr int kTextWidth = 640;  // pixels
    constexpr int kScreenMargin = 80;

    QDialog dialog(mainWindow_);
    dialog.setObjectName(QStringLiteral("TalporAbout"));
    dialog.setWindowTitle(Q(title));
    auto* body = new QTextBrowser(&dialog);
    body->setObjectName(QStringLiteral("TalporAboutText"));
    body->setOpenExternalLinks(true);
    body->setFrameShape(QFrame::NoFrame);
    body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // On the dialog's own background, as the text of a message box.
    body->viewport()->setAutoFillBackground(false);
    body->setMarkdown(Q(text));
    // Tables (the shortcuts) as two columns of text, without the grid of lines.
    for (QTextFrame* frame : body->document()->rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (table == nullptr) continue;
        QTextTableFormat format = table->format();
        format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
        format.setBorder(0);
        format.setCellSpacing(0);
        format.setCellPadding(3);
        table->setFormat(format);
    }
    // The text browser lays the text out at its own width once shown; the height it
    // will need is measured on a copy laid out at that width.
    const std::unique_ptr<QTextDocument> probe(body->document()->clone());
    probe->setTextWidth(kTextWidth);
    const int textHeight = static_cast<int>(std::ceil(probe->size().height()));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(body);
    layout->addWidget(buttons);

    const QScreen* screen = mainWindow_ != nullptr ? mainWindow_->screen()
                                                   : QGuiApplication::primaryScreen();
    const int room = screen == nullptr ? textHeight
                                       : screen->availableGeometry().height() - kScreenMargin -
                                             buttons->sizeHint().height() -
                                             layout->contentsMargins().top() -
                                             layout->contentsMargins().bottom() - layout->spacing();
    body->setFixedSize(kTextWidth + 2 * body->frameWidth(), std::min(textHeight, room));
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setDefault(true);
    close->setFocus();
    dialog.exec();
    if (mainWindow_ != nullptr && mainWindow_->isVisible()) mainWindow_->activateWindow();
}

void QtPlatform::SaveSetting(std::string_view appName, std::string_view section,
                             std::string_view key, std::string_view value) {
    // Written by FlushSettings once the window is on the screen (the settings store
    // forces its file to disk, which can take longer than drawing the window), and at
    // once after that, so that a program ended by a signal keeps what it saved.
    pendingSettings_.push_back({Q(appName), Q(section), Q(key), Q(value)});
    if (settingsFlushed_) FlushSettings();
}

std::string QtPlatform::GetSetting(std::string_view appName, std::string_view section, std::string_view key) {
    // A value saved in this run and not yet written is the newest.
    for (auto s = pendingSettings_.rbegin(); s != pendingSettings_.rend(); ++s)
        if (s->appName == Q(appName) && s->section == Q(section) && s->key == Q(key)) return s->value.toStdString();
    QSettings settings(Q(appName), Q(appName));
    return settings.value(Q(section) + QLatin1Char('/') + Q(key)).toString().toStdString();
}

void QtPlatform::FlushSettings() {
    for (const PendingSetting& s : pendingSettings_) {
        // ~/.config/Talpor/Talpor.conf, [Setting] AppPath=...
        QSettings settings(s.appName, s.appName);
        settings.beginGroup(s.section);
        settings.setValue(s.key, s.value);
        settings.endGroup();
        settings.sync();
    }
    pendingSettings_.clear();
    settingsFlushed_ = true;
}

bool QtPlatform::PreviousInstance() {
    if (checked_) return previous_;
    checked_ = true;
    QDir().mkpath(QFileInfo(lockPath_).absolutePath());
    const QByteArray path = QFile::encodeName(lockPath_);
    // The lock is an advisory lock on the file, held while the program runs: the system
    // releases it when the process ends, however it ends, so whatever a lock file holds
    // (a dead instance's number, nothing, garbage) only a running instance refuses the
    // start. Nothing is forced to disk: the lock lives in the kernel, not in the file.
    const char* why = nullptr;
    for (int attempt = 0; attempt < 2 && why == nullptr; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int error = errno;
            // A lock file we cannot open was not left by an instance of ours: replace it.
            if (error == EACCES && attempt == 0 && QFileInfo(lockPath_).isFile() &&
                QFile::remove(lockPath_))
                continue;
            why = error == EISDIR ? "hay una carpeta con su nombre"
                  : error == EACCES ? "sin permiso"
                                    : "no se puede abrir";
            break;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // For people and tools that look: which process holds it.
            const QByteArray owner = QByteArray::number(QCoreApplication::applicationPid()) + "\n";
            if (::ftruncate(fd, 0) == 0 && ::write(fd, owner.constData(), owner.size()) < 0) {
                // The lock holds without the note.
            }
            lockFd_ = fd;
            return previous_ = false;
        }
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return previous_ = true;
        why = "no se puede bloquear";
    }
    // No lock can be taken here: start anyway, rather than lock the user out, and say why.
    std::fprintf(stderr,
                 "Talpor: no se puede usar el archivo de bloqueo %s (%s); se inicia sin "
                 "comprobar si el programa ya está abierto.\n",
                 path.constData(), why);
    return previous_ = false;
}

QString QtPlatform::InstanceSocketPath() const {
    const QFileInfo lock(lockPath_);
    return lock.absolutePath() +
           QStringLiteral("/%1-%2.socket").arg(lock.completeBaseName()).arg(::getuid());
}

bool QtPlatform::RaiseRunningInstance() {
    // An instance listens from its first paint on: one that has just taken the lock is
    // waited for that long.
    constexpr int kStartingMs = 2000;
    const TalporInstanceFunctions* module = InstanceModule();
    return module != nullptr &&
           module->ask(QFile::encodeName(InstanceSocketPath()).constData(), kStartingMs) != 0;
}

bool QtPlatform::ListenForOtherStarts(std::function<void()> raise) {
    // Without the lock, a socket there may be another instance's.
    if (lockFd_ < 0 || server_ != nullptr) return false;
    const TalporInstanceFunctions* module = InstanceModule();
    if (module == nullptr) return false;
    raise_ = std::move(raise);
    server_ = module->listen(QFile::encodeName(InstanceSocketPath()).constData(),
                             [](void* self) { static_cast<QtPlatform*>(self)->raise_(); }, this);
    return server_ != nullptr;
}

std::string QtPlatform::ProgramFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string QtPlatform::DataFolder() {
    // Where the program's data lies from its own folder, the same in the build tree and
    // in an installed prefix (CMake works it out from the install folders).
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(TALPOR_DATA_FROM_BIN))
        .toStdString();
}

std::string QtPlatform::UserDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
}

form::ScreenSize QtPlatform::Screen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    QSize s = screen->size();
    return {s.width(), s.height()};
}

void QtPlatform::StartProcess(std::string_view commandLine) {
    QStringList parts = QProcess::splitCommand(Q(commandLine));
    if (parts.isEmpty()) return;
    QString program = parts.takeFirst();
    QProcess::startDetached(program, parts);
}

form::DateTime QtPlatform::Now() {
    QDateTime now = QDateTime::currentDateTime();
    QDate d = now.date();
    QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string QtPlatform::DateText(const form::DateTime& t) {
    return kSpanish.toString(QDate(t.year, t.month, t.day), QLocale::ShortFormat)
        .toStdString();
}

std::string QtPlatform::TimeText(const form::DateTime& t) {
    // The long time format with seconds, without the time zone Qt adds to it.
    const QLocale& l = kSpanish;
    QString format = l.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1String("(t)"));
    format.remove(QLatin1Char('t'));
    return l.toString(QTime(t.hour, t.minute, t.second), format.trimmed()).toStdString();
}

bool QtPlatform::AppendToFile(std::string_view path, std::string_view text) {
    QFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    qint64 written = file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    return written == static_cast<qint64>(text.size());
}

std::string QtPlatform::StateFolder() {
    // The XDG base directory rule: a relative $XDG_STATE_HOME is to be ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        if (QDir::homePath().isEmpty()) return "";
        base = QDir::homePath() + QLatin1String("/.local/state");
    }
    const QString folder = base + QLatin1String("/Talpor");
    if (!QDir().mkpath(folder)) return "";
    return folder.toStdString();
}

void QtPlatform::WriteStdErr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void QtPlatform::ResetMousePointer() {
    while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
}

namespace {

// The kind of each entry in Qt's own file chooser, which Qt's Spanish translation leaves
// in English ("Folder"): "Carpeta", "Fichero KML".
class SpanishFileKinds : public QFileIconProvider {
  public:
    QString type(const QFileInfo& info) const override {
        if (info.isRoot()) return QStringLiteral("Unidad");
        if (info.isDir()) return QStringLiteral("Carpeta");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("Fichero") : QStringLiteral("Fichero ") + suffix.toUpper();
    }
};

// A file chooser: the desktop's own where it offers one, else Qt's, in Spanish and wide
// enough for the sizes and dates of its list. The names chosen, none when cancelled.
QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                        QFileDialog::FileMode mode, QFileDialog::AcceptMode accept) {
    static SpanishFileKinds kinds;
    QFileDialog dialog(parent, title, start, filter);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // Talpor asks, naming the file and its date
    if (mode == QFileDialog::Directory) dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setIconProvider(&kinds);
    // Sizes, kinds and dates whole; the names take the rest.
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView")); list != nullptr) {
        list->header()->setStretchLastSection(false);
        list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < 4; ++column) list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        dialog.resize(std::min(880, room.width() - 40), std::min(520, room.height() - 60));
    }
    if (accept == QFileDialog::AcceptSave && !start.isEmpty() && !QFileInfo(start).isDir())
        dialog.selectFile(start);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

}  // namespace

std::string QtPlatform::OpenFileName(std::string_view title, std::string_view folder, std::string_view filter) {
    const QStringList names =
        ChooseFiles(Owner(), Q(title), Q(folder), Q(filter), QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
    return names.isEmpty() ? std::string() : names.front().toStdString();
}

std::string QtPlatform::SaveFileName(std::string_view title, std::string_view suggested,
                                     std::string_view filter) {
    const QStringList names =
        ChooseFiles(Owner(), Q(title), Q(suggested), Q(filter), QFileDialog::AnyFile, QFileDialog::AcceptSave);
    return names.isEmpty() ? std::string() : names.front().toStdString();
}

std::vector<std::string> QtPlatform::OpenFileNames(std::string_view title, std::string_view folder,
                                                   std::string_view filter) {
    std::vector<std::string> names;
    for (const QString& name :
         ChooseFiles(Owner(), Q(title), Q(folder), Q(filter), QFileDialog::ExistingFiles, QFileDialog::AcceptOpen))
        names.push_back(name.toStdString());
    return names;
}

std::string QtPlatform::FolderName(std::string_view title, std::string_view folder) {
    // A folder still to be made (the destination offered) is chosen from the one above it.
    QString start = Q(folder);
    while (!start.isEmpty() && !QFileInfo(start).isDir()) {
        const QString up = QFileInfo(start).path();
        if (up == start) break;
        start = up;
    }
    const QStringList names =
        ChooseFiles(Owner(), Q(title), start, QString(), QFileDialog::Directory, QFileDialog::AcceptOpen);
    return names.isEmpty() ? std::string() : names.front().toStdString();
}

int QtPlatform::ChooseItem(std::string_view title, std::string_view label,
                           const std::vector<std::string>& items, int current) {
    QStringList list;
    for (const std::string& item : items) list << Q(item);
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(mainWindow_, Q(title), Q(label), list, current, false, &ok);
    return ok ? static_cast<int>(list.indexOf(chosen)) : -1;
}

bool QtPlatform::ShowProgress(std::string_view text, int percent) {
    if (!progress_) {
        QWidget* owner = Owner();
        progress_ = std::make_unique<QProgressDialog>(Q(text), QStringLiteral("Cancelar"), 0, 100, owner);
        progress_->setObjectName(QStringLiteral("TalporProgress"));
        progress_->setWindowTitle(QStringLiteral("Talpor"));
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        // Over the window it works for, where the eye is.
        if (owner != nullptr && owner->isVisible()) {
            progress_->adjustSize();
            progress_->move(owner->frameGeometry().center() - progress_->rect().center());
        }
    }
    if (progress_->labelText() != Q(text)) progress_->setLabelText(Q(text));
    progress_->setValue(std::clamp(percent, 0, 100));
    QCoreApplication::processEvents();
    return !progress_->wasCanceled();
}

void QtPlatform::EndProgress() { progress_.reset(); }

bool QtPlatform::OpenUrl(std::string_view url) { return QDesktopServices::openUrl(QUrl(Q(url))); }

QWidget* QtPlatform::Owner() const {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal->isVisible() && qobject_cast<QDialog*>(modal) != nullptr &&
                   qobject_cast<QProgressDialog*>(modal) == nullptr
               ? modal
               : mainWindow_.data();
}

bool QtPlatform::ShowDialog(form::FormModel& dialog, const std::function<form::DialogEnd(form::Control&)>& changed) {
    ModelDialog window(dialog, changed, mainWindow_);
    return window.exec() == QDialog::Accepted;
}

}  // namespace qt
