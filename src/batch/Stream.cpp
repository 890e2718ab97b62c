#include "batch/Stream.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "batch/Converter.h"
#include "batch/SystemError.h"
#include "geo/Ellipsoid.h"

namespace batch {
namespace {

// A chunk holds a few thousand lines, or fewer lines of up to a megabyte: enough to keep
// the threads' hand-overs rare, few enough that the chunks in flight, with a converted
// result for each row, cost a few megabytes.
constexpr std::size_t kChunkLines = 8192;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// The first lines the layout is found from.
constexpr std::size_t kSampleLines = 64;

// A NUL byte among the first bytes: the input is binary or UTF-16, not a text table.
constexpr std::size_t kTextCheckBytes = 64 * 1024;

// Reads whole lines, a chunk at a time.
class Reader {
  public:
    explicit Reader(int fd) : fd_(fd) {}

    // The next chunk: kChunkLines whole lines, or fewer when they pass kChunkBytes or the
    // input ends. False at the end of the input.
    bool Next(std::string& text, std::uint64_t& firstLine) {
        std::size_t scanned = start_, lines = 0, cut = 0;
        while (true) {
            while (lines < kChunkLines) {
                const void* newline = std::memchr(buffer_.data() + scanned, '\n', buffer_.size() - scanned);
                if (newline == nullptr) break;
                scanned = static_cast<std::size_t>(static_cast<const char*>(newline) - buffer_.data()) + 1;
                ++lines;
            }
            const std::size_t size = buffer_.size() - start_;
            if (lines == kChunkLines || (lines > 0 && size >= kChunkBytes)) {
                cut = scanned;
                break;
            }
            if (eof_) {
                cut = buffer_.size();
                break;
            }
            if (size > kMaxLineBytes)
                throw RunError("fila " + std::to_string(nextLine_) +
                               ": línea de más de 2 MiB; la entrada no parece una tabla de texto");
            // What earlier chunks took goes before more is read.
            buffer_.erase(0, start_);
            scanned -= start_;
            start_ = 0;
            ReadMore();
        }
        text.assign(buffer_, start_, cut - start_);
        start_ = cut;
        if (text.empty()) return false;
        firstLine = nextLine_;
        nextLine_ += lines;
        return true;
    }

    std::uint64_t BytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }

  private:
    void ReadMore() {
        const std::size_t old = buffer_.size();
        buffer_.resize(old + kChunkBytes);
        ssize_t n;
        do {
            n = ::read(fd_, buffer_.data() + old, kChunkBytes);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            const int e = errno;
            buffer_.resize(old);
            throw RunError("no se puede leer la entrada: " + SystemErrorText(e));
        }
        buffer_.resize(old + static_cast<std::size_t>(n));
        eof_ = n == 0;
        bytesRead_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }

    int fd_;
    std::string buffer_;     // read and not yet given out from start_ on
    std::size_t start_ = 0;
    bool eof_ = false;
    std::uint64_t nextLine_ = 1;
    std::atomic<std::uint64_t> bytesRead_{0};
};

void WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RunError("no se puede escribir la salida: " + SystemErrorText(errno));
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

// One line of a chunk.
struct Row {
    enum class Kind { Blank, Header, Point, Error };
    Kind kind = Kind::Blank;
    std::size_t begin = 0, size = 0;  // the line's text in the chunk, without its end
    std::string_view end;             // "\r\n", "\n" or ""
    std::string decoded;              // the line in UTF-8 when it was Windows-1252
    std::string error;                // Kind::Error, before any conversion
    std::size_t point = 0;            // Kind::Point: index in Chunk::points
};

struct Chunk {
    std::size_t index = 0;
    std::uint64_t firstLine = 1;
    std::string text;
    std::vector<Row> rows;
    std::vector<RowPoint> points;
    std::vector<RowResult> results;
    std::string out;
    // What the chunk adds to the summary.
    std::uint64_t converted = 0, failed = 0, windows1252 = 0;
    std::vector<RowError> errors;  // the first kListedErrors

    std::string_view Line(const Row& r) const {
        return r.decoded.empty() ? std::string_view(text).substr(r.begin, r.size) : std::string_view(r.decoded);
    }
    void AddError(std::uint64_t line, std::string message) {
        ++failed;
        if (errors.size() < kListedErrors) errors.push_back({line, std::move(message)});
    }
};

// Splits a chunk into its rows (decoding lines that are not UTF-8).
void SplitRows(Chunk& c) {
    c.rows.clear();
    c.windows1252 = 0;
    const std::string_view text = c.text;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t newline = text.find('\n', begin);
        Row r;
        r.begin = begin;
        if (newline == std::string_view::npos) {
            newline = text.size();
            r.end = "";
        } else {
            r.end = "\n";
        }
        r.size = newline - begin;
        if (r.size > 0 && text[begin + r.size - 1] == '\r' && !r.end.empty()) {
            --r.size;
            r.end = "\r\n";
        }
        const std::string_view line = text.substr(r.begin, r.size);
        if (!IsUtf8(line)) {
            r.decoded = FromWindows1252(line);
            ++c.windows1252;
        }
        c.rows.push_back(std::move(r));
        begin = newline + 1;
    }
}

class Run {
  public:
    Run(int in, int out, const Settings& settings) : reader_(in), in_(in), out_(out), settings_(settings) {}

    Summary Go(const Progress& progress) {
        Chunk first;
        if (!reader_.Next(first.text, first.firstLine)) return summary_;
        if (first.text.starts_with(kBom)) {
            summary_.bom = true;
            first.text.erase(0, kBom.size());
        }
        if (first.text.find('\0') < kTextCheckBytes)
            throw RunError("la entrada no parece texto: tiene bytes nulos (¿es UTF-16 o un fichero binario?)");
        SplitRows(first);
        std::vector<std::string> sample;
        for (const Row& r : first.rows) {
            if (sample.size() == kSampleLines) break;
            sample.emplace_back(first.Line(r));
        }
        try {
            layout_ = FindLayout(sample, settings_.layout, settings_.conversion);
        } catch (const LayoutError& e) {
            throw RunError(e.what());
        }
        summary_.layout = layout_;
        outSeparator_ = OutputSeparator(layout_.separator, settings_.decimalSign);
        sameSeparator_ = outSeparator_ == SeparatorChar(layout_.separator);
        resultNames_ = ResultNames(settings_.outputs, settings_.conversion.direction);
        firstChunk_ = std::move(first);
        havePrefetched_ = true;

        // Two threads, each with its own converter when a child process can be had;
        // the child must be forked before any thread starts. The grids stay in this
        // process: a forked copy would share their open files' positions.
        Conversion conversion = settings_.conversion;
        conversion.altitude = settings_.outputs.altitude;
        converters_.push_back(std::make_unique<Slot>(LocalConverter(conversion)));
        if (settings_.childConverter && !NeedsGrids(settings_)) {
            if (std::unique_ptr<Converter> child = ProcessConverter(conversion, {in_, out_}))
                converters_.push_back(std::make_unique<Slot>(std::move(child)));
        }
        constexpr unsigned kWorkers = 2;
        running_ = kWorkers;
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < kWorkers; ++i)
            threads.emplace_back([this, i] { Work(*converters_[i % converters_.size()]); });
        {
            std::unique_lock lock(doneMutex_);
            while (!doneCv_.wait_for(lock, std::chrono::milliseconds(200), [this] { return running_ == 0; })) {
                if (!progress || failed_.load()) continue;
                // A progress call that throws (a user who cancels) stops the run as a
                // failing thread does: the threads finish their chunks and end, then the
                // exception goes on to the caller.
                try {
                    progress(reader_.BytesRead(), rowsWritten_.load(std::memory_order_relaxed));
                } catch (...) {
                    std::lock_guard failing(writeMutex_);
                    if (!failure_) failure_ = std::current_exception();
                    failed_ = true;
                    writeTurn_.notify_all();
                }
            }
        }
        for (std::thread& t : threads) t.join();
        if (failure_) std::rethrow_exception(failure_);
        return summary_;
    }

  private:
    struct Slot {
        explicit Slot(std::unique_ptr<Converter> c) : converter(std::move(c)) {}
        std::unique_ptr<Converter> converter;
        std::mutex mutex;  // one conversion at a time (the local converter may be shared)
    };

    // Takes chunks until the input ends or a thread fails.
    void Work(Slot& slot) {
        Chunk c;
        try {
            while (!failed_.load()) {
                bool split = false;
                {
                    std::lock_guard lock(readMutex_);
                    if (failed_.load()) break;
                    if (havePrefetched_) {
                        c = std::move(firstChunk_);
                        havePrefetched_ = false;
                        split = true;
                    } else if (!reader_.Next(c.text, c.firstLine)) {
                        break;
                    }
                    c.index = nextIndex_++;
                }
                if (!split) SplitRows(c);
                ReadPoints(c);
                {
                    std::lock_guard lock(slot.mutex);
                    slot.converter->Convert(c.points, c.results);
                }
                Write(c);
                WriteInTurn(c);
            }
        } catch (...) {
            std::lock_guard lock(writeMutex_);
            if (!failure_) failure_ = std::current_exception();
            failed_ = true;
            writeTurn_.notify_all();
        }
        std::lock_guard lock(doneMutex_);
        --running_;
        doneCv_.notify_all();
    }

    void ReadPoints(Chunk& c) {
        c.points.clear();
        c.converted = c.failed = 0;
        c.errors.clear();
        std::vector<std::string> fields;
        std::string pointText;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            Row& r = c.rows[i];
            const std::uint64_t line = c.firstLine + i;
            const std::string_view text = c.Line(r);
            r.error.clear();
            if (text.find_first_not_of(" \t") == std::string_view::npos) {
                r.kind = Row::Kind::Blank;
                continue;
            }
            if (line == layout_.headerLine) {
                r.kind = Row::Kind::Header;
                continue;
            }
            SplitFields(text, layout_.separator, fields);
            if (layout_.pointColumns.empty()) {
                r.kind = Row::Kind::Error;
                r.error = "no se sabe en qué columnas está el punto; indíquelas con --columnas";
            } else if (fields.size() != layout_.columns) {
                r.kind = Row::Kind::Error;
                r.error = "hay " + std::to_string(fields.size()) + (fields.size() == 1 ? " columna" : " columnas") +
                          " y se esperaban " + std::to_string(layout_.columns);
            } else {
                r.kind = Row::Kind::Point;
                r.point = c.points.size();
                std::string_view height;
                if (layout_.heightColumn && *layout_.heightColumn < fields.size()) height = fields[*layout_.heightColumn];
                PointText(fields, layout_.pointColumns, pointText);
                c.points.push_back(ReadPoint(pointText, height, settings_.conversion));
            }
        }
    }

    void Write(Chunk& c) {
        std::string& out = c.out;
        out.clear();
        if (c.index == 0 && summary_.bom) out += kBom;
        std::vector<std::string> fields, texts;
        const std::size_t results = ResultCount(settings_.outputs);
        const char sep = outSeparator_;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const Row& r = c.rows[i];
            const std::string_view text = c.Line(r);
            if (r.kind == Row::Kind::Blank) {
                out.append(text).append(r.end);
                continue;
            }
            if (sameSeparator_) {
                out.append(text);
            } else {
                SplitFields(text, layout_.separator, fields);
                for (std::size_t f = 0; f < fields.size(); ++f) {
                    if (f > 0) out += sep;
                    AppendField(out, fields[f], sep);
                }
            }
            std::string_view error = r.error;
            texts.clear();
            if (r.kind == Row::Kind::Header) {
                texts = resultNames_;
                texts.pop_back();
                error = resultNames_.back();
            } else if (r.kind == Row::Kind::Point) {
                const RowResult& result = c.results[r.point];
                if (result.error.empty()) {
                    AppendResultTexts(result, settings_.outputs, settings_.decimalSign, texts);
                    ++c.converted;
                } else {
                    error = result.error;
                }
            }
            std::string numbered;
            if (r.kind != Row::Kind::Header && !error.empty()) {
                const std::uint64_t line = c.firstLine + i;
                numbered = "fila " + std::to_string(line) + ": " + std::string(error);
                c.AddError(line, std::string(error));
                error = numbered;
            }
            texts.resize(results);
            for (const std::string& t : texts) {
                out += sep;
                AppendField(out, t, sep);
            }
            out += sep;
            AppendField(out, error, sep);
            out.append(r.end);
        }
    }

    // Writes the chunk once every chunk before it is written, and adds it to the summary.
    void WriteInTurn(Chunk& c) {
        {
            std::unique_lock lock(writeMutex_);
            writeTurn_.wait(lock, [&] { return nextWrite_ == c.index || failed_.load(); });
            if (failed_.load()) return;
        }
        WriteAll(out_, c.out);
        summary_.lines += c.rows.size();
        summary_.converted += c.converted;
        summary_.failed += c.failed;
        summary_.windows1252 += c.windows1252;
        for (RowError& e : c.errors)
            if (summary_.firstErrors.size() < kListedErrors) summary_.firstErrors.push_back(std::move(e));
        rowsWritten_.fetch_add(c.rows.size(), std::memory_order_relaxed);
        std::lock_guard lock(writeMutex_);
        ++nextWrite_;
        writeTurn_.notify_all();
    }

    Reader reader_;
    int in_, out_;
    const Settings& settings_;
    Layout layout_;
    char outSeparator_ = ';';
    bool sameSeparator_ = true;
    std::vector<std::string> resultNames_;
    Summary summary_;

    std::mutex readMutex_;  // the reader, the prefetched first chunk, nextIndex_
    Chunk firstChunk_;
    bool havePrefetched_ = false;
    std::size_t nextIndex_ = 0;

    std::vector<std::unique_ptr<Slot>> converters_;

    std::mutex writeMutex_;  // nextWrite_, failure_
    std::condition_variable writeTurn_;
    std::size_t nextWrite_ = 0;
    std::exception_ptr failure_;
    std::atomic<bool> failed_{false};

    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    unsigned running_ = 0;
    std::atomic<std::uint64_t> rowsWritten_{0};
};

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace

Summary ConvertStream(int in, int out, const Settings& settings, const Progress& progress) {
    Run run(in, out, settings);
    return run.Go(progress);
}

std::string SummaryText(const Summary& s, std::string_view inputName) {
    std::string text;
    for (const RowError& e : s.firstErrors)
        text += std::string(inputName) + ":" + std::to_string(e.line) + ": " + e.message + "\n";
    if (s.failed > s.firstErrors.size())
        text += "... y " + Count(s.failed - s.firstErrors.size(), "error más", "errores más") +
                " (columna Error de la salida)\n";
    text += "talpor-lote: " + std::string(inputName) + ": ";
    if (!s.layout || (s.converted == 0 && s.failed == 0)) {
        text += s.layout && s.layout->headerLine != 0 ? "solo hay cabecera" : "está vacía";
        return text + ", ningún punto que convertir\n";
    }
    text += Count(s.converted, "fila convertida", "filas convertidas");
    if (s.failed > 0) text += ", " + Count(s.failed, "con error", "con error");
    const Layout& l = *s.layout;
    text += "; punto en " + std::string(l.pointColumns.size() == 1 ? "la " : "las ") + ColumnsText(l.pointColumns);
    if (l.heightColumn) text += ", altura en la " + ColumnsText({*l.heightColumn});
    text += ", separador " + std::string(SeparatorName(l.separator));
    text += l.headerLine != 0 ? ", cabecera en la fila " + std::to_string(l.headerLine) : ", sin cabecera";
    if (s.windows1252 > 0)
        text += "; " + Count(s.windows1252, "fila leída", "filas leídas") + " como Latin-1 (no eran UTF-8)";
    return text + "\n";
}

}  // namespace batch
