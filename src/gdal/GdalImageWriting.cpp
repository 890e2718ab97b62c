// Images written: a georeference moved with the pixels untouched (the file copied and its
// tags or sidecars rewritten, or its pixels written again in another format), an image
// resampled by GDAL's warper, and each writing watched for what GDAL says or prints.
#include "gdal/GdalParts.h"


#include "tables/Encoding.h"
#include "tables/SystemError.h"
#include "gdal/KmlStructure.h"
#include "gdal/KmlWriter.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <algorithm>
#include <array>
#include <functional>
#include <cctype>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gdal {

std::string EsriWkt(int epsg) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    std::string text;
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT1_ESRI", nullptr};
    if (OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && OSRExportToWktEx(srs, &wkt, options) == OGRERR_NONE) text = wkt;
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    return text;
}

// An ASCII grid's header holds its georeference: the header is written again with the new
// corner and cell size, every line of values after it copied as it was, and the system
// in a .prj beside it.
int MoveAsciiGrid(const char* input, const char* output, const double* t, int epsg, char* error, int size) {
    std::FILE* in = std::fopen(input, "rb");
    std::FILE* out = std::fopen(output, "wb");
    bool ok = in != nullptr && out != nullptr;
    long long rows = 0;
    std::string line;
    bool header = true;
    for (int c; ok && (c = std::fgetc(in)) != EOF;) {
        line += static_cast<char>(c);
        if (c != '\n') continue;
        if (header) {
            std::string key;
            for (char k : line) {
                if (std::isspace(static_cast<unsigned char>(k))) break;
                key += static_cast<char>(std::tolower(static_cast<unsigned char>(k)));
            }
            const std::string end = line.ends_with("\r\n") ? "\r\n" : "\n";
            const auto number = [](double v) {
                char text[64];
                std::snprintf(text, sizeof text, "%.15g", v);
                return std::string(text);
            };
            const bool centre = key == "xllcenter" || key == "yllcenter";
            if (key == "nrows") rows = std::atoll(line.c_str() + key.size());
            if (key == "xllcorner" || key == "xllcenter") line = key + " " + number(t[0] + (centre ? t[1] / 2 : 0)) + end;
            else if (key == "yllcorner" || key == "yllcenter")
                line = key + " " + number(t[3] + rows * t[5] - (centre ? t[5] / 2 : 0)) + end;
            else if (key == "cellsize") line = key + " " + number(t[1]) + end;
            else if (key == "dx") line = key + " " + number(t[1]) + end;
            else if (key == "dy") line = key + " " + number(-t[5]) + end;
            else if (key.empty() || !std::isalpha(static_cast<unsigned char>(key[0]))) header = false;
        }
        ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
        line.clear();
    }
    ok = ok && (line.empty() || std::fwrite(line.data(), 1, line.size(), out) == line.size());
    ok = ok && std::ferror(in) == 0;
    if (in != nullptr) std::fclose(in);
    if (out != nullptr && std::fclose(out) != 0) ok = false;
    const std::string prj = std::string(output).substr(0, std::string(output).rfind('.')) + ".prj";
    const std::string wkt = EsriWkt(epsg);
    std::FILE* p = ok ? std::fopen(prj.c_str(), "wb") : nullptr;
    ok = ok && p != nullptr && !wkt.empty() && std::fputs(wkt.c_str(), p) >= 0;
    if (p != nullptr && std::fclose(p) != 0) ok = false;
    if (!ok) CopyText("no se puede escribir la malla", error, size);
    return ok ? 1 : 0;
}

// GDAL's progress, passed on; what stops it stops the writing.
int Passed(double fraction, const char*, void* context) {
    const TalporGdalProgress* p = static_cast<const TalporGdalProgress*>(context);
    return p == nullptr || p->done == nullptr || p->done(std::clamp(fraction, 0.0, 1.0), p->context) != 0 ? 1 : 0;
}

// Copies the bytes of `from` to `to`, in the kernel where it can, saying how far it got.
// "" when done; why not otherwise ("" too when stopped, with `stopped` set).
std::string CopyBytes(const std::string& from, const std::string& to, const TalporGdalProgress* progress, bool& stopped) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return std::strerror(errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return std::strerror(e);
    }
    struct stat st {};
    const double size = ::fstat(in, &st) == 0 && st.st_size > 0 ? static_cast<double>(st.st_size) : 1;
    std::string why;
    bool kernel = true;
    std::vector<char> buffer;
    for (double copied = 0;;) {
        ssize_t n = kernel ? ::copy_file_range(in, nullptr, out, nullptr, std::size_t{64} << 20, 0) : -1;
        if (n < 0 && kernel && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            kernel = false;
            buffer.resize(std::size_t{1} << 20);
        }
        if (!kernel) {
            n = ::read(in, buffer.data(), buffer.size());
            for (ssize_t w = 0, done = 0; n > 0 && done < n; done += w)
                if ((w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done))) < 0) {
                    n = -1;
                    break;
                }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            break;
        }
        if (n == 0) break;
        copied += static_cast<double>(n);
        if (Passed(copied / size, nullptr, const_cast<TalporGdalProgress*>(progress)) == 0) {
            stopped = true;
            break;
        }
    }
    if (::close(out) != 0 && why.empty() && !stopped) why = std::strerror(errno);
    ::close(in);
    return why;
}

// Writes `text` into the file `path`, whole; false when it cannot.
bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return (f == nullptr || std::fclose(f) == 0) && ok;
}

// Whether GDAL reads `path` back in `epsg` and at `t`: what was written is what was meant.
bool ReadsBack(const std::string& path, const double* t, int epsg) {
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) return false;
    double gt[6];
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
    bool same = GDALGetGeoTransform(ds, gt) == CE_None && srs != nullptr && EpsgOf(srs) == epsg;
    for (int i = 0; same && i < 6; ++i) same = std::abs(gt[i] - t[i]) <= 1e-9 * std::max(1.0, std::abs(t[i]));
    GDALClose(ds);
    return same;
}

// Whether every pixel of the image at `path` is `src`'s, bit for bit, read back band by
// band in strips of rows: what a lossless copy into another format must give.
bool SamePixels(GDALDatasetH src, const std::string& path) {
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) return false;
    const int width = GDALGetRasterXSize(src), height = GDALGetRasterYSize(src), bands = GDALGetRasterCount(src);
    bool same = GDALGetRasterXSize(ds) == width && GDALGetRasterYSize(ds) == height && GDALGetRasterCount(ds) == bands;
    for (int b = 1; same && b <= bands; ++b) {
        GDALRasterBandH from = GDALGetRasterBand(src, b), to = GDALGetRasterBand(ds, b);
        // Read in the input's type: an ASCII grid of whole numbers reads back as Int32.
        const GDALDataType type = GDALGetRasterDataType(from);
        const std::size_t row = static_cast<std::size_t>(width) * GDALGetDataTypeSizeBytes(type);
        const int rows = static_cast<int>(std::clamp<std::size_t>((std::size_t{8} << 20) / std::max<std::size_t>(row, 1), 1,
                                                                  static_cast<std::size_t>(std::max(height, 1))));
        std::vector<unsigned char> a(row * rows), c(row * rows);
        for (int y = 0; same && y < height; y += rows) {
            const int n = std::min(rows, height - y);
            same = GDALRasterIO(from, GF_Read, 0, y, width, n, a.data(), width, n, type, 0, 0) == CE_None &&
                   GDALRasterIO(to, GF_Read, 0, y, width, n, c.data(), width, n, type, 0, 0) == CE_None &&
                   std::memcmp(a.data(), c.data(), row * static_cast<std::size_t>(n)) == 0;
        }
    }
    GDALClose(ds);
    return same;
}

std::vector<std::string> TiffOptions(GDALDatasetH src, bool cog);

// The quality `src`'s pixels were JPEG-compressed at where it is told; else GDAL's own
// default, 75 (rasters/Rasters.cpp says the same in its summary).
int JpegQualityOf(GDALDatasetH src) {
    const int q = JpegQuality(src);
    return q > 0 ? q : 75;
}

// The creation options of `format` for an image made from `src`.
std::vector<std::string> CreationOptions(GDALDatasetH src, const std::string& format) {
    if (format == "GTiff" || format == "COG") return TiffOptions(src, format == "COG");
    if (format == "JPEG") return {"WORLDFILE=YES", "QUALITY=" + std::to_string(JpegQualityOf(src))};
    if (format == "PNG") return {"WORLDFILE=YES"};
    // A JPEG 2000 without loss where the input was without loss, else at its size's share;
    // its georeference in both boxes GDAL reads (GMLJP2 and GeoJP2), with the EPSG code.
    if (format == "JP2OpenJPEG") {
        const bool jp2 = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(src)), "JP2OpenJPEG") == 0;
        const int quality = jp2 ? Jp2Quality(src) : 0;
        if (quality == 0) return {"REVERSIBLE=YES", "QUALITY=100", "GMLJP2=YES", "GeoJP2=YES"};
        return {"QUALITY=" + std::to_string(quality), "GMLJP2=YES", "GeoJP2=YES"};
    }
    return {};
}

// Whether an image written in `format` with `options` keeps every pixel's value.
bool Lossless(const std::string& format, const std::vector<std::string>& options) {
    if (format == "JPEG" || std::find(options.begin(), options.end(), "COMPRESS=JPEG") != options.end()) return false;
    return format != "JP2OpenJPEG" || std::find(options.begin(), options.end(), "REVERSIBLE=YES") != options.end();
}

// A band's metadata without the statistics of its pixels, which a new encoding or a
// resampling makes another's. A list for CSLDestroy.
char** WithoutStatistics(GDALRasterBandH band) {
    char** kept = nullptr;
    for (char** m = GDALGetMetadata(band, nullptr); m != nullptr && *m != nullptr; ++m)
        if (!std::string_view(*m).starts_with("STATISTICS_")) kept = CSLAddString(kept, *m);
    return kept;
}

// What a map says of its bands besides their pixels, from `src` onto `out` where the
// writing left it out: names of categories, colour table and interpretation,
// description, nodata, units, scale and offset and the rest of each band's metadata.
void CopyLegend(GDALDatasetH src, GDALDatasetH out) {
    const int bands = std::min(GDALGetRasterCount(src), GDALGetRasterCount(out));
    for (int b = 1; b <= bands; ++b) {
        GDALRasterBandH from = GDALGetRasterBand(src, b), to = GDALGetRasterBand(out, b);
        if (char** names = GDALGetRasterCategoryNames(from); names != nullptr && GDALGetRasterCategoryNames(to) == nullptr)
            GDALSetRasterCategoryNames(to, names);
        if (GDALColorTableH table = GDALGetRasterColorTable(from); table != nullptr && GDALGetRasterColorTable(to) == nullptr)
            GDALSetRasterColorTable(to, table);
        if (GDALGetRasterColorInterpretation(to) != GDALGetRasterColorInterpretation(from))
            GDALSetRasterColorInterpretation(to, GDALGetRasterColorInterpretation(from));
        if (*GDALGetDescription(from) != 0 && *GDALGetDescription(to) == 0) GDALSetDescription(to, GDALGetDescription(from));
        int has = 0, had = 0;
        const double nodata = GDALGetRasterNoDataValue(from, &has);
        GDALGetRasterNoDataValue(to, &had);
        if (has != 0 && had == 0) GDALSetRasterNoDataValue(to, nodata);
        if (*GDALGetRasterUnitType(from) != 0) GDALSetRasterUnitType(to, GDALGetRasterUnitType(from));
        int hasScale = 0, hasOffset = 0;
        const double scale = GDALGetRasterScale(from, &hasScale), offset = GDALGetRasterOffset(from, &hasOffset);
        if (hasScale != 0) GDALSetRasterScale(to, scale);
        if (hasOffset != 0) GDALSetRasterOffset(to, offset);
        char** kept = WithoutStatistics(from);
        for (char** m = kept; m != nullptr && *m != nullptr; ++m) {
            char* key = nullptr;
            const char* value = CPLParseNameValue(*m, &key);
            if (key != nullptr && value != nullptr) GDALSetMetadataItem(to, key, value, nullptr);
            CPLFree(key);
        }
        CSLDestroy(kept);
    }
}

// The system of a format that keeps none in itself, in a .prj beside it; an XYZ grid's in
// its .aux.xml, where GDAL reads it.
bool WritePrj(const std::string& output, const std::string& format, int epsg) {
    if (format == "XYZ") {
        GDALDatasetH ds = GDALOpenEx(output.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        const bool set = ds != nullptr && OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None;
        OSRDestroySpatialReference(srs);
        if (ds != nullptr) GDALClose(ds);
        return set;
    }
    if (format != "AAIGrid" && format != "JPEG" && format != "PNG") return true;
    const std::string wkt = EsriWkt(epsg);
    return !wkt.empty() && WriteText(output.substr(0, output.rfind('.')) + ".prj", wkt);
}

// `src`'s pixels as they are, written in `format` with the georeference `t` in `epsg`:
// through a virtual copy that only changes the georeference.
int WriteAs(GDALDatasetH src, const std::string& output, const std::string& format, const double* t, int epsg,
            const TalporGdalProgress* progress, char* error, int size) {
    const char* const virtualCopy[] = {"-of", "VRT", nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(virtualCopy), nullptr);
    GDALDatasetH vrt = options != nullptr ? GDALTranslate("", src, options, nullptr) : nullptr;
    if (options != nullptr) GDALTranslateOptionsFree(options);
    double gt[6];
    std::copy(t, t + 6, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool done = vrt != nullptr && OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(vrt, srs) == CE_None &&
                GDALSetGeoTransform(vrt, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    for (int b = 1; done && b <= GDALGetRasterCount(vrt); ++b) {
        char** kept = WithoutStatistics(GDALGetRasterBand(vrt, b));
        GDALSetMetadata(GDALGetRasterBand(vrt, b), kept, nullptr);
        CSLDestroy(kept);
    }
    std::vector<std::string> o = CreationOptions(src, format);
    std::vector<char*> list;
    for (std::string& item : o) list.push_back(item.data());
    list.push_back(nullptr);
    GDALDriverH driver = GDALGetDriverByName(format.c_str());
    GDALDatasetH out = done && driver != nullptr ? GDALCreateCopy(driver, output.c_str(), vrt, FALSE, list.data(), Passed,
                                                                  const_cast<TalporGdalProgress*>(progress))
                                                 : nullptr;
    done = out != nullptr;
    if (out != nullptr) GDALClose(out);
    if (vrt != nullptr) GDALClose(vrt);
    done = done && CPLGetLastErrorType() != CE_Failure && WritePrj(output, format, epsg);
    // Written again without loss, its pixels are said to be the input's: read back, they must be.
    const bool lossless = Lossless(format, o);
    if (done && lossless && !SamePixels(src, output)) {
        CopyText("los píxeles escritos no son los de la entrada", error, size);
        return 0;
    }
    // A JPEG 2000's boxes (GMLJP2, GeoJP2) and an XYZ grid's lines say where it lies: read
    // back, they must say what was meant.
    if (done && (format == "JP2OpenJPEG" || format == "XYZ") && !ReadsBack(output, t, epsg)) {
        CopyText("GDAL no lee la imagen escrita con su nueva georreferencia", error, size);
        return 0;
    }
    if (!done) {
        CopyText(CPLGetLastErrorNo() == CPLE_UserInterrupt ? ""
                 : *CPLGetLastErrorMsg() != 0             ? CPLGetLastErrorMsg()
                                                          : "GDAL no ha podido escribir la imagen",
                 error, size);
        return 0;
    }
    return 1;
}

int MoveRaster(const char* input, const char* output, const char* worldFile, const double* t, int epsg, const char* format,
               const TalporGdalProgress* progress, char* error, int size) {
    GDALAllRegister();
    CPLErrorReset();
    GDALDatasetH src = GDALOpenEx(input, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (src == nullptr) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    const std::string from = GDALGetDriverShortName(GDALGetDatasetDriver(src));
    const bool ascii = from == "AAIGrid", label = from == "ENVI" || from == "EHdr";
    // The files GDAL keeps beside the image under its whole name (orto.tif.aux.xml,
    // orto.tif.ovr, orto.tif.msk) come along: its metadata, overviews and mask are the
    // same pixels'. Its world file and .prj are written anew. An ENVI or ESRI label's
    // (orto.hdr, orto.prj, orto.stx, orto.clr) come along under the destination's name,
    // and are written again with the georeference.
    std::vector<std::string> beside, labels;
    const std::string name = std::filesystem::path(input).filename().string();
    const std::string stem = name.substr(0, name.find('.') == std::string::npos ? name.size() : name.rfind('.'));
    if (char** list = GDALGetFileList(src)) {
        for (char** f = list; *f != nullptr; ++f) {
            const std::string other = std::filesystem::path(*f).filename().string();
            if (other.size() > name.size() && other.starts_with(name)) beside.push_back(other.substr(name.size()));
            else if (other != name) labels.push_back(other.substr(std::min(other.size(), stem.size())));
        }
        CSLDestroy(list);
    }
    // An Imagine header names its spill file and overviews (orto.ige, orto.rrd), which a
    // copy under another name would not find: its pixels are written again, as they are.
    if ((format == nullptr || *format == 0) && from == "HFA" && !labels.empty()) format = "HFA";
    if (format != nullptr && *format != 0) {
        const int written = WriteAs(src, output, format, t, epsg, progress, error, size);
        GDALClose(src);
        return written;
    }
    GDALClose(src);
    const std::string in = input, out = output, folder = std::filesystem::path(in).parent_path().string();
    const std::string outName = std::filesystem::path(out).filename().string();
    const std::string outStem = out.substr(0, out.size() - outName.size()) +
                                outName.substr(0, outName.find('.') == std::string::npos ? outName.size() : outName.rfind('.'));
    const std::string inStem = in.substr(0, in.size() - name.size()) + stem;
    for (const std::string& suffix : beside) {
        bool stopped = false;
        const std::string why = CopyBytes(in + suffix, out + suffix, nullptr, stopped);
        if (!why.empty()) {
            CopyText(("no se puede copiar «" + name + suffix + "»: " + why).c_str(), error, size);
            return 0;
        }
    }
    for (const std::string& ending : label ? labels : std::vector<std::string>{}) {
        bool stopped = false;
        const std::string why = CopyBytes(inStem + ending, outStem + ending, nullptr, stopped);
        if (!why.empty()) {
            CopyText(("no se puede copiar «" + stem + ending + "»: " + why).c_str(), error, size);
            return 0;
        }
    }
    if (ascii) {
        if (MoveAsciiGrid(input, output, t, epsg, error, size) == 0) return 0;
        if (!ReadsBack(out, t, epsg)) return CopyText("GDAL no lee la malla escrita con su nueva georreferencia", error, size), 0;
        return 1;
    }
    bool stopped = false;
    if (const std::string why = CopyBytes(in, out, progress, stopped); !why.empty() || stopped) {
        CopyText(stopped ? "" : ("no se puede copiar la imagen: " + why).c_str(), error, size);
        return 0;
    }
    CPLErrorReset();
    if (worldFile != nullptr && *worldFile != 0) {
        // A world file gives the centre of the top left pixel (ESRI's order: A D B E C F),
        // in degrees to a ten-millionth of a millimetre as in metres: a PNG's is read
        // before its .aux.xml.
        const std::string stem = out.substr(0, out.rfind('.'));
        char text[512];
        std::snprintf(text, sizeof text, "%.12f\n%.12f\n%.12f\n%.12f\n%.12f\n%.12f\n", t[1], t[4], t[2], t[5],
                      t[0] + t[1] / 2 + t[2] / 2, t[3] + t[4] / 2 + t[5] / 2);
        const std::string wkt = EsriWkt(epsg);
        if (wkt.empty() || !WriteText(stem + worldFile, text) || !WriteText(stem + ".prj", wkt)) {
            CopyText("no se puede escribir el fichero de georreferencia de la imagen", error, size);
            return 0;
        }
    }
    // A GeoTIFF's tags, an Imagine header and an ENVI or ESRI label are rewritten in place;
    // any other image keeps its georeference and system in its .aux.xml too, where GDAL
    // reads them first (it reads no .prj beside a JPEG or a PNG): set on the copy opened
    // for reading, GDAL writes them there.
    const bool inPlace = from == "GTiff" || from == "HFA" || label;
    GDALDatasetH ds = GDALOpenEx(output, GDAL_OF_RASTER | (inPlace ? GDAL_OF_UPDATE : GDAL_OF_READONLY), kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    double gt[6];
    std::copy(t, t + 6, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool set = OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None &&
               GDALSetGeoTransform(ds, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    GDALClose(ds);
    // ENVI writes the path it was opened by into its label's description: the file's name
    // is what it will be called.
    if (from == "ENVI")
        for (const std::string& ending : labels) {
            std::string text = Head(outStem + ending, std::size_t{1} << 20);
            for (std::size_t at; (at = text.find(out)) != std::string::npos;) text.replace(at, out.size(), outName);
            if (ending.ends_with(".hdr") || ending.ends_with(".HDR")) set = set && WriteText(outStem + ending, text);
        }
    if (!set || CPLGetLastErrorType() == CE_Failure) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        return 0;
    }
    // A system kept in a metadata file that came along would win over the one written.
    if (!ReadsBack(out, t, epsg)) return CopyText("GDAL no lee la imagen escrita con su nueva georreferencia", error, size), 0;
    return 1;
}

// The creation options of a GeoTIFF (or a cloud-optimised one) resampled from `src`: its
// photographs' JPEG compression kept, DEFLATE otherwise, with the predictor of its type
// for an elevation model.
std::vector<std::string> TiffOptions(GDALDatasetH src, bool cog) {
    std::vector<std::string> o = {"BIGTIFF=IF_SAFER"};
    if (!cog) o.push_back("TILED=YES");
    const GDALDataType type = GDALGetRasterCount(src) > 0 ? GDALGetRasterDataType(GDALGetRasterBand(src, 1)) : GDT_Byte;
    const bool jpeg = JpegQuality(src) != 0 && type == GDT_Byte;
    if (jpeg) {
        // At the input's own quality, not at GDAL's default.
        o.push_back("COMPRESS=JPEG");
        o.push_back((cog ? "QUALITY=" : "JPEG_QUALITY=") + std::to_string(JpegQualityOf(src)));
        const char* space = GDALGetMetadataItem(src, "SOURCE_COLOR_SPACE", "IMAGE_STRUCTURE");
        if (!cog && space != nullptr && std::strcmp(space, "YCbCr") == 0) o.push_back("PHOTOMETRIC=YCBCR");
    } else {
        o.push_back("COMPRESS=DEFLATE");
        // No predictor takes complex values.
        if (type != GDT_Byte && GDALDataTypeIsComplex(type) == 0)
            o.push_back(cog ? "PREDICTOR=YES" : GDALDataTypeIsFloating(type) ? "PREDICTOR=3" : "PREDICTOR=2");
    }
    if (cog) o.push_back("NUM_THREADS=2");
    return o;
}

// The errors GDAL reports while it resamples, but for PROJ's about single points: the
// warper tries points no image covers (the poles, to tell whether the image holds one),
// which a Molodensky step may put past them, and leaves a pixel it cannot carry empty.
struct WarpErrors {
    std::string message;
    CPLErrorNum number = CPLE_None;
};
thread_local WarpErrors* t_warpErrors = nullptr;

void CollectWarpError(CPLErr level, CPLErrorNum number, const char* message) {
    if (t_warpErrors == nullptr || level < CE_Failure || std::string_view(message).starts_with("PROJ: ")) return;
    t_warpErrors->message = OneLine(message), t_warpErrors->number = number;
}

// Whether the system of an EPSG code is in degrees.
bool InDegrees(int epsg) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    const bool degrees = OSRImportFromEPSG(srs, epsg) == OGRERR_NONE && OSRIsGeographic(srs);
    OSRDestroySpatialReference(srs);
    return degrees;
}

int WarpRaster(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size) {
    GDALAllRegister();
    CPLErrorReset();
    WarpErrors errors;
    t_warpErrors = &errors;
    CPLPushErrorHandler(CollectWarpError);
    struct Popped {
        ~Popped() {
            CPLPopErrorHandler();
            t_warpErrors = nullptr;
        }
    } popped;
    GDALDatasetH src = GDALOpenEx(input, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    double gt[6];
    if (src == nullptr || GDALGetGeoTransform(src, gt) != CE_None) {
        CopyText(CPLGetLastErrorMsg(), error, size);
        if (src != nullptr) GDALClose(src);
        return 0;
    }
    char x[64], y[64];
    std::snprintf(x, sizeof x, "%.17g", std::hypot(gt[1], gt[4]));
    std::snprintf(y, sizeof y, "%.17g", std::hypot(gt[2], gt[5]));
    const std::string source = "EPSG:" + std::to_string(warp->sourceEpsg), system = "EPSG:" + std::to_string(warp->epsg),
                      format = warp->format;
    // As gdalwarp with these options: the pixels of the input's size, two threads, a
    // warp memory of 128 MB (two of them with -multi).
    std::vector<std::string> args = {"-ct", warp->pipeline, "-s_srs", source, "-t_srs", system, "-tr", x, y, "-r", warp->resampling,
                                     "-of", format, "-multi", "-wo", "NUM_THREADS=2", "-wm", "128"};
    // From metres to degrees or back, the input's size means another length: gdalwarp's
    // own, square pixels as many across the image as the input's.
    if (InDegrees(warp->sourceEpsg) != InDegrees(warp->epsg)) args.erase(args.begin() + 6, args.begin() + 9);
    for (const std::string& o : CreationOptions(src, format)) args.insert(args.end(), {"-co", o});
    // The block cache small, whatever the machine's size (GDAL's default is a twentieth of
    // its memory): the warper reads and writes through its own chunks.
    GDALSetCacheMax64(std::int64_t{64} << 20);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    if (options != nullptr) GDALWarpAppOptionsSetProgress(options, Passed, const_cast<TalporGdalProgress*>(&warp->progress));
    int usage = 0;
    GDALDatasetH out = options != nullptr ? GDALWarp(output, nullptr, 1, &src, options, &usage) : nullptr;
    if (options != nullptr) GDALWarpAppOptionsFree(options);
    bool done = out != nullptr && usage == 0;
    if (done) CopyLegend(src, out);
    // The overviews the input had, at the same steps; none that is no smaller than the
    // image (a damaged .ovr may say anything).
    if (done && format == "GTiff" && GDALGetRasterCount(src) > 0) {
        GDALRasterBandH band = GDALGetRasterBand(src, 1);
        std::vector<int> steps;
        for (int i = 0; i < GDALGetOverviewCount(band); ++i) {
            GDALRasterBandH o = GDALGetOverview(band, i);
            const int side = o != nullptr ? GDALGetRasterBandXSize(o) : 0;
            const long step = side > 0 ? std::lround(double(GDALGetRasterBandXSize(band)) / side) : 0;
            if (step >= 2 && step <= GDALGetRasterBandXSize(band) && std::find(steps.begin(), steps.end(), step) == steps.end())
                steps.push_back(static_cast<int>(step));
        }
        const char* way = GDALGetRasterColorTable(band) != nullptr ? "NEAREST" : "AVERAGE";
        if (!steps.empty())
            done = GDALBuildOverviews(out, way, static_cast<int>(steps.size()), steps.data(), 0, nullptr, nullptr, nullptr) ==
                   CE_None;
    }
    if (out != nullptr) GDALClose(out);
    GDALClose(src);
    done = done && WritePrj(output, format, warp->epsg);
    if (!done || !errors.message.empty()) {
        const bool stopped = errors.number == CPLE_UserInterrupt;
        CopyText(stopped                     ? ""
                 : !errors.message.empty()    ? errors.message.c_str()
                 : *CPLGetLastErrorMsg() != 0 ? CPLGetLastErrorMsg()
                                              : "GDAL no ha podido remuestrear la imagen",
                 error, size);
        return 0;
    }
    return 1;
}

// ---- An image's writing, watched.


// Catches, for as long as it lives, what the libraries under GDAL print themselves on
// standard error rather than through GDAL: libjpeg's warnings as GDAL copies a JPEG's
// data into a TIFF untouched ("Corrupt JPEG data: 57 extraneous bytes before marker").
class CatchingStderr {
  public:
    CatchingStderr() : file_(std::tmpfile()) {
        std::fflush(stderr);
        if (file_ != nullptr) saved_ = ::dup(STDERR_FILENO);
        if (saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CatchingStderr() {
        Restore();
        if (file_ != nullptr) std::fclose(file_);
    }
    CatchingStderr(const CatchingStderr&) = delete;
    CatchingStderr& operator=(const CatchingStderr&) = delete;
    // What was printed, each line added to `reports` as a warning; a sanitizer's report
    // goes on to standard error as it came.
    void AddTo(Reports& reports) {
        Restore();
        if (file_ == nullptr) return;
        std::string text(std::size_t{1} << 16, '\0');
        std::rewind(file_);
        text.resize(std::fread(text.data(), 1, text.size(), file_));
        if (text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos)
            (void)!::write(STDERR_FILENO, text.data(), text.size());
        for (std::size_t from = 0, end; from < text.size(); from = end + 1) {
            end = std::min(text.find('\n', from), text.size());
            if (const std::string line = OneLine(text.substr(from, end - from).c_str()); !line.empty()) Add(reports, CE_Warning, line);
        }
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

// GDAL's words for pixels it could not read whole: a file cut short, a strip or a tile
// missing, data that does not decode.
bool SaysDamaged(const std::string& message) {
    static constexpr std::string_view kDamage[] = {
        "premature end", "corrupt", "read error", "ireadblock", "readencoded", "readraw", "filltile", "fillstrip", "decode",
        "decompress", "inflate", "truncat", "crc error", "unexpected end", "seek error", "not enough data", "too few",
        "missing", "short read", "cannot read"};
    const std::string lower = tables::AsciiLower(message);
    return std::any_of(std::begin(kDamage), std::end(kDamage), [&](std::string_view d) { return lower.find(d) != std::string::npos; });
}

// Whether the writing of `output` failed for want of room: its disk nearly full, or the
// file at the process's size limit.
bool NoRoom(const std::string& output) {
    struct stat st {};
    struct rlimit limit {};
    if (::stat(output.c_str(), &st) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(st.st_size) + (rlim_t{1} << 20) >= limit.rlim_cur)
        return true;
    struct statvfs disk {};
    const std::string folder = std::filesystem::path(output).parent_path().string();
    return ::statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 &&
           static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < (8ULL << 20);
}

// The sentence for a writing of `input` into `output` that `done` or not, with what GDAL
// reported meanwhile and the writer's `error`: pixels GDAL could not read refuse the
// image, even where the writing went on with blanks for them. 1, or 0 with `error` set.
int Judged(int done, const Reports& reports, const char* input, const char* output, char* error, int size) {
    const std::string in = std::filesystem::path(input).filename().string(), out = std::filesystem::path(output).filename().string();
    // GDAL's words name the output by its temporary path: by its name instead.
    const auto named = [&](std::string text) {
        for (std::size_t at; !std::string_view(output).empty() && (at = text.find(output)) != std::string::npos;)
            text.replace(at, std::strlen(output), out);
        for (std::size_t at; (at = text.find("./" + out)) != std::string::npos;) text.replace(at, out.size() + 2, out);
        return text;
    };
    const std::string said = named(error != nullptr ? OneLine(error) : "");
    const bool failed = done == 0 || reports.failure;
    if (failed && (done != 0 || !said.empty()) && NoRoom(output)) {
        const std::string why = said.empty() ? named(reports.messages) : said;
        return CopyText(("no se puede escribir «" + out + "»: no queda espacio" + (why.empty() ? "" : " (" + why + ")")).c_str(),
                        error, size), 0;
    }
    std::string damage;
    for (std::size_t from = 0; from < reports.messages.size() && damage.empty();) {
        const std::size_t end = std::min(reports.messages.find("; ", from), reports.messages.size());
        if (const std::string m = reports.messages.substr(from, end - from); SaysDamaged(m)) damage = named(m);
        from = end + 2;
    }
    if (!damage.empty())
        return CopyText(("no se puede leer «" + in + "»: sus píxeles están dañados o incompletos (" + damage + ")").c_str(), error, size), 0;
    if (done != 0 && !reports.failure) return 1;
    if (done != 0 || !said.empty()) {
        const std::string why = said.empty() ? named(reports.messages) : said;
        const bool ours = why.starts_with("no se puede") || why.starts_with("GDAL no");
        const std::string sentence = ours ? why : "no se puede escribir «" + out + "»: GDAL ha fallado" + (why.empty() ? "" : " (" + why + ")");
        CopyText(sentence.c_str(), error, size);
    }
    return 0;
}

int WatchedMoveRaster(const char* input, const char* output, const char* worldFile, const double* t, int epsg, const char* format,
                      const TalporGdalProgress* progress, char* error, int size) {
    Reports reports;
    CopyText("", error, size);
    int done = 0;
    {
        CollectingImage collecting(reports);
        CatchingStderr printed;
        done = MoveRaster(input, output, worldFile, t, epsg, format, progress, error, size);
        printed.AddTo(reports);
    }
    return Judged(done, reports, input, output, error, size);
}

int WatchedWarpRaster(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size) {
    Reports reports;
    CopyText("", error, size);
    int done = 0;
    {
        CollectingImage collecting(reports);
        CatchingStderr printed;
        done = WarpRaster(input, output, warp, error, size);
        printed.AddTo(reports);
    }
    return Judged(done, reports, input, output, error, size);
}


}  // namespace gdal

