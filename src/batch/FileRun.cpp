// ConvertFile: the input's form found from its first bytes; GPX and KML read as a table
// on a thread of their own, which hands the table to the run through a socket pair so
// that memory stays bounded whatever the size of the file.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <thread>

#include "batch/Stream.h"
#include "batch/SystemError.h"

namespace batch {
namespace {

// The bytes the form of an input is found from; GPX and KML name their first element
// well before.
constexpr std::size_t kSniffBytes = 4096;
constexpr std::size_t kReadBytes = std::size_t{1} << 20;

// Reads up to `size` bytes (fewer only at the end of the input). Throws RunError.
std::string ReadSome(int fd, std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RunError("no se puede leer la entrada: " + SystemErrorText(errno));
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// Sends all of `bytes`; false once the reading end is closed (the run ended early).
bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Closes both ends of a socket pair at the end of its scope.
struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0)
            throw RunError("no se puede preparar la lectura: " + SystemErrorText(errno));
    }
    void Close(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
    ~SocketPair() {
        Close(0);
        Close(1);
    }
};

// Runs ConvertStream on what `feed` sends into the pair on a thread of its own; an
// exception of `feed` (XML that is not well formed) wins over the run's result.
template <class Feed>
Summary RunFed(Feed feed, int out, const Settings& settings, const Progress& progress) {
    SocketPair pair;
    std::exception_ptr fed;
    std::thread feeder([&] {
        try {
            feed(pair.fd[1]);
        } catch (...) {
            fed = std::current_exception();
        }
        ::shutdown(pair.fd[1], SHUT_WR);
    });
    Summary summary;
    try {
        summary = ConvertStream(pair.fd[0], out, settings, progress);
    } catch (...) {
        pair.Close(0);  // the feeder's next send fails, and it ends
        feeder.join();
        if (fed) std::rethrow_exception(fed);
        throw;
    }
    pair.Close(0);
    feeder.join();
    if (fed) std::rethrow_exception(fed);
    return summary;
}

}  // namespace

Summary ConvertFile(int in, int out, const Settings& settings, const Progress& progress) {
    std::string head = ReadSome(in, kSniffBytes);
    const Format input = InputFormat(head);
    if (input == Format::Text) {
        // A file is read again from its start; a pipe gets its first bytes back through
        // the pair.
        if (::lseek(in, 0, SEEK_SET) == 0) return ConvertStream(in, out, settings, progress);
        return RunFed(
            [&](int to) {
                if (!SendAll(to, head)) return;
                for (std::string more; !(more = ReadSome(in, kReadBytes)).empty();)
                    if (!SendAll(to, more)) return;
            },
            out, settings, progress);
    }
    if (settings.conversion.direction != convert::Direction::WGS84ToED50)
        throw RunError("los ficheros " + std::string(FormatTitle(input)) +
                       " son WGS84: se convierten en el sentido WGS84 a ED50");
    // The table of the points: latitude and longitude, the elevation an altitude.
    Settings table = settings;
    table.layout = XmlLayout();
    table.conversion.heightIsAltitude = true;
    table.conversion.input = InputForm::Geographic;
    table.conversion.zone = 0;
    // The command line's result columns, left as they are when no height is read, get
    // the height an elevation gives.
    const Outputs noHeight{true, true, true, false, true, false, false};
    if (settings.outputs == noHeight) {
        table.outputs.height = TransformsHeight(settings.conversion.method);
        table.outputs.altitude = true;
    }
    XmlPoints xml(input);
    std::atomic<std::uint64_t> bytesRead{0};
    const Progress shown = !progress ? Progress() : [&](std::uint64_t, std::uint64_t rows) { progress(bytesRead.load(), rows); };
    Summary summary = RunFed(
        [&](int to) {
            std::string rows;
            std::string bytes = std::move(head);
            for (;;) {
                const bool last = bytes.size() < (bytesRead.load() == 0 ? kSniffBytes : kReadBytes);
                bytesRead += bytes.size();
                xml.Feed(bytes, last, rows);
                if (!SendAll(to, rows) || last) return;
                rows.clear();
                bytes = ReadSome(in, kReadBytes);
            }
        },
        out, table, shown);
    summary.input = input;
    // An error's line: the element's in the XML file (the table's line 2 is point 0).
    for (RowError& e : summary.firstErrors)
        if (e.line >= 2 && e.line - 2 < xml.Lines().size()) e.line = xml.Lines()[e.line - 2];
    return summary;
}

}  // namespace batch
