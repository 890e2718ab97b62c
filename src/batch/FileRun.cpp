// ConvertFile: the input's form found from its first bytes; GPX and KML read as a table
// on a thread of their own, which hands the table to the run through a socket pair so
// that memory stays bounded whatever the size of the file.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <thread>

#include "batch/Stream.h"
#include "tables/SystemError.h"

namespace batch {
namespace {

// The bytes the form of an input is found from; GPX and KML name their first element
// well before.
constexpr std::size_t kSniffBytes = 4096;
constexpr std::size_t kReadBytes = std::size_t{1} << 20;

// What one read of the input gave.
struct Piece {
    std::string bytes;
    bool end = false;  // the input ended
};

// Reads what the input has, at most `size` bytes: with `fill`, as many unless the input
// ends first; otherwise as soon as any came, so that a pipe's rows go on while its writer
// pauses. Empty once `stop` is set: a pipe whose writer goes on is not waited on after the
// run has ended. Throws RunError.
Piece ReadPiece(int fd, std::size_t size, bool fill, const std::atomic<bool>& stop) {
    Piece piece;
    piece.bytes.resize(size);
    std::size_t got = 0;
    while (got < size) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 100);
        if (stop.load()) break;
        if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
        const ssize_t n = ::read(fd, piece.bytes.data() + got, size - got);
        if (n == 0) {
            piece.end = true;
            break;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            throw tables::RunError("no se puede leer la entrada: " + tables::SystemErrorText(errno));
        }
        got += static_cast<std::size_t>(n);
        if (!fill) break;
    }
    piece.bytes.resize(got);
    return piece;
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
            throw tables::RunError("no se puede preparar la lectura: " + tables::SystemErrorText(errno));
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
Summary RunFed(Feed feed, int out, const tables::Settings& settings, const Progress& progress) {
    SocketPair pair;
    std::exception_ptr fed;
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        try {
            feed(pair.fd[1], stop);
        } catch (...) {
            fed = std::current_exception();
        }
        ::shutdown(pair.fd[1], SHUT_WR);
    });
    Summary summary;
    try {
        summary = ConvertStream(pair.fd[0], out, settings, progress);
    } catch (...) {
        stop = true;
        pair.Close(0);  // the feeder's next send fails, and it ends
        feeder.join();
        if (fed) std::rethrow_exception(fed);
        throw;
    }
    stop = true;
    pair.Close(0);
    feeder.join();
    if (fed) std::rethrow_exception(fed);
    return summary;
}

}  // namespace

Summary ConvertFile(int in, int out, const tables::Settings& given, const Progress& progress) {
    const std::atomic<bool> never{false};
    Piece head = ReadPiece(in, kSniffBytes, true, never);
    const tables::Format input = gps::InputFormat(head.bytes);
    if (input == tables::Format::Text) {
        const tables::Settings settings = tables::TableSettings(given);
        // A file is read again from its start; a pipe gets its first bytes back through
        // the pair.
        if (::lseek(in, 0, SEEK_SET) == 0) return ConvertStream(in, out, settings, progress);
        return RunFed(
            [&](int to, const std::atomic<bool>& stop) {
                for (Piece piece = std::move(head); SendAll(to, piece.bytes) && !piece.end && !stop.load();)
                    piece = ReadPiece(in, kReadBytes, false, stop);
            },
            out, settings, progress);
    }
    if (input == tables::Format::Kml)
        throw tables::RunError("es KML, que se convierte como capa: dé el fichero por su nombre, con la extensión .kml o .kmz");
    // A GPS file is WGS84 degrees by its standard.
    const tables::Settings settings = tables::TowardTarget(given, tables::CrsName{tables::CrsName::Datum::WGS84, 0});
    if (settings.conversion.direction != core::Direction::WGS84ToED50 && !settings.conversion.sameDatum)
        throw tables::RunError("los ficheros " + std::string(gps::FormatTitle(input)) +
                       " son WGS84: se convierten en el sentido WGS84 a ED50");
    // The table of the points: latitude and longitude, the elevation an altitude.
    tables::Settings table = settings;
    table.layout = gps::XmlLayout();
    table.conversion.heightIsAltitude = true;
    table.conversion.input = tables::InputForm::Geographic;
    table.conversion.zone = 0;
    if (table.decimalSign == 0) table.decimalSign = ',';  // the window's, not XML's
    // The command line's result columns, left as they are when no height is read, get
    // the height an elevation gives.
    const tables::Outputs noHeight{true, true, true, false, true, false, false};
    if (settings.outputs == noHeight) {
        table.outputs.height = tables::TransformsHeight(settings.conversion.method);
        table.outputs.altitude = true;
    }
    gps::XmlPoints xml;
    std::atomic<std::uint64_t> bytesRead{0};
    const Progress shown = !progress ? Progress() : [&](std::uint64_t, std::uint64_t rows) { progress(bytesRead.load(), rows); };
    Summary summary = RunFed(
        [&](int to, const std::atomic<bool>& stop) {
            std::string rows;
            for (Piece piece = std::move(head);;) {
                bytesRead += piece.bytes.size();
                xml.Feed(piece.bytes, piece.end, rows);
                if (!SendAll(to, rows) || piece.end || stop.load()) return;
                rows.clear();
                piece = ReadPiece(in, kReadBytes, false, stop);
            }
        },
        out, table, shown);
    summary.input = input;
    // An error's line: the element's in the XML file (the table's line 2 is point 0).
    for (tables::RowError& e : summary.firstErrors)
        if (e.line >= 2 && e.line - 2 < xml.Lines().size()) e.line = xml.Lines()[e.line - 2];
    for (tables::RowError& n : summary.notes)
        if (n.line >= 2 && n.line - 2 < xml.Lines().size()) n.line = xml.Lines()[n.line - 2];
    for (const gps::XmlNote& n : xml.Notes())
        if (summary.notes.size() < tables::kListedNotes) summary.notes.push_back({n.line, n.message});
    summary.noted += xml.Noted();
    return summary;
}

}  // namespace batch
