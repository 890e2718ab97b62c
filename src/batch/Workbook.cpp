// A sheet is converted by the text table's own run (ConvertStream) on a text made of its
// cells: one line a row, the cells between tabs, texts with their tabs and line breaks as
// blanks, numbers with a decimal comma and no thousands points, which every rule of a
// table reads as the one number it is. The lines of the result give back the result
// columns of each row; the input's columns are the sheet's own cells, untouched.
#include "batch/Workbook.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "tables/FileKind.h"
#include "tables/OutputFile.h"
#include "tables/SystemError.h"

namespace batch {
namespace {

// A file in memory, closed with its scope.
struct MemoryFile {
    int fd;
    MemoryFile() : fd(::memfd_create("talpor-hoja", MFD_CLOEXEC)) {
        if (fd < 0) throw tables::RunError("no se puede preparar la hoja: " + tables::SystemErrorText(errno));
    }
    ~MemoryFile() { ::close(fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    void Write(std::string_view text) const {
        while (!text.empty()) {
            const ssize_t n = ::write(fd, text.data(), text.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw tables::RunError("no se puede preparar la hoja: " + tables::SystemErrorText(errno));
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        ::lseek(fd, 0, SEEK_SET);
    }
    std::string Read() const {
        std::string text;
        ::lseek(fd, 0, SEEK_SET);
        char buffer[1 << 16];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw tables::RunError("no se puede leer la hoja convertida: " + tables::SystemErrorText(errno));
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
};

// A number as the table reads it: the shortest decimals that give it back, a decimal
// comma ("440721,5", "-3,7038"), never an exponent nor thousands points.
std::string NumberText(double v) {
    char text[400];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
    std::string s(text, r.ptr);
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

std::string CellText(const layers::Cell& c) {
    if (c.kind == layers::Cell::Kind::Number) return NumberText(c.number);
    std::string t = c.text;
    std::replace_if(t.begin(), t.end(), [](char ch) { return ch == '\t' || ch == '\n' || ch == '\r'; }, ' ');
    return t;
}

// A result text as a cell: a plain number with `decimalSign` a number, any other a text.
layers::Cell ResultCell(std::string_view text, char decimalSign) {
    layers::Cell c;
    if (text.empty()) return c;
    std::string plain(text);
    if (decimalSign == ',') std::replace(plain.begin(), plain.end(), ',', '.');
    const bool digits = plain.find_first_not_of("-.0123456789") == std::string::npos;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), c.number);
    if (digits && r.ec == std::errc() && r.ptr == plain.data() + plain.size()) {
        c.kind = layers::Cell::Kind::Number;
    } else {
        c.kind = layers::Cell::Kind::Text;
        c.text = text;
    }
    return c;
}

// The datum the result columns are named after, as the table's run names them.
std::string ResultDatum(const tables::Settings& settings) {
    if (!settings.target) return {};
    const std::string title = tables::TitleOf(*settings.target);
    return " " + title.substr(0, title.find(' '));
}

// ".csv" and ".txt" destinations get the text table.
bool TextDestination(const std::string& path) {
    const std::string lower = tables::AsciiLower(path);
    return lower.ends_with(".csv") || lower.ends_with(".txt");
}

// The destination of sheet `name` after the first: "salida-Hoja.csv" beside "salida.csv".
std::string SideName(const std::string& path, const std::string& name) {
    const std::filesystem::path p(path);
    std::string safe = name;
    std::replace_if(safe.begin(), safe.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20; }, '_');
    return (p.parent_path() / (p.stem().string() + "-" + safe + p.extension().string())).string();
}

// The kind of the workbook `path`, by its name or else by its content ("xlsx.dat").
layers::WorkbookKind InputKind(const std::string& path) {
    if (const layers::WorkbookKind kind = layers::WorkbookOfPath(path); kind != layers::WorkbookKind::None) return kind;
    const tables::WhatFile what = tables::WhatIs(path);
    return what.kind != tables::FileKind::Sheet ? layers::WorkbookKind::None : layers::WorkbookOfPath("." + what.format);
}

}  // namespace

bool IsWorkbookInput(const std::string& path) { return InputKind(path) != layers::WorkbookKind::None; }

std::vector<std::string> SheetLines(const layers::Sheet& sheet, std::size_t count) {
    std::size_t width = 0;
    for (const layers::CellRow& row : sheet.rows) width = std::max(width, row.size());
    std::vector<std::string> lines;
    for (const layers::CellRow& row : sheet.rows) {
        if (lines.size() == count) break;
        std::string& line = lines.emplace_back();
        for (std::size_t c = 0; c < width; ++c) {
            if (c > 0) line += '\t';
            if (c < row.size()) tables::AppendField(line, CellText(row[c]), '\t');
        }
    }
    return lines;
}

Summary ConvertSheet(const layers::Sheet& sheet, const tables::Settings& given, layers::SheetOut& out, std::string* table) {
    out = layers::SheetOut{sheet.name, {}, {}, {}};
    std::size_t width = 0;
    for (const layers::CellRow& row : sheet.rows) width = std::max(width, row.size());
    std::string text;
    for (const std::string& line : SheetLines(sheet, sheet.rows.size())) text.append(line).append("\n");
    tables::Settings settings = tables::TableSettings(given);
    settings.layout.separator = tables::Separator::Tab;
    settings.format = tables::Format::Text;
    // A height column named that this sheet has not (another sheet's): its points are
    // converted without height, as a table without such a column would be.
    const std::string& height = settings.layout.heightColumn;
    if (!height.empty() && height.find_first_not_of("0123456789") != std::string::npos &&
        std::none_of(sheet.rows.begin(), sheet.rows.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(sheet.rows.size(), 64)),
                     [&](const layers::CellRow& row) {
                         return std::any_of(row.begin(), row.end(), [&](const layers::Cell& c) { return c.text == height; });
                     })) {
        settings.layout.heightColumn.clear();
        settings.layout.findHeight = false;
        settings.conversion.heightIsAltitude = false;
        settings.outputs.height = settings.outputs.altitude = false;
    }
    if (settings.decimalSign == 0) settings.decimalSign = ',';
    MemoryFile in, converted;
    in.Write(text);
    Summary summary;
    try {
        summary = ConvertStream(in.fd, converted.fd, settings);
    } catch (const tables::RunError& e) {
        if (e.missing != tables::Missing::Columns) throw;
        return Summary{};  // no point in it
    }
    summary.sheet = true;
    if (!summary.layout || summary.converted + summary.failed == 0) {
        summary.layout.reset();
        return summary;
    }
    const std::string result = converted.Read();
    if (table != nullptr) *table = result;
    const tables::Layout& layout = *summary.layout;
    std::vector<std::string> fields;
    std::size_t line = 0;
    std::vector<std::string> resultNames = tables::ResultNames(settings.outputs, settings.conversion.direction, ResultDatum(settings));
    for (std::size_t begin = 0; begin < result.size() && line < sheet.rows.size(); ++line) {
        std::size_t end = result.find('\n', begin);
        if (end == std::string::npos) end = result.size();
        tables::SplitFields(std::string_view(result).substr(begin, end - begin), tables::Separator::Tab, fields);
        begin = end + 1;
        layers::CellRow row = sheet.rows[line];
        row.resize(width);
        if (line + 1 == layout.headerLine) {
            for (const layers::Cell& c : row) out.names.push_back(c.kind == layers::Cell::Kind::Number ? NumberText(c.number) : c.text);
            resultNames.assign(fields.begin() + static_cast<std::ptrdiff_t>(std::min(width, fields.size())), fields.end());
            continue;
        }
        for (std::size_t f = width; f < fields.size(); ++f) row.push_back(ResultCell(fields[f], settings.decimalSign));
        out.rows.push_back(std::move(row));
    }
    if (out.names.empty())
        for (std::size_t c = 0; c < width; ++c) out.names.push_back("Columna " + std::to_string(c + 1));
    for (std::size_t c = 0; c < width; ++c)
        if (out.names[c].empty()) out.names[c] = "Columna " + std::to_string(c + 1);
    out.names.insert(out.names.end(), resultNames.begin(), resultNames.end());
    // A column of numbers stays one: every cell below its header a number or empty.
    out.numeric.assign(out.names.size(), false);
    for (std::size_t c = 0; c < out.names.size(); ++c) {
        bool numbers = true, any = false;
        for (layers::CellRow& row : out.rows) {
            row.resize(out.names.size());
            numbers = numbers && row[c].kind != layers::Cell::Kind::Text;
            any = any || row[c].kind == layers::Cell::Kind::Number;
        }
        out.numeric[c] = numbers && any;
    }
    return summary;
}

WorkbookSummary ConvertWorkbook(const std::string& input, const std::string& given, const tables::Settings& settings,
                                const layers::LayerProgress& progress, const layers::ReplaceQuestion& replace) {
    // GDAL cannot write an .xls: one asked for is written as .xlsx, under that name.
    const std::string output = layers::WorkbookOfPath(given) == layers::WorkbookKind::Xls ? given + "x" : given;
    if (output == "-")
        throw tables::RunError("una hoja de cálculo se escribe en un fichero: dé un destino .xlsx, .ods o .csv");
    const layers::WorkbookKind outKind = TextDestination(output) ? layers::WorkbookKind::None
                                 : layers::IsWorkbookFile(output) ? layers::WorkbookOfPath(output)
                                                          : InputKind(input);
    std::vector<tables::FileId> inputs;
    if (const auto id = tables::IdOf(input)) inputs.push_back(*id);
    layers::CheckDestination(output, output, inputs, "una hoja de cálculo");
    WorkbookSummary summary;
    summary.fromXls = InputKind(input) == layers::WorkbookKind::Xls && outKind != layers::WorkbookKind::None;
    const std::vector<layers::Sheet> sheets = layers::ReadWorkbook(input, progress);
    std::vector<layers::SheetOut> written;
    std::vector<std::string> tables;
    for (const layers::Sheet& sheet : sheets) {
        SheetReport report;
        report.name = sheet.name;
        layers::SheetOut out;
        std::string table;
        try {
            report.summary = ConvertSheet(sheet, settings, out, outKind == layers::WorkbookKind::None ? &table : nullptr);
        } catch (const tables::RunError& e) {
            // A zone to give holds for every sheet; a column named that this sheet has
            // not is this sheet's alone.
            if (e.missing != tables::Missing::Nothing) throw tables::RunError("hoja «" + sheet.name + "»: " + e.what(), e.missing);
            report.refused = e.what();
        }
        report.points = report.summary.layout.has_value();
        if (report.points) {
            written.push_back(std::move(out));
            tables.push_back(std::move(table));
        }
        summary.sheets.push_back(std::move(report));
    }
    if (written.empty()) throw tables::RunError("ninguna hoja tiene puntos", tables::Missing::Columns);
    tables::OutputFolder folder(output);
    if (outKind != layers::WorkbookKind::None) {
        layers::WriteWorkbook(folder.Path(), outKind == layers::WorkbookKind::Xls ? layers::WorkbookKind::Xlsx : outKind, written, progress);
    } else {
        // One text table a sheet: the first under the name given, the others beside it.
        std::size_t t = 0;
        for (SheetReport& report : summary.sheets) {
            if (!report.points) continue;
            const std::string name = t == 0 ? folder.Path() : SideName(folder.Path(), report.name);
            if (t > 0) report.output = SideName(output, report.name);
            std::ofstream file(name, std::ios::binary | std::ios::trunc);
            file << tables[t++];
            if (!file.flush()) throw tables::RunError("no se puede escribir " + name);
        }
        // None of the tables beside the one named replaced without a word.
        std::vector<std::string> written, existing;
        for (const SheetReport& r : summary.sheets) {
            if (r.output.empty()) continue;
            const std::string name = std::filesystem::path(r.output).filename().string();
            written.push_back(name);
            if (std::filesystem::exists(r.output)) existing.push_back(name);
        }
        if (!existing.empty() && !settings.layers.replace) {
            const std::string them = layers::NameList(existing);
            if (!replace)
                throw tables::RunError("la conversión escribiría también " + layers::NameList(written) + ", y ya " +
                               (existing.size() == 1 ? "existe " : "existen ") + them +
                               ": elija otro destino, o añada --reemplazar para reemplazar" + (existing.size() == 1 ? "lo" : "los"));
            if (!replace(existing)) throw tables::RunError("no se ha" + std::string(existing.size() == 1 ? "" : "n") + " reemplazado " + them);
        }
    }
    folder.Commit();
    summary.output = output;
    return summary;
}

std::string WorkbookSummaryText(const WorkbookSummary& s, std::string_view inputName) {
    std::string text;
    for (const SheetReport& r : s.sheets) {
        if (!r.points) continue;
        text += SummaryText(r.summary, std::string(inputName) + ", hoja «" + r.name + "»");
        if (!r.output.empty()) text += "talpor-lote: la hoja «" + r.name + "» se escribe en " + r.output + "\n";
    }
    for (const SheetReport& r : s.sheets)
        if (!r.points)
            text += "talpor-lote: " + std::string(inputName) + ": la hoja «" + r.name + "» " +
                    (r.refused.empty() ? "no tiene puntos" : "no se puede leer: " + r.refused) + ": no se escribe\n";
    if (s.fromXls)
        text += "talpor-lote: " + std::string(inputName) + ": Excel antiguo (.xls), que GDAL lee pero no escribe: escrita como .xlsx en " +
                s.output + "\n";
    return text;
}

std::string WorkbookSummaryLine(const WorkbookSummary& s) {
    std::string line;
    for (const SheetReport& r : s.sheets) {
        line += (line.empty() ? "hoja «" : "; hoja «") + r.name + "»: ";
        if (!r.points) {
            line += (r.refused.empty() ? "sin puntos" : r.refused) + ", no se escribe";
            continue;
        }
        line += tables::Count(r.summary.converted, "fila convertida", "filas convertidas");
        if (r.summary.failed > 0) {
            line += ", " + tables::Count(r.summary.failed, "con error", "con error");
            if (!r.summary.firstErrors.empty())
                line += " (la primera, la fila " + std::to_string(r.summary.firstErrors[0].line) + ": " +
                        r.summary.firstErrors[0].message + ")";
        }
        if (!r.output.empty()) line += ", escrita en " + r.output;
    }
    if (s.fromXls) line += "; Excel antiguo (.xls), escrito como .xlsx";
    return line;
}

bool Whole(const WorkbookSummary& summary) {
    for (const SheetReport& r : summary.sheets)
        if (r.summary.failed > 0 || !r.refused.empty()) return false;
    return true;
}

}  // namespace batch
