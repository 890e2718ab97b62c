#include "tables/TextTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

#include "text/FieldLimits.h"
#include "text/NumberText.h"
#include "text/PointText.h"
#include "num/RuntimeError.h"

namespace tables {
namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// What one line shows of its separators, outside quoted fields.
struct SeparatorMarks {
    bool semicolon = false, tab = false, comma = false;
    bool commasBetweenDigits = true;  // every comma has a digit on both sides
    bool innerBlanks = false;         // a blank between two other characters
};

SeparatorMarks MarksOf(std::string_view line) {
    SeparatorMarks m;
    bool quoted = false;
    const std::size_t first = line.find_first_not_of(" \t");
    const std::size_t last = line.find_last_not_of(" \t");
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && (quoted || i == 0 || line[i - 1] == ',' || line[i - 1] == ';' || line[i - 1] == '\t')) {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        if (c == ';') m.semicolon = true;
        if (c == '\t') m.tab = true;
        if (c == ',') {
            m.comma = true;
            if (i == 0 || i + 1 == line.size() || !IsDigit(line[i - 1]) || !IsDigit(line[i + 1]))
                m.commasBetweenDigits = false;
        }
        if (IsBlankChar(c) && i > first && i < last) m.innerBlanks = true;
    }
    return m;
}

// The records of a file's first lines as `separator` cuts them (RecordEnd), blank ones
// left out, each with the number of its first line. Unless the lines are the whole
// input, a last record whose quoted field goes on beyond them is left out too.
struct NumberedRecord {
    std::string text;
    std::size_t line = 0;
};

std::vector<NumberedRecord> Records(const std::vector<std::string>& lines, Separator separator, bool whole) {
    std::string text;
    for (const std::string& line : lines) text.append(line).append(1, '\n');
    std::vector<NumberedRecord> records;
    for (std::size_t begin = 0, line = 1; begin < text.size();) {
        const std::optional<std::size_t> end = RecordEnd(text, begin, separator, whole);
        if (!end) break;
        const std::string_view record = std::string_view(text).substr(begin, *end - begin - 1);
        if (record.find_first_not_of(" \t") != std::string_view::npos) records.push_back({std::string(record), line});
        line += static_cast<std::size_t>(std::count(record.begin(), record.end(), '\n')) + 1;
        begin = *end;
    }
    return records;
}

// Each separator counts in the records it would cut: the lines of a quoted field that
// holds line breaks have none.
Separator DetectSeparator(const std::vector<std::string>& lines, bool whole) {
    for (Separator s : {Separator::Semicolon, Separator::Tab, Separator::Comma}) {
        const std::vector<NumberedRecord> records = Records(lines, s, whole);
        std::size_t found = 0, decimalCommas = 0;
        for (const NumberedRecord& r : records) {
            const SeparatorMarks m = MarksOf(r.text);
            const bool has = s == Separator::Semicolon ? m.semicolon : s == Separator::Tab ? m.tab : m.comma;
            found += has;
            decimalCommas += has && s == Separator::Comma && m.commasBetweenDigits && m.innerBlanks;
        }
        if (found > records.size() / 2 && decimalCommas * 2 <= found) return s;
    }
    return Separator::Blanks;
}

bool HasWord(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (IsLetter(text[i]) && IsLetter(text[i + 1])) return true;
    return false;
}

std::string Trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

// A column's name in lower case, without accents, a unit ("(m)", "[m]", " m") or "_", "."
// and "-" between words, and its words one blank apart: "Altitud_(m)" is "altitud".
std::string NameWords(std::string_view header) {
    const std::string name = Trimmed(header);
    std::string words;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::string_view rest = std::string_view(name).substr(i);
        char c = name[i];
        for (const auto& [accented, plain] : {std::pair{"á", 'a'}, {"é", 'e'}, {"í", 'i'}, {"ó", 'o'}, {"ú", 'u'},
                                               {"Á", 'a'}, {"É", 'e'}, {"Í", 'i'}, {"Ó", 'o'}, {"Ú", 'u'}}) {
            if (rest.starts_with(accented)) {
                c = plain;
                ++i;
            }
        }
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        words += c == '_' || c == '.' || c == '-' || c == '\t' ? ' ' : c;
    }
    // The unit: "(m)", "[m]", " m".
    for (const char* unit : {"(m)", "[m]", "(metros)", " m"}) {
        words = Trimmed(words);
        if (words.ends_with(unit)) words.erase(words.size() - std::string_view(unit).size());
    }
    std::string collapsed;
    for (char c : Trimmed(words))
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += c;
    return collapsed;
}

// The surveyors' short names of a header, which hold no word: X and E for the easting,
// Y and N for the northing ("X (m)" too), and the heights' Z, H and h. No number is one.
bool IsShortName(std::string_view cell) {
    const std::string name = NameWords(cell);
    return name == "x" || name == "y" || name == "e" || name == "n" || HeightKindOf(cell) != HeightKind::None;
}

bool SameName(std::string_view a, std::string_view b) {
    const std::string x = Trimmed(a), y = Trimmed(b);
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(p) == lower(q);
           });
}

// A column given on the command line: a number from 1, or a name of the header line.
std::size_t ColumnOf(const std::string& given, const std::vector<std::string>* header) {
    if (!given.empty() && std::all_of(given.begin(), given.end(), IsDigit)) {
        const unsigned long n = given.size() > 6 ? 0 : std::stoul(given);
        if (n == 0) throw LayoutError("columna " + given + ": las columnas se numeran desde 1");
        return n - 1;
    }
    if (header == nullptr)
        throw LayoutError("la columna «" + given + "» se nombra por la cabecera, y el fichero no tiene");
    for (std::size_t i = 0; i < header->size(); ++i)
        if (SameName((*header)[i], given)) return i;
    throw LayoutError("la columna «" + given + "» no está en la cabecera");
}

struct Run {
    std::size_t start = 0, width = 0;
    auto operator<=>(const Run&) const = default;
};

std::vector<std::size_t> Columns(Run r) {
    std::vector<std::size_t> c(r.width);
    for (std::size_t i = 0; i < r.width; ++i) c[i] = r.start + i;
    return c;
}

bool ReadsAsPoint(const std::vector<std::string>& fields, const std::vector<std::size_t>& columns,
                  const Conversion& conversion) {
    std::string text;
    PointText(fields, columns, text);
    return !text.empty() && ReadPoint(text, "", conversion).kind != RowPoint::Kind::Error;
}

// A point is looked for where it starts in one of the first columns: a line of a million
// separators would otherwise take minutes.
constexpr std::size_t kSearchedColumns = 100;

// The leftmost run of columns, longest first, that reads as a point; `why` gets the
// error of the first run that looks like a point but cannot be one.
std::optional<Run> PointRun(const std::vector<std::string>& fields, std::size_t maxWidth,
                            const Conversion& conversion, std::string& why) {
    for (std::size_t start = 0; start < std::min(fields.size(), kSearchedColumns); ++start) {
        for (std::size_t width = std::min(maxWidth, fields.size() - start); width > 0; --width) {
            std::string text;
            PointText(fields, Columns({start, width}), text);
            const std::string zone = conversion.zone != 0 ? " " + std::to_string(conversion.zone) : "";
            if (text::ParsePoint(text + zone).kind == text::PastedPoint::Kind::NotACoordinate) continue;
            const RowPoint p = ReadPoint(text, "", conversion);
            if (p.kind != RowPoint::Kind::Error) return Run{start, width};
            if (why.empty()) why = p.error;
        }
    }
    return std::nullopt;
}

// The number a field holds as a UTM field reads it ("440721,00", "4.474.447"); nullopt
// for anything else.
std::optional<double> NumberOf(const std::string& field) {
    const std::optional<std::string> plain = text::PlainNumberText('U', field);
    if (!plain || plain->empty()) return std::nullopt;
    try {
        return text::FieldValue(*plain);
    } catch (const num::RuntimeError&) {
        return std::nullopt;
    }
}

// Whether most records that hold numbers hold two side by side that read as a UTM
// easting and northing of the area (zones 29 to 31, 35º to 44º N) with no zone beside.
bool HoldsEastingAndNorthing(const std::vector<std::vector<std::string>>& rows) {
    std::size_t numeric = 0, utm = 0;
    for (const std::vector<std::string>& fields : rows) {
        bool anyNumber = false, pair = false;
        for (std::size_t i = 0; i < std::min(fields.size(), kSearchedColumns); ++i) {
            const std::optional<double> e = NumberOf(fields[i]);
            anyNumber = anyNumber || e.has_value();
            if (i + 1 >= fields.size() || !e) continue;
            const std::optional<double> n = NumberOf(fields[i + 1]);
            pair = pair || (n && *e >= text::kMinEasting && *e <= text::kMaxEasting && *n >= 3800000 &&
                            *n <= 4950000);
        }
        numeric += anyNumber;
        utm += pair;
    }
    return utm > 0 && 2 * utm >= numeric;
}

}  // namespace

char SeparatorChar(Separator separator) {
    switch (separator) {
        case Separator::Semicolon: return ';';
        case Separator::Comma: return ',';
        case Separator::Tab: return '\t';
        case Separator::Blanks: break;
    }
    return ' ';
}

std::string_view SeparatorName(Separator separator) {
    switch (separator) {
        case Separator::Semicolon: return "«;»";
        case Separator::Comma: return "«,»";
        case Separator::Tab: return "tabulador";
        case Separator::Blanks: break;
    }
    return "espacios";
}

char OutputSeparator(Separator input, char decimalSign) {
    switch (input) {
        case Separator::Semicolon: return ';';
        case Separator::Comma: return decimalSign == ',' ? ';' : ',';
        case Separator::Tab:
        case Separator::Blanks: break;
    }
    return '\t';
}

namespace {

// Just past the quote that closes the quoted field opening at `quote`, a doubled quote
// standing for one; `quote` itself when it opens no field (kMaxQuotedLines: too many line
// breaks, kMaxRecordBytes from `recordBegin`, or the end of the input); nullopt when
// `text` ends first and more may follow.
std::optional<std::size_t> QuotedEnd(std::string_view text, std::size_t quote, std::size_t recordBegin, bool atEnd) {
    const std::size_t n = text.size();
    std::size_t breaks = 0, i = quote + 1;
    while (true) {
        while (i < n && text[i] != '"' && text[i] != '\n') ++i;
        if (i == n) return atEnd || n - recordBegin >= kMaxRecordBytes ? std::optional(quote) : std::nullopt;
        if (i - recordBegin >= kMaxRecordBytes) return quote;
        if (text[i] == '\n') {
            if (++breaks > kMaxQuotedLines) return quote;
            ++i;
        } else if (i + 1 < n && text[i + 1] == '"') {
            i += 2;
        } else if (i + 1 == n && !atEnd) {
            return std::nullopt;  // it may be the first of a doubled quote
        } else {
            return i + 1;
        }
    }
}

}  // namespace

// Only a quote that starts a field matters, and a field starts at the record's start or
// after a separator: outside quoted fields, the scan goes from quote to quote.
std::optional<std::size_t> RecordEnd(std::string_view text, std::size_t begin, Separator separator, bool atEnd) {
    const std::size_t n = text.size();
    const char sep = SeparatorChar(separator);
    const bool blanks = separator == Separator::Blanks;
    std::size_t i = begin, lineEnd = std::min(text.find('\n', begin), n);
    while (true) {
        const void* found = std::memchr(text.data() + i, '"', lineEnd - i);
        if (found == nullptr) {
            if (lineEnd < n) return lineEnd + 1;
            return atEnd ? std::optional(n) : std::nullopt;
        }
        const std::size_t quote = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        i = quote + 1;
        const char before = quote == begin ? sep : text[quote - 1];
        if (before != sep && !(blanks && IsBlankChar(before))) continue;
        const std::optional<std::size_t> end = QuotedEnd(text, quote, begin, atEnd);
        if (!end) return std::nullopt;
        if (*end != quote) {
            i = *end;
            if (i > lineEnd) lineEnd = std::min(text.find('\n', i), n);
        }
    }
}

void SplitFields(std::string_view record, Separator separator, std::vector<std::string>& fields) {
    fields.clear();
    const bool blanks = separator == Separator::Blanks;
    const char sep = SeparatorChar(separator);
    auto ends = [&](std::size_t i) { return blanks ? IsBlankChar(record[i]) : record[i] == sep; };
    std::size_t i = 0;
    const std::size_t n = record.size();
    while (true) {
        if (blanks) {
            while (i < n && IsBlankChar(record[i])) ++i;
            if (i == n) return;
        }
        std::string field;
        if (i < n && record[i] == '"') {
            const std::size_t quote = i;
            bool closed = false;
            for (++i; i < n && !closed; ++i) {
                if (record[i] != '"') {
                    field += record[i];
                } else if (i + 1 < n && record[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    closed = true;
                }
            }
            // A quote that does not close in the record is a plain character (RecordEnd).
            if (!closed) {
                field.clear();
                i = quote;
            }
        }
        const std::size_t start = i;
        while (i < n && !ends(i)) ++i;
        field.append(record.substr(start, i - start));
        fields.push_back(std::move(field));
        if (i == n) return;
        ++i;  // the separator
        if (blanks && i == n) return;
    }
}

void AppendField(std::string& out, std::string_view field, char separator) {
    const bool quote = (!field.empty() && field.front() == '"') ||
                       std::any_of(field.begin(), field.end(),
                                   [separator](char c) { return c == separator || c == '\n' || c == '\r'; });
    if (!quote) {
        out.append(field);
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

bool ReadsAsCsv(std::string_view record, char separator) {
    const std::size_t n = record.size();
    if (record.find_first_of("\"\r\n") == std::string_view::npos) return true;
    for (std::size_t i = 0;; ++i) {  // i: the start of a field
        if (i < n && record[i] == '"') {
            // To the closing quote, past doubled ones: line breaks inside are the field's.
            for (++i;; ++i) {
                if (i == n) return false;
                if (record[i] != '"') continue;
                if (i + 1 < n && record[i + 1] == '"') ++i;
                else break;
            }
            ++i;
        }
        // What is left of the field up to the separator; a quote there is a character.
        for (; i < n && record[i] != separator; ++i)
            if (record[i] == '\r' || record[i] == '\n') return false;
        if (i == n) return true;
    }
}

void PointText(const std::vector<std::string>& fields, const std::vector<std::size_t>& columns,
               std::string& text) {
    text.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] >= fields.size()) {
            text.clear();
            return;
        }
        if (i > 0) text += ' ';
        text += fields[columns[i]];
    }
}

Layout FindLayout(const std::vector<std::string>& lines, const LayoutChoice& choice, const Conversion& conversion,
                  bool whole) {
    Layout layout;
    layout.separator = choice.separator ? *choice.separator : DetectSeparator(lines, whole);
    const std::vector<NumberedRecord> records = Records(lines, layout.separator, whole);
    std::vector<std::vector<std::string>> rows(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) SplitFields(records[i].text, layout.separator, rows[i]);

    const bool namesAllowed = !rows.empty() && choice.header.value_or(true);
    const std::vector<std::string>* names = namesAllowed ? &rows[0] : nullptr;
    bool named = false;
    auto resolve = [&](const std::string& given) {
        named = named || !std::all_of(given.begin(), given.end(), IsDigit);
        return ColumnOf(given, names);
    };
    for (const std::string& c : choice.pointColumns) layout.pointColumns.push_back(resolve(c));
    if (!choice.heightColumn.empty()) layout.heightColumn = resolve(choice.heightColumn);

    if (layout.pointColumns.empty() && !rows.empty()) {
        // Each record votes for the run of columns where it holds a point.
        const std::size_t maxWidth = layout.separator == Separator::Blanks ? 10 : 8;
        std::map<Run, std::size_t> votes;
        std::string why;
        std::size_t whyLine = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string rowWhy;
            if (const std::optional<Run> r = PointRun(rows[i], maxWidth, conversion, rowWhy)) {
                ++votes[*r];
            } else if (why.empty() && !rowWhy.empty()) {
                why = rowWhy;
                whyLine = records[i].line;
            }
        }
        if (votes.empty()) {
            const bool onlyNames =
                rows.size() == 1 && choice.header.value_or(HasWord(records[0].text) ||
                                                           std::all_of(rows[0].begin(), rows[0].end(), IsShortName));
            if (!onlyNames) {
                std::string message = "no se encuentra ningún punto en " +
                                      (lines.size() == 1 ? std::string("la primera fila")
                                                         : "las " + std::to_string(lines.size()) + " primeras filas");
                if (conversion.zone == 0 && HoldsEastingAndNorthing(rows))
                    throw LayoutError(message + ": las filas parecen coordenadas UTM, Este y Norte, sin huso",
                                      Missing::Zone);
                if (!why.empty()) message += " (fila " + std::to_string(whyLine) + ": " + why + ")";
                throw LayoutError(message, Missing::Columns);
            }
            layout.headerLine = records[0].line;
            layout.columns = rows[0].size();
            return layout;
        }
        Run best = votes.begin()->first;
        for (const auto& [run, count] : votes)
            if (count > votes[best]) best = run;
        layout.pointColumns = Columns(best);
        layout.columnsFound = true;
    }
    if (rows.empty()) return layout;

    bool header = named;
    if (choice.header) {
        header = *choice.header;
    } else if (!named) {
        // A word names a column; so do the surveyors' short names, when every column of
        // the point has one ("Vértice;X;Y;Cota").
        bool word = false, shortNames = true;
        for (std::size_t c : layout.pointColumns) {
            word = word || (c < rows[0].size() && HasWord(rows[0][c]));
            shortNames = shortNames && c < rows[0].size() && IsShortName(rows[0][c]);
        }
        header = (word || shortNames) && !ReadsAsPoint(rows[0], layout.pointColumns, conversion);
    }
    if (header) layout.headerLine = records[0].line;
    if (header && choice.heightColumn.empty() && choice.findHeight) {
        const auto& p = layout.pointColumns;
        for (std::size_t c = 0; c < rows[0].size() && !layout.heightColumn; ++c) {
            const HeightKind kind = HeightKindOf(rows[0][c]);
            if (kind == HeightKind::None || std::find(p.begin(), p.end(), c) != p.end()) continue;
            layout.heightColumn = c;
            layout.heightKind = kind;
        }
    }

    // The rows that hold a point say how many columns a row has, not the broken lines of
    // a file, however many; the header settles a tie, and speaks alone when no row of
    // the sample holds a point. A header with a separator more or less than its rows
    // (a trailing ";") does not reject them.
    std::vector<std::size_t> needed = layout.pointColumns;
    if (layout.heightColumn) needed.push_back(*layout.heightColumn);
    const bool headerCounts = header && (layout.separator != Separator::Blanks || rows.size() == 1);
    std::map<std::size_t, std::size_t> counts, withPoint;
    for (std::size_t i = header && rows.size() > 1 ? 1 : 0; i < rows.size(); ++i) {
        ++counts[rows[i].size()];
        if (ReadsAsPoint(rows[i], layout.pointColumns, conversion)) ++withPoint[rows[i].size()];
    }
    if (withPoint.empty() && headerCounts) withPoint[rows[0].size()] = 1;
    std::size_t most = 0;
    for (const auto& [columns, count] : withPoint.empty() ? counts : withPoint) {
        const bool headers = headerCounts && columns == rows[0].size();
        if (count > most || (count == most && headers)) {
            most = count;
            layout.columns = columns;
        }
    }
    for (std::size_t c : needed)
        if (c >= layout.columns)
            throw LayoutError("no hay " + ColumnsText({c}) + ": las filas tienen " + std::to_string(layout.columns) +
                              (layout.columns == 1 ? " columna" : " columnas"));
    return layout;
}

char DecimalSignOf(const std::vector<std::string>& lines, const Layout& layout) {
    std::vector<std::size_t> columns = layout.pointColumns;
    if (layout.heightColumn) columns.push_back(*layout.heightColumn);
    int points = 0, commas = 0;
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i + 1 == layout.headerLine) continue;
        SplitFields(lines[i], layout.separator, fields);
        for (std::size_t c : columns) {
            if (c >= fields.size()) continue;
            const std::string& f = fields[c];
            for (std::size_t k = 1; k + 1 < f.size(); ++k) {
                if ((f[k] != '.' && f[k] != ',') || !IsDigit(f[k - 1]) || !IsDigit(f[k + 1])) continue;
                std::size_t digits = 0;
                while (k + 1 + digits < f.size() && IsDigit(f[k + 1 + digits])) ++digits;
                if (f[k] == ',') ++commas;
                else if (f[k] == '.' && digits != 3) ++points;
            }
        }
    }
    return points > commas ? '.' : ',';
}

HeightKind HeightKindOf(std::string_view header) {
    const std::string name = Trimmed(header);
    if (name == "H") return HeightKind::Altitude;
    if (name == "h") return HeightKind::Ellipsoidal;
    const std::string collapsed = NameWords(name);
    if (collapsed.find("elips") != std::string::npos || collapsed.find("ellips") != std::string::npos)
        return HeightKind::Ellipsoidal;
    for (const char* altitude :
         {"altitud", "altitude", "alt", "cota", "elevacion", "elevation", "elev", "ele", "z", "altura", "height",
          "msnm", "altitud msnm", "altitud sobre el mar", "altura sobre el mar", "altitud sobre el nivel del mar",
          "orthometric height", "altura ortometrica", "h orto", "cota ortometrica"})
        if (collapsed == altitude) return HeightKind::Altitude;
    return HeightKind::None;
}

std::string ColumnsText(const std::vector<std::size_t>& columns) {
    auto n = [](std::size_t c) { return std::to_string(c + 1); };
    if (columns.size() == 1) return "columna " + n(columns[0]);
    bool consecutive = true;
    for (std::size_t i = 1; i < columns.size(); ++i) consecutive = consecutive && columns[i] == columns[i - 1] + 1;
    if (consecutive && columns.size() > 2) return "columnas " + n(columns.front()) + " a " + n(columns.back());
    std::string text = "columnas ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += i + 1 == columns.size() ? " y " : ", ";
        text += n(columns[i]);
    }
    return text;
}

}  // namespace tables
