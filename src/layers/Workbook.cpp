// Workbooks through talpor-capas: the caller's side starts the worker and takes its
// records; the worker's side loads the module's spreadsheet entry and runs it.
#include "layers/Workbook.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "gdal/Sheets.h"
#include "tables/Encoding.h"
#include "tables/OutputFile.h"
#include "tables/SystemError.h"

namespace layers {
namespace {

// A cell in a record: "" empty, "n" and the number's text, "t" and the text.
std::string CellField(const Cell& c) {
    if (c.kind == Cell::Kind::Empty) return {};
    if (c.kind == Cell::Kind::Text) return "t" + c.text;
    char text[40];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, c.number);
    return "n" + std::string(text, r.ptr);
}

Cell CellOf(std::string_view field) {
    Cell c;
    if (field.empty()) return c;
    if (field[0] == 'n' &&
        std::from_chars(field.data() + 1, field.data() + field.size(), c.number).ec == std::errc()) {
        c.kind = Cell::Kind::Number;
        return c;
    }
    c.kind = Cell::Kind::Text;
    c.text = field.substr(1);
    return c;
}

// The module's spreadsheet functions, beside talpor-capas as the layers' are.
const TalporSheetFunctions& Module() {
    static const TalporSheetFunctions* const functions = []() -> const TalporSheetFunctions* {
        std::error_code error;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
        const std::string path = (self.parent_path() / "talpor-gdal.so").lexically_normal().string();
        void* handle = error ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = handle != nullptr ? reinterpret_cast<TalporSheetEntry>(dlsym(handle, kTalporSheetEntry)) : nullptr;
        const TalporSheetFunctions* f = entry != nullptr ? entry() : nullptr;
        return f != nullptr && f->version == kTalporSheetVersion ? f : nullptr;
    }();
    if (functions == nullptr)
        throw tables::RunError("no se puede cargar GDAL, la biblioteca que lee las hojas de cálculo; guárdela como CSV");
    return *functions;
}

std::int64_t BytesOf(const std::string& path) {
    std::error_code e;
    const auto bytes = std::filesystem::file_size(path, e);
    return e ? 0 : static_cast<std::int64_t>(bytes);
}

// The worker's reading: a record a sheet and a record a row.
void ReadJob(const std::string& path, const std::function<void(const Record&)>& send) {
    struct Context {
        const std::function<void(const Record&)>* send;
        std::uint64_t rows = 0;
    } context{&send};
    TalporSheetReader reader{};
    reader.context = &context;
    reader.maxCells = static_cast<long long>(kMaxWorkbookCells);
    reader.sheet = [](void* c, const char* name) {
        (*static_cast<Context*>(c)->send)({"hoja", name});
        return 0;
    };
    reader.row = [](void* c, int count, const char* const* texts, const int* kinds) {
        Context& context = *static_cast<Context*>(c);
        Record r{"fila"};
        for (int i = 0; i < count; ++i)
            r.push_back(kinds[i] == TalporSheetEmpty ? std::string()
                                                     : (kinds[i] == TalporSheetNumber ? "n" : "t") + std::string(texts[i]));
        (*context.send)(r);
        if (++context.rows % 1000 == 0) (*context.send)({"leidas", std::to_string(context.rows), "0"});
        return 0;
    };
    char error[512] = "";
    if (Module().read(path.c_str(), &reader, error, sizeof error) == 0) {
        const std::string why = error;
        if (why.starts_with("más de "))
            throw tables::RunError("la hoja de cálculo tiene " + why + ": guarde sus puntos como CSV");
        throw tables::RunError("no se puede leer como hoja de cálculo (" + why + ")");
    }
}

// The worker's writing: the sheets from the file the caller wrote, a record a line.
void WriteJob(const std::string& grids, const std::string& output, const std::string& driver) {
    std::ifstream in(grids, std::ios::binary);
    std::vector<SheetOut> sheets;
    for (std::string line; std::getline(in, line);) {
        const Record r = DecodeRecord(line);
        if (r.empty()) continue;
        if (r[0] == "hoja" && r.size() >= 2) {
            sheets.push_back({r[1], {}, {}, {}});
        } else if (sheets.empty()) {
            continue;
        } else if (r[0] == "nombres") {
            sheets.back().names.assign(r.begin() + 1, r.end());
        } else if (r[0] == "numericas") {
            for (std::size_t i = 1; i < r.size(); ++i) sheets.back().numeric.push_back(r[i] == "1");
        } else if (r[0] == "fila") {
            CellRow row;
            for (std::size_t i = 1; i < r.size(); ++i) row.push_back(CellOf(r[i]));
            sheets.back().rows.push_back(std::move(row));
        }
    }
    std::vector<TalporSheetOut> out;
    std::vector<std::vector<const char*>> names(sheets.size()), texts(sheets.size());
    std::vector<std::vector<int>> numeric(sheets.size()), kinds(sheets.size());
    std::vector<std::vector<double>> numbers(sheets.size());
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        SheetOut& sheet = sheets[s];
        const std::size_t columns = sheet.names.size();
        sheet.numeric.resize(columns, false);
        for (const std::string& n : sheet.names) names[s].push_back(n.c_str());
        for (bool n : sheet.numeric) numeric[s].push_back(n ? 1 : 0);
        for (CellRow& row : sheet.rows) {
            row.resize(columns);
            for (const Cell& c : row) {
                kinds[s].push_back(c.kind == Cell::Kind::Empty    ? TalporSheetEmpty
                                   : c.kind == Cell::Kind::Number ? TalporSheetNumber
                                                                  : TalporSheetText);
                numbers[s].push_back(c.number);
                texts[s].push_back(c.text.c_str());
            }
        }
        out.push_back({sheet.name.c_str(), static_cast<int>(columns), names[s].data(), numeric[s].data(),
                       static_cast<long long>(sheet.rows.size()), kinds[s].data(), numbers[s].data(), texts[s].data()});
    }
    char error[512] = "";
    if (Module().write(output.c_str(), driver.c_str(), out.data(), static_cast<int>(out.size()), error, sizeof error) == 0)
        throw tables::RunError("no se puede escribir la hoja de cálculo (" + std::string(error) + ")");
}

}  // namespace

WorkbookKind WorkbookOfPath(std::string_view path) {
    const std::string lower = tables::AsciiLower(path);
    if (lower.ends_with(".xlsx")) return WorkbookKind::Xlsx;
    if (lower.ends_with(".ods")) return WorkbookKind::Ods;
    if (lower.ends_with(".xls")) return WorkbookKind::Xls;
    return WorkbookKind::None;
}

std::vector<Sheet> ReadWorkbook(const std::string& path, const LayerProgress& progress) {
    std::vector<Sheet> sheets;
    try {
        LayerWorker worker({"hojas", path}, -1);
        worker.Wait(LayerLimits{}, BytesOf(path), [&](const Record& r) {
            if (r.empty()) return;
            if (r[0] == "hoja" && r.size() >= 2) {
                sheets.push_back({r[1], {}});
            } else if (r[0] == "fila" && !sheets.empty()) {
                CellRow row;
                for (std::size_t i = 1; i < r.size(); ++i) row.push_back(CellOf(r[i]));
                sheets.back().rows.push_back(std::move(row));
            }
        }, progress);
    } catch (const tables::RunError& e) {
        if (WorkbookOfPath(path) != WorkbookKind::Xls) throw;
        throw tables::RunError(std::string(e.what()) + ": guárdela como .xlsx o CSV");
    }
    return sheets;
}

void WriteWorkbook(const std::string& path, WorkbookKind kind, const std::vector<SheetOut>& sheets,
                   const LayerProgress& progress) {
    // GDAL writes a workbook through its zip paths, which take a folder named like a
    // workbook (".salida.xlsx.XXXXXX", an OutputFolder's) for the archive: it writes in a
    // folder of its own among the temporary files, and the file is moved to `path`.
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/talpor-libro-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) throw tables::RunError("no se puede crear una carpeta temporal: " + tables::SystemErrorText(errno));
    struct Remove {
        const std::string& folder;
        ~Remove() {
            std::error_code e;
            std::filesystem::remove_all(folder, e);
        }
    } remove{folder};
    const std::string grids = folder + "/celdas", book = folder + (kind == WorkbookKind::Ods ? "/libro.ods" : "/libro.xlsx");
    {
        std::ofstream out(grids, std::ios::binary | std::ios::trunc);
        for (const SheetOut& s : sheets) {
            out << EncodeRecord({"hoja", s.name});
            Record names{"nombres"}, numeric{"numericas"};
            names.insert(names.end(), s.names.begin(), s.names.end());
            for (bool n : s.numeric) numeric.push_back(n ? "1" : "0");
            out << EncodeRecord(names) << EncodeRecord(numeric);
            for (const CellRow& row : s.rows) {
                Record r{"fila"};
                for (const Cell& c : row) r.push_back(CellField(c));
                out << EncodeRecord(r);
            }
        }
        if (!out.flush()) throw tables::RunError("no se puede escribir " + grids);
    }
    {
        LayerWorker worker({"libro", grids, "--salida=" + book, std::string("--formato=") + (kind == WorkbookKind::Ods ? "ODS" : "XLSX")}, -1);
        worker.Wait(LayerLimits{}, BytesOf(grids), [](const Record&) {}, progress);
    }
    std::error_code e;
    std::filesystem::rename(book, path, e);
    if (e) std::filesystem::copy_file(book, path, std::filesystem::copy_options::overwrite_existing, e);
    if (e) throw tables::RunError("no se puede escribir " + path + ": " + e.message());
}

bool WorkbookJob(const std::vector<std::string>& args, const std::function<void(const Record&)>& send) {
    if (args.empty() || (args[0] != "hojas" && args[0] != "libro")) return false;
    if (args[0] == "hojas") {
        ReadJob(args.at(1), send);
        return true;
    }
    std::string output, driver;
    for (const std::string& a : args) {
        if (a.starts_with("--salida=")) output = a.substr(9);
        if (a.starts_with("--formato=")) driver = a.substr(10);
    }
    WriteJob(args.at(1), output, driver);
    return true;
}

}  // namespace layers
