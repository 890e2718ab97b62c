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

#include "tables/SystemError.h"
#include "num/RuntimeError.h"

namespace batch {
namespace {

// The datum the result columns are named after: the target's; "" for the direction's.
std::string ResultDatum(const tables::Settings& settings) {
    if (!settings.target) return {};
    const std::string title = tables::TitleOf(*settings.target);
    return " " + title.substr(0, title.find(' '));
}

// The threads that read, convert and write chunks: the machine's cores, at least two so
// that reading and writing overlap the conversion, at most a few so that the chunks in
// flight stay a few megabytes.
constexpr unsigned kMaxWorkers = 8;

// A chunk holds a few thousand records, or fewer of up to a megabyte: enough to keep the
// threads' hand-overs rare, few enough that the chunks in flight, with a converted result
// for each row, cost a few megabytes.
constexpr std::size_t kChunkRecords = 8192;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// A result text that is a plain decimal number ("-3.70000886", "440611.98"), written as a
// JSON number; a caption ("40º 24' …", "30T", "EST99") is not.
bool IsJsonNumber(std::string_view text) {
    std::size_t i = text.starts_with('-') ? 1 : 0;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return false;
    if (i < text.size() && text[i] == '.') {
        const std::size_t decimals = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == decimals) return false;
    }
    return i == text.size();
}

// The height above the WGS84 ellipsoid of a converted point, which GeoJSON's third
// coordinate is: the transformed height, or the altitude plus the geoid's N where the
// method moves no height (the grid carries the altitude as it is); none without a height.
std::optional<double> WGS84Height(const tables::RowResult& r, const tables::Conversion& c) {
    if (!r.hasHeight || !r.result.point || c.direction != core::Direction::ED50ToWGS84) return std::nullopt;
    if (tables::TransformsHeight(c.method)) return r.result.point->h;
    if (!c.heightIsAltitude || c.grids == nullptr) return std::nullopt;
    const core::Altitude a = core::AltitudeOf(r.result.point->lat, r.result.point->lon, 0, c.grids->Geoid());
    if (a.answer != geo::GridAnswer::Done) return std::nullopt;
    return r.result.point->h + a.N;
}

// The first lines the layout is found from.
constexpr std::size_t kSampleLines = 64;

// A NUL byte among the first bytes: the input is binary or UTF-16, not a text table.
constexpr std::size_t kTextCheckBytes = 64 * 1024;

[[noreturn]] void TooLong(std::uint64_t line) {
    throw tables::RunError("fila " + std::to_string(line) + ": línea de más de 2 MiB; la entrada no parece una tabla de texto");
}

// Reads the input: first its head, by lines, to find the layout from; then, from the
// start again, chunks of whole records (RecordEnd), cut where the layout's separator
// says a record ends.
class Reader {
  public:
    explicit Reader(int fd) : fd_(fd) {}

    // The first kTextCheckBytes of the input, or more up to kSampleLines line ends, cut
    // at the last line end (all of it at the end of the input); "" for an empty input.
    // Nothing is taken: Next gives it again.
    std::string_view Head() {
        std::size_t lines = 0, scanned = 0;
        while (!eof_ && (lines < kSampleLines || buffer_.size() < kTextCheckBytes) &&
               buffer_.size() <= tables::kMaxRecordBytes) {
            ReadMore();
            while (lines < kSampleLines) {
                const void* newline = std::memchr(buffer_.data() + scanned, '\n', buffer_.size() - scanned);
                if (newline == nullptr) break;
                scanned = static_cast<std::size_t>(static_cast<const char*>(newline) - buffer_.data()) + 1;
                ++lines;
            }
        }
        if (eof_) return buffer_;
        const std::size_t cut = buffer_.rfind('\n');
        if (cut == std::string::npos) TooLong(1);
        return std::string_view(buffer_).substr(0, cut + 1);
    }

    // Passes over the first bytes (a byte order mark) and cuts the chunks at the ends of
    // the records of `separator`.
    void Start(std::size_t skip, tables::Separator separator) {
        start_ = skip;
        separator_ = separator;
    }

    // The next chunk: kChunkRecords whole records, or fewer when they pass kChunkBytes or
    // the input ends. False at the end of the input.
    bool Next(std::string& text, std::uint64_t& firstLine) {
        std::size_t scanned = start_, records = 0;
        while (true) {
            while (records < kChunkRecords && scanned < buffer_.size()) {
                const std::optional<std::size_t> end = tables::RecordEnd(buffer_, scanned, separator_, eof_);
                if (!end) break;
                scanned = *end;
                ++records;
            }
            const std::size_t size = buffer_.size() - start_;
            if (records == kChunkRecords || (records > 0 && size >= kChunkBytes) || eof_) break;
            if (size > tables::kMaxRecordBytes) TooLong(nextLine_);
            // What earlier chunks took goes before more is read.
            buffer_.erase(0, start_);
            scanned -= start_;
            start_ = 0;
            ReadMore();
        }
        text.assign(buffer_, start_, scanned - start_);
        start_ = scanned;
        if (text.empty()) return false;
        firstLine = nextLine_;
        nextLine_ += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
        return true;
    }

    // True once the whole input is read.
    bool AtEnd() const { return eof_; }

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
            throw tables::RunError("no se puede leer la entrada: " + tables::SystemErrorText(e));
        }
        buffer_.resize(old + static_cast<std::size_t>(n));
        eof_ = n == 0;
        bytesRead_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }

    int fd_;
    tables::Separator separator_ = tables::Separator::Semicolon;
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
            throw tables::RunError("no se puede escribir la salida: " + tables::SystemErrorText(errno));
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

// One record of a chunk: a line, or more when a quoted field holds line breaks.
struct Row {
    enum class Kind { Blank, Header, Point, Error };
    Kind kind = Kind::Blank;
    std::uint64_t line = 0;           // of the input, where the record starts
    std::size_t begin = 0, size = 0;  // the record's text in the chunk, without its end
    std::string_view end;             // "\r\n", "\n" or ""
    std::string decoded;              // the record in UTF-8 when it was Windows-1252
    std::string error;                // Kind::Error, before any conversion
    std::size_t point = 0;            // Kind::Point: index in Chunk::points
};

struct Chunk {
    std::size_t index = 0;
    std::uint64_t firstLine = 1;
    std::string text;
    std::vector<Row> rows;
    std::vector<tables::RowPoint> points;
    std::vector<tables::RowResult> results;
    std::string out;
    // What the chunk adds to the summary.
    std::uint64_t converted = 0, failed = 0, windows1252 = 0;
    std::vector<tables::RowError> errors;  // the first kListedErrors

    std::string_view Line(const Row& r) const {
        return r.decoded.empty() ? std::string_view(text).substr(r.begin, r.size) : std::string_view(r.decoded);
    }
    std::uint64_t noted = 0;
    std::vector<tables::RowError> notes;  // the first kListedNotes
    void AddNote(std::uint64_t line, const std::string& message) {
        if (++noted <= tables::kListedNotes) notes.push_back({line, message});
    }
    void AddError(std::uint64_t line, std::string message) {
        ++failed;
        if (errors.size() < tables::kListedErrors) errors.push_back({line, std::move(message)});
    }
};

// Splits a chunk into its records, as the reader cut it (decoding those that are not UTF-8).
// A record read across lines that does not have the table's `columns` was opened by a
// stray quote, not by a field with line breaks: its lines are read one by one, so that
// the broken line is an error of its own and the good lines after it convert.
void SplitRows(Chunk& c, tables::Separator separator, std::size_t columns, std::vector<std::string>& fields) {
    c.rows.clear();
    c.windows1252 = 0;
    const std::string_view text = c.text;
    std::uint64_t line = c.firstLine;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = *tables::RecordEnd(text, begin, separator, true);
        if (const std::size_t lineEnd = text.find('\n', begin); lineEnd != std::string_view::npos && lineEnd + 1 < end) {
            tables::SplitFields(text.substr(begin, end - begin - (text[end - 1] == '\n')), separator, fields);
            if (fields.size() != columns) end = lineEnd + 1;
        }
        Row r;
        r.line = line;
        r.begin = begin;
        r.size = end - begin;
        if (text[end - 1] == '\n') {
            --r.size;
            r.end = "\n";
            if (r.size > 0 && text[begin + r.size - 1] == '\r') {
                --r.size;
                r.end = "\r\n";
            }
        }
        const std::string_view record = text.substr(r.begin, r.size);
        if (std::memchr(record.data(), '\n', record.size()) != nullptr)
            line += static_cast<std::uint64_t>(std::count(record.begin(), record.end(), '\n'));
        ++line;
        if (!tables::IsUtf8(record)) {
            r.decoded = tables::FromWindows1252(record);
            ++c.windows1252;
        }
        c.rows.push_back(std::move(r));
        begin = end;
    }
}

// The error of a row whose reading or writing threw what no row should.
std::string UnexpectedError(const std::exception_ptr& thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const num::RuntimeError& e) {
        return "error de cálculo: " + e.Description();
    } catch (const std::exception& e) {
        return "error interno " + tables::Quoted(e.what());
    } catch (...) {
    }
    return "error interno";
}

class Run {
  public:
    Run(int in, int out, const tables::Settings& settings) : reader_(in), out_(out), settings_(settings) {}

    Summary Go(const Progress& progress) {
        const std::string_view head = reader_.Head();
        if (head.empty()) {
            // A GPS file without points is still a file of its format.
            if (settings_.format != tables::Format::Text) WriteAll(out_, gps::FormatHead(settings_.format) + gps::FormatTail(settings_.format));
            return summary_;
        }
        const Sample sample = SampleOf(head, reader_.AtEnd());
        summary_.bom = sample.bom;
        try {
            layout_ = tables::FindLayout(sample.lines, settings_.layout, settings_.conversion, sample.whole);
        } catch (const tables::LayoutError& e) {
            throw tables::RunError(e.what(), e.missing);
        }
        summary_.layout = layout_;
        if (layout_.heightKind != tables::HeightKind::None) TakeFoundHeight(sample.lines);
        summary_.altitudes = settings_.conversion.heightIsAltitude;
        if (settings_.decimalSign == 0) settings_.decimalSign = tables::DecimalSignOf(sample.lines, layout_);
        summary_.windows1252Out = sample.windows1252 && !sample.bom && settings_.format == tables::Format::Text;
        outSeparator_ = tables::OutputSeparator(layout_.separator, settings_.decimalSign);
        sameSeparator_ = outSeparator_ == tables::SeparatorChar(layout_.separator);
        resultNames_ = tables::ResultNames(settings_.outputs, settings_.conversion.direction, ResultDatum(settings_));
        reader_.Start(summary_.bom ? tables::kBom.size() : 0, layout_.separator);
        if (settings_.format != tables::Format::Text) NameColumns(sample.lines);

        // Every thread converts its own chunks through the core, which shares nothing
        // between calls; only the grids hold state, so each further thread opens its own
        // from the folders of the caller's.
        const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 2u, kMaxWorkers);
        std::vector<tables::Conversion> conversions(workers, settings_.conversion);
        for (unsigned i = 0; i < workers; ++i) {
            tables::Conversion& c = conversions[i];
            c.altitude = settings_.outputs.altitude;
            if (i == 0 || c.grids == nullptr) continue;
            grids_.push_back(std::make_unique<core::Grids>(c.grids->DataFolder(), c.grids->UserFolder()));
            grids_.back()->SharePlaces(*c.grids);
            c.grids = grids_.back().get();
        }
        running_ = workers;
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this, &conversions, i] { Work(conversions[i]); });
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
        if (settings_.format != tables::Format::Text) {
            if (nextIndex_ == 0) WriteAll(out_, gps::FormatHead(settings_.format));
            WriteAll(out_, gps::FormatTail(settings_.format));
        } else if (nextIndex_ == 0 && summary_.bom) {
            // An input of a byte order mark alone has no chunk to write it with.
            WriteAll(out_, tables::kBom);
        }
        return summary_;
    }

  private:
    // A height column found by its name holds what the name says, and brings the height
    // results the command line gives for a column named there.
    void TakeFoundHeight(const std::vector<std::string>& lines) {
        std::vector<std::string> header;
        tables::SplitFields(lines[layout_.headerLine - 1], layout_.separator, header);
        summary_.heightName = header[*layout_.heightColumn];
        settings_.conversion.heightIsAltitude = layout_.heightKind == tables::HeightKind::Altitude;
        settings_.layout.heightColumn = std::to_string(*layout_.heightColumn + 1);
        if (!settings_.outputsChosen) {
            settings_.outputs.height = tables::HeightResultPossible(settings_);
            settings_.outputs.altitude = tables::AltitudeResultPossible(settings_);
        }
    }

    // The names of the input's columns for a GPS format (from the header, else "Columna
    // 2"), and the one that names the points.
    void NameColumns(const std::vector<std::string>& lines) {
        std::vector<std::string> header;
        if (layout_.headerLine > 0 && layout_.headerLine <= lines.size())
            tables::SplitFields(lines[layout_.headerLine - 1], layout_.separator, header);
        header.resize(layout_.columns);
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (header[i].empty()) header[i] = "Columna " + std::to_string(i + 1);
            const auto& p = layout_.pointColumns;
            if (!nameColumn_ && gps::IsNameColumn(header[i]) && std::find(p.begin(), p.end(), i) == p.end())
                nameColumn_ = i;
        }
        columnNames_ = std::move(header);
    }

    // A row of a GPS format: a feature, or the error of a row that is no point.
    void WriteFeature(Chunk& c, const Row& r, const tables::Conversion& conversion, std::vector<std::string>& fields,
                      std::vector<std::string>& texts) {
        gps::Feature f;
        tables::SplitFields(c.Line(r), layout_.separator, fields);
        std::string error = r.error;
        const bool json = settings_.format == tables::Format::GeoJson;
        if (r.kind == Row::Kind::Point) {
            const tables::RowResult& result = c.results[r.point];
            error = result.error;
            if (error.empty()) {
                f.lat = result.result.point->lat;
                f.lon = result.result.point->lon;
                f.altitude = result.altitude;
                f.height = WGS84Height(result, conversion);
                // GeoJSON's numbers are JSON numbers, whatever the text's decimal sign.
                tables::SetResultTexts(result, settings_.outputs, json ? '.' : settings_.decimalSign, texts);
                ++c.converted;
                if (!result.note.empty()) c.AddNote(r.line, result.note);
            }
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (nameColumn_ == i) f.name = fields[i];
            else if (!fields[i].empty()) f.columns.emplace_back(i < columnNames_.size() ? columnNames_[i] : "Columna " + std::to_string(i + 1), fields[i]);
        }
        if (error.empty()) {
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (texts[i].empty()) continue;
                f.columns.emplace_back(resultNames_[i], texts[i]);
                f.isNumber.resize(f.columns.size(), false);
                f.isNumber.back() = json && IsJsonNumber(texts[i]);
            }
            if (r.kind == Row::Kind::Point && !c.results[r.point].note.empty())
                f.columns.emplace_back("Aviso", c.results[r.point].note);
        } else {
            f.error = "fila " + std::to_string(r.line) + ": " + error;
            c.AddError(r.line, error);
        }
        gps::AppendFeature(c.out, settings_.format, f);
    }

    // Takes chunks until the input ends or a thread fails.
    void Work(const tables::Conversion& conversion) {
        Chunk c;
        std::vector<std::string> fields;
        try {
            while (!failed_.load()) {
                {
                    std::lock_guard lock(readMutex_);
                    if (failed_.load() || !reader_.Next(c.text, c.firstLine)) break;
                    c.index = nextIndex_++;
                }
                SplitRows(c, layout_.separator, layout_.columns, fields);
                ReadPoints(c);
                Convert(c, conversion);
                Write(c, conversion);
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
        c.notes.clear();
        c.noted = 0;
        std::vector<std::string> fields;
        std::string pointText;
        for (Row& r : c.rows) {
            const std::string_view text = c.Line(r);
            r.error.clear();
            if (text.find_first_not_of(" \t") == std::string_view::npos) {
                r.kind = Row::Kind::Blank;
                continue;
            }
            if (r.line == layout_.headerLine) {
                r.kind = Row::Kind::Header;
                continue;
            }
            r.kind = Row::Kind::Error;
            // Whatever a row holds, what goes wrong with it is its own error, never the run's.
            try {
                tables::SplitFields(text, layout_.separator, fields);
                if (layout_.pointColumns.empty()) {
                    r.error = "no se sabe en qué columnas está el punto; indíquelas con --columnas";
                } else if (fields.size() != layout_.columns) {
                    r.error = "hay " + std::to_string(fields.size()) +
                              (fields.size() == 1 ? " columna" : " columnas") + " y se esperaban " +
                              std::to_string(layout_.columns);
                } else {
                    std::string_view height;
                    if (layout_.heightColumn && *layout_.heightColumn < fields.size())
                        height = fields[*layout_.heightColumn];
                    tables::PointText(fields, layout_.pointColumns, pointText);
                    c.points.push_back(tables::ReadPoint(pointText, height, settings_.conversion));
                    r.kind = Row::Kind::Point;
                    r.point = c.points.size() - 1;
                }
            } catch (...) {
                r.error = UnexpectedError(std::current_exception());
            }
        }
    }

    // A point whose conversion throws what the core never throws gets that as its
    // row's error, not the run's: a chunk whose batch throws goes again point by point.
    static void Convert(Chunk& c, const tables::Conversion& conversion) {
        try {
            tables::ConvertPoints(c.points, conversion, c.results);
            return;
        } catch (...) {
        }
        c.results.resize(c.points.size());
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            try {
                c.results[i] = tables::ConvertPoint(c.points[i], conversion);
            } catch (...) {
                c.results[i] = tables::RowResult{};
                c.results[i].error = "error interno al convertir el punto";
            }
        }
    }

    void Write(Chunk& c, const tables::Conversion& conversion) {
        std::string& out = c.out;
        out.clear();
        std::vector<std::string> fields, texts;
        if (settings_.format != tables::Format::Text) {
            if (c.index == 0) out += gps::FormatHead(settings_.format);
            for (const Row& r : c.rows) {
                if (r.kind == Row::Kind::Blank || r.kind == Row::Kind::Header) continue;
                WriteFeature(c, r, conversion, fields, texts);
            }
            return;
        }
        if (c.index == 0 && summary_.bom) out += tables::kBom;
        std::string unexpected;
        const std::size_t results = tables::ResultCount(settings_.outputs);
        const char sep = outSeparator_;
        for (const Row& r : c.rows) {
            const std::string_view text = c.Line(r);
            if (r.kind == Row::Kind::Blank) {
                out.append(text).append(r.end);
                continue;
            }
            if (sameSeparator_ && tables::ReadsAsCsv(text, sep)) {
                out.append(text);
            } else {
                tables::SplitFields(text, layout_.separator, fields);
                for (std::size_t f = 0; f < fields.size(); ++f) {
                    if (f > 0) out += sep;
                    tables::AppendField(out, fields[f], sep);
                }
            }
            std::string_view error = r.error, note;
            for (std::string& t : texts) t.clear();  // their memory kept for the next row
            if (r.kind == Row::Kind::Header) {
                texts.assign(resultNames_.begin(), resultNames_.end() - 2);
                error = resultNames_.end()[-2];
                note = resultNames_.back();
            } else if (r.kind == Row::Kind::Point) {
                const tables::RowResult& result = c.results[r.point];
                error = result.error;
                if (error.empty()) {
                    try {
                        tables::SetResultTexts(result, settings_.outputs, settings_.decimalSign, texts);
                        ++c.converted;
                        note = result.note;
                        if (!note.empty()) c.AddNote(r.line, result.note);
                    } catch (...) {
                        for (std::string& t : texts) t.clear();
                        unexpected = UnexpectedError(std::current_exception());
                        error = unexpected;
                    }
                }
            }
            std::string numbered;
            if (r.kind != Row::Kind::Header && !error.empty()) {
                numbered = "fila " + std::to_string(r.line) + ": " + std::string(error);
                c.AddError(r.line, std::string(error));
                error = numbered;
            }
            texts.resize(results);
            for (const std::string& t : texts) {
                out += sep;
                tables::AppendField(out, t, sep);
            }
            out += sep;
            tables::AppendField(out, error, sep);
            out += sep;
            tables::AppendField(out, note, sep);
            out.append(r.end);
        }
        if (summary_.windows1252Out) out = tables::ToWindows1252(out);
    }

    // Writes the chunk once every chunk before it is written, and adds it to the summary.
    void WriteInTurn(Chunk& c) {
        {
            std::unique_lock lock(writeMutex_);
            writeTurn_.wait(lock, [&] { return nextWrite_ == c.index || failed_.load(); });
            if (failed_.load()) return;
        }
        std::string_view text = c.out;
        if (settings_.format == tables::Format::GeoJson && !featureWritten_) {
            // The file's first feature follows the head without a comma.
            const std::size_t comma = text.find(",\n{");
            if (comma != std::string_view::npos) {
                WriteAll(out_, text.substr(0, comma));
                text.remove_prefix(comma + 1);
                featureWritten_ = true;
            }
        }
        WriteAll(out_, text);
        summary_.lines += c.rows.size();
        summary_.converted += c.converted;
        summary_.failed += c.failed;
        summary_.windows1252 += c.windows1252;
        for (tables::RowError& e : c.errors)
            if (summary_.firstErrors.size() < tables::kListedErrors) summary_.firstErrors.push_back(std::move(e));
        summary_.noted += c.noted;
        for (tables::RowError& n : c.notes)
            if (summary_.notes.size() < tables::kListedNotes) summary_.notes.push_back(std::move(n));
        rowsWritten_.fetch_add(c.rows.size(), std::memory_order_relaxed);
        std::lock_guard lock(writeMutex_);
        ++nextWrite_;
        writeTurn_.notify_all();
    }

    Reader reader_;
    int out_;
    tables::Settings settings_;  // the run's: the decimal sign decided
    tables::Layout layout_;
    char outSeparator_ = ';';
    bool sameSeparator_ = true;
    std::vector<std::string> resultNames_;
    Summary summary_;
    // GPS formats: the input's column names, and the column of the points' names.
    std::vector<std::string> columnNames_;
    std::optional<std::size_t> nameColumn_;
    bool featureWritten_ = false;  // GeoJSON: a feature is in the file

    std::mutex readMutex_;  // the reader, nextIndex_
    std::size_t nextIndex_ = 0;

    std::vector<std::unique_ptr<core::Grids>> grids_;  // of the threads after the first

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

}  // namespace

namespace {

// What a stream that is no text is, by its first bytes: images, spreadsheets, zip files,
// GeoPackages sent to standard input, which only a table can come through; "" for none.
std::string BinaryKind(std::string_view head) {
    const struct {
        std::string_view magic;
        const char* kind;
    } kinds[] = {
        {std::string_view("II*\0", 4), "es una imagen TIFF, no una tabla de puntos"},
        {std::string_view("MM\0*", 4), "es una imagen TIFF, no una tabla de puntos"},
        {std::string_view("II+\0", 4), "es una imagen TIFF, no una tabla de puntos"},
        {std::string_view("MM\0+", 4), "es una imagen TIFF, no una tabla de puntos"},
        {"\xFF\xD8\xFF", "es una imagen JPEG, no una tabla de puntos"},
        {"\x89PNG", "es una imagen PNG, no una tabla de puntos"},
        {"PK\x03\x04", "es un fichero comprimido (ZIP), quizá una hoja de cálculo o un KMZ: conviértalo por su nombre"},
        {"\xD0\xCF\x11\xE0", "es una hoja de cálculo de Excel (.xls): conviértala por su nombre"},
        {std::string_view("SQLite format 3\0", 16), "es una base de datos SQLite, quizá un GeoPackage: conviértalo por su nombre"},
        {"\xFF\xFE", "está en UTF-16: guárdela en UTF-8"},
        {"\xFE\xFF", "está en UTF-16: guárdela en UTF-8"},
    };
    for (const auto& k : kinds)
        if (head.starts_with(k.magic)) return k.kind;
    return "";
}

}  // namespace

Sample SampleOf(std::string_view head, bool headIsAll) {
    Sample sample;
    sample.bom = head.starts_with(tables::kBom);
    if (sample.bom) head.remove_prefix(tables::kBom.size());
    if (const std::string kind = BinaryKind(head); !kind.empty()) throw tables::RunError("la entrada " + kind);
    if (head.find('\0') < kTextCheckBytes)
        throw tables::RunError("la entrada no parece texto: tiene bytes nulos (¿es UTF-16 o un fichero binario?)");
    while (!head.empty() && sample.lines.size() < kSampleLines) {
        std::string_view line = head.substr(0, head.find('\n'));
        head.remove_prefix(std::min(line.size() + 1, head.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        const bool utf8 = tables::IsUtf8(line);
        sample.windows1252 = sample.windows1252 || !utf8;
        sample.lines.push_back(utf8 ? std::string(line) : tables::FromWindows1252(line));
    }
    sample.whole = headIsAll && head.empty();
    return sample;
}

Summary ConvertStream(int in, int out, const tables::Settings& settings, const Progress& progress) {
    Run run(in, out, settings);
    return run.Go(progress);
}

std::string SummaryText(const Summary& s, std::string_view inputName) {
    std::string text;
    for (const tables::RowError& e : s.firstErrors)
        text += std::string(inputName) + ":" + std::to_string(e.line) + ": " + e.message + "\n";
    if (s.failed > s.firstErrors.size())
        text += "... y " + tables::Count(s.failed - s.firstErrors.size(), "error más", "errores más") +
                " (columna Error de la salida)\n";
    for (const tables::RowError& n : s.notes)
        text += std::string(inputName) + ":" + std::to_string(n.line) + ": aviso: " + n.message + "\n";
    if (s.noted > s.notes.size()) text += "... y " + tables::Count(s.noted - s.notes.size(), "aviso más", "avisos más") + "\n";
    text += "talpor-lote: " + std::string(inputName) + ": ";
    if (!s.layout || (s.converted == 0 && s.failed == 0)) {
        text += s.layout && s.layout->headerLine != 0 ? "solo hay cabecera" : "está vacía";
        return text + ", ningún punto que convertir\n";
    }
    text += tables::Count(s.converted, "fila convertida", "filas convertidas");
    if (s.failed > 0) text += ", " + tables::Count(s.failed, "con error", "con error");
    if (s.input != tables::Format::Text) return text + "; fichero " + std::string(gps::FormatTitle(s.input)) + "\n";
    const tables::Layout& l = *s.layout;
    text += "; punto en " + std::string(l.pointColumns.size() == 1 ? "la " : "las ") + tables::ColumnsText(l.pointColumns);
    if (l.heightColumn) {
        text += (s.altitudes ? ", altitud sobre el mar en la " : ", altura sobre el elipsoide en la ") +
                tables::ColumnsText({*l.heightColumn});
        if (!s.heightName.empty()) text += " («" + s.heightName + "», por su nombre)";
    }
    if (!s.sheet) text += ", separador " + std::string(tables::SeparatorName(l.separator));
    text += l.headerLine != 0 ? ", cabecera en la fila " + std::to_string(l.headerLine) : ", sin cabecera";
    if (s.windows1252 > 0)
        text += "; " + tables::Count(s.windows1252, "fila leída", "filas leídas") + " como Latin-1 (no eran UTF-8)" +
                (s.windows1252Out ? ", y la salida en Windows-1252 como la entrada" : "");
    return text + "\n";
}

}  // namespace batch
