// Workbooks through GDAL's XLSX, ODS and XLS drivers (Sheets.h). GDAL rather than a
// reader of our own: it already reads the three formats (the old binary .xls too, which
// no small reader would), through its zip layer's guards against bombs, and it runs in
// talpor-capas, whose memory the calling process watches; what is left here is to take
// its layers as grids. Headers are forced off, so that the header row comes as cells like
// the rest and the table's own rules find it.
//
// GDAL types a column, not a cell: a column of numbers under a header of text is a
// column of texts, each number the text the file holds for it ("440721.5"). Such a text
// that is a number written plainly in the C locale is taken back as the number; any
// other text ("0123", "440.721,5", "1e5") stays a text.
#include "gdal/Sheets.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

thread_local std::string t_lastError;

void CPL_STDCALL KeepError(CPLErr level, CPLErrorNum, const char* message) {
    if (level >= CE_Failure && message != nullptr) t_lastError = message;
}

// GDAL's messages kept for as long as it lives, the drivers' options set for this thread.
class Session {
  public:
    Session() {
        GDALAllRegister();
        t_lastError.clear();
        CPLPushErrorHandler(KeepError);
        for (const char* name : {"OGR_XLSX_HEADERS", "OGR_ODS_HEADERS", "OGR_XLS_HEADERS"})
            CPLSetThreadLocalConfigOption(name, "DISABLE");
        for (const char* name : {"OGR_XLSX_FIELD_TYPES", "OGR_ODS_FIELD_TYPES", "OGR_XLS_FIELD_TYPES"})
            CPLSetThreadLocalConfigOption(name, "AUTO");
    }
    ~Session() { CPLPopErrorHandler(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

void Say(char* error, int size, const std::string& text) {
    if (size > 0) std::snprintf(error, static_cast<std::size_t>(size), "%s", text.c_str());
}

// "-12", "440721.5", "0.25": a sign, digits without a leading zero, a point and decimals.
bool PlainNumber(const char* t) {
    if (*t == '-') ++t;
    if (*t < '0' || *t > '9') return false;
    if (t[0] == '0' && t[1] >= '0' && t[1] <= '9') return false;
    while (*t >= '0' && *t <= '9') ++t;
    if (*t == '.') {
        ++t;
        if (*t < '0' || *t > '9') return false;
        while (*t >= '0' && *t <= '9') ++t;
    }
    return *t == '\0';
}

// The shortest text that reads back as `v`.
std::string Shortest(double v) {
    char text[40];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

int Read(const char* path, const TalporSheetReader* reader, char* error, int size) {
    Session session;
    static const char* const kDrivers[] = {"XLSX", "ODS", "XLS", nullptr};
    GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kDrivers, nullptr, nullptr);
    if (ds == nullptr) {
        Say(error, size, t_lastError.empty() ? "GDAL no la reconoce como hoja de cálculo" : t_lastError);
        return 0;
    }
    long long cells = 0;
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
    std::vector<int> kinds;
    int done = 1;
    for (int l = 0; done == 1 && l < GDALDatasetGetLayerCount(ds); ++l) {
        OGRLayerH layer = GDALDatasetGetLayer(ds, l);
        if (reader->sheet(reader->context, OGR_L_GetName(layer)) != 0) {
            done = 0;
            break;
        }
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
        const int fields = OGR_FD_GetFieldCount(defn);
        OGR_L_ResetReading(layer);
        while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
            texts.assign(static_cast<std::size_t>(fields), std::string());
            kinds.assign(static_cast<std::size_t>(fields), TalporSheetEmpty);
            int count = 0;
            for (int i = 0; i < fields; ++i) {
                if (!OGR_F_IsFieldSetAndNotNull(f, i)) continue;
                const OGRFieldType type = OGR_Fld_GetType(OGR_FD_GetFieldDefn(defn, i));
                const char* text = OGR_F_GetFieldAsString(f, i);
                if (type == OFTReal) {
                    texts[i] = Shortest(OGR_F_GetFieldAsDouble(f, i));
                } else {
                    texts[i] = text;
                }
                kinds[i] = type == OFTInteger || type == OFTInteger64 || type == OFTReal ||
                                   (type == OFTString && PlainNumber(text))
                               ? TalporSheetNumber
                               : TalporSheetText;
                if (texts[i].empty()) kinds[i] = TalporSheetEmpty;
                if (kinds[i] != TalporSheetEmpty) count = i + 1;
            }
            OGR_F_Destroy(f);
            cells += fields;
            if (reader->maxCells > 0 && cells > reader->maxCells) {
                Say(error, size, "más de " + std::to_string(reader->maxCells) + " celdas");
                GDALClose(ds);
                return 0;
            }
            pointers.clear();
            for (const std::string& t : texts) pointers.push_back(t.c_str());
            if (reader->row(reader->context, count, pointers.data(), kinds.data()) != 0) {
                done = 0;
                break;
            }
        }
    }
    GDALClose(ds);
    if (done == 0) Say(error, size, "");
    return done;
}

int Write(const char* path, const char* driverName, const TalporSheetOut* sheets, int count, char* error, int size) {
    Session session;
    GDALDriverH driver = GDALGetDriverByName(driverName);
    GDALDatasetH ds = driver != nullptr ? GDALCreate(driver, path, 0, 0, 0, GDT_Unknown, nullptr) : nullptr;
    if (ds == nullptr) {
        Say(error, size, t_lastError.empty() ? std::string("GDAL no escribe ") + driverName : t_lastError);
        return 0;
    }
    bool ok = true;
    for (int s = 0; ok && s < count; ++s) {
        const TalporSheetOut& sheet = sheets[s];
        OGRLayerH layer = GDALDatasetCreateLayer(ds, sheet.name, nullptr, wkbNone, nullptr);
        ok = layer != nullptr;
        for (int c = 0; ok && c < sheet.columns; ++c) {
            OGRFieldDefnH field = OGR_Fld_Create(sheet.names[c], sheet.numeric[c] != 0 ? OFTReal : OFTString);
            ok = OGR_L_CreateField(layer, field, TRUE) == OGRERR_NONE;
            OGR_Fld_Destroy(field);
        }
        const long long columns = sheet.columns;
        for (long long r = 0; ok && r < sheet.rows; ++r) {
            OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
            for (int c = 0; c < sheet.columns; ++c) {
                const long long i = r * columns + c;
                if (sheet.kinds[i] == TalporSheetEmpty) continue;
                if (sheet.kinds[i] == TalporSheetNumber && sheet.numeric[c] != 0) {
                    OGR_F_SetFieldDouble(f, c, sheet.numbers[i]);
                } else if (sheet.kinds[i] == TalporSheetNumber) {
                    OGR_F_SetFieldString(f, c, Shortest(sheet.numbers[i]).c_str());
                } else {
                    OGR_F_SetFieldString(f, c, sheet.texts[i]);
                }
            }
            ok = OGR_L_CreateFeature(layer, f) == OGRERR_NONE;
            OGR_F_Destroy(f);
        }
    }
    // The file is written as it is closed (GDAL 3.6's GDALClose says nothing of how it went).
    if (ok) t_lastError.clear();
    GDALClose(ds);
    ok = ok && t_lastError.empty();
    if (!ok) Say(error, size, t_lastError.empty() ? "GDAL no ha podido escribirla" : t_lastError);
    return ok ? 1 : 0;
}

const TalporSheetFunctions kFunctions = {kTalporSheetVersion, Read, Write};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TalporSheetFunctions* talpor_gdal_sheets() { return &kFunctions; }
