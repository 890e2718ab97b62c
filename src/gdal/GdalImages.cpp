// Images read: their structure, georeference and system, the JPEG and JPEG 2000
// qualities GDAL does not tell, and the refusals of what is no whole image of its own
// (a VRT pointing elsewhere, a sidecar linked out of the folder, blocks past the end).
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
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gdal {

// The quality of libjpeg whose luminance table the JPEG file `path` holds, which GDAL
// does not tell for a JPEG file; -1 for a table of no quality of libjpeg's.
int QualityOfTable(const std::string& path) {
    static constexpr int kLuminance[64] = {  // libjpeg's at quality 50, in zigzag order
        16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40, 26, 24, 22, 22, 24, 49,
        35, 37, 29, 40, 58, 51, 61, 60, 57, 51, 56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55, 56,
        80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    std::vector<unsigned char> head(std::size_t{1} << 16);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    // The segments after the start of image, up to the start of scan.
    for (std::size_t at = 2; at + 4 <= head.size() && head[at] == 0xFF && head[at + 1] != 0xDA;) {
        const std::size_t length = std::size_t{head[at + 2]} << 8 | head[at + 3];
        const std::size_t end = std::min(head.size(), at + 2 + length);
        for (std::size_t t = at + 4; head[at + 1] == 0xDB && t + 65 <= end; t += (head[t] >> 4) == 0 ? 65 : 129) {
            if (head[t] != 0) continue;  // 8-bit table 0, the luminance's
            for (int q = 1; q <= 100; ++q) {
                const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
                bool same = true;
                for (int i = 0; same && i < 64; ++i)
                    same = head[t + 1 + i] == std::clamp((kLuminance[i] * scale + 50) / 100, 1, 255);
                if (same) return q;
            }
            return -1;
        }
        if (length < 2) break;
        at += 2 + length;
    }
    return -1;
}

// The quality `ds`'s pixels were JPEG-compressed at, as GDAL or the file's table tells it; 0
// for no JPEG compression, -1 for one of a quality neither tells.
int JpegQuality(GDALDatasetH ds) {
    const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
    if (c == nullptr || std::strstr(c, "JPEG") == nullptr || std::strstr(c, "JPEG2000") != nullptr) return 0;
    const char* q = GDALGetMetadataItem(ds, "JPEG_QUALITY", "IMAGE_STRUCTURE");
    if (q != nullptr && std::atoi(q) > 0 && std::atoi(q) <= 100) return std::atoi(q);
    const bool file = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "JPEG") == 0;
    return file ? QualityOfTable(GDALGetDescription(ds)) : -1;
}

// The bytes of a JPEG 2000's codestream: the whole of a .j2k, the contiguous codestream box
// (jp2c) of a .jp2; 0 where neither is found.
long long CodestreamBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    struct stat st {};
    const long long bytes = ::fstat(::fileno(f), &st) == 0 ? st.st_size : 0;
    long long found = 0;
    unsigned char head[16];
    if (std::fread(head, 1, 4, f) == 4 && head[0] == 0xFF && head[1] == 0x4F && head[2] == 0xFF && head[3] == 0x51) found = bytes;
    // The boxes at the top of the file: a length (1: a 64-bit length follows; 0: to the end) and a type.
    for (long long at = 0; found == 0 && at + 8 <= bytes && std::fseek(f, at, SEEK_SET) == 0 && std::fread(head, 1, 16, f) >= 8;) {
        unsigned long long length = 0;
        for (int i = 0; i < 4; ++i) length = length << 8 | head[i];
        long long header = 8;
        if (length == 1) {
            length = 0;
            for (int i = 8; i < 16; ++i) length = length << 8 | head[i];
            header = 16;
        }
        if (length == 0) length = static_cast<unsigned long long>(bytes - at);
        if (std::memcmp(head + 4, "jp2c", 4) == 0) found = static_cast<long long>(length) - header;
        if (length < static_cast<unsigned long long>(header)) break;
        at += static_cast<long long>(length);
    }
    std::fclose(f);
    return found;
}

// The QUALITY of JP2OpenJPEG a JPEG 2000 compressed with loss was written at, its
// codestream's bytes in hundredths of its pixels'; 0 for one compressed without loss (the
// reversible wavelet and no quality layer left out, as GDAL reads its codestream).
int Jp2Quality(GDALDatasetH ds) {
    const char* reversibility = GDALGetMetadataItem(ds, "COMPRESSION_REVERSIBILITY", "IMAGE_STRUCTURE");
    if (reversibility != nullptr && std::strcmp(reversibility, "LOSSLESS") == 0) return 0;
    const int bands = GDALGetRasterCount(ds);
    const double pixels = double(GDALGetRasterXSize(ds)) * GDALGetRasterYSize(ds) * bands *
                          (bands > 0 ? GDALGetDataTypeSizeBytes(GDALGetRasterDataType(GDALGetRasterBand(ds, 1))) : 1);
    const long long codestream = CodestreamBytes(GDALGetDescription(ds));
    return codestream > 0 && pixels > 0 ? std::clamp(static_cast<int>(std::lround(100.0 * codestream / pixels)), 1, 100) : 25;
}

// How the image keeps its pixels: its nodata, its JPEG quality, a cloud-optimised layout.
void ReadStructure(GDALDatasetH ds, TalporGdalRasterInfo* info) {
    if (GDALGetRasterCount(ds) > 0) info->nodata = GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 1), &info->hasNodata);
    const bool jp2 = std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "JP2OpenJPEG") == 0;
    info->jpegQuality = jp2 ? Jp2Quality(ds) : JpegQuality(ds);
    const char* layout = GDALGetMetadataItem(ds, "LAYOUT", "IMAGE_STRUCTURE");
    info->cog = layout != nullptr && std::strcmp(layout, "COG") == 0;
}

// ---- Images: nothing read but the image and its own files, nothing damaged taken as whole.

// The drivers an image is read with, every GDALOpenEx of one given them: files only.
// Others would take a label (PDS, ISIS) that points at any other file as the image's
// pixels, reach a server or a database, or run code. An ENVI or ESRI label lies beside
// its pixels' file, under its name; an Imagine file's spill file is checked where it lies
// (ListRefusal).
extern const char* const kImageDrivers[] = {"GTiff", "JPEG", "PNG", "AAIGrid", "GRASSASCIIGrid", "VRT", "JP2OpenJPEG",
                                     "HFA",   "ENVI", "EHdr", "XYZ", "GPKG", nullptr};

std::string Grouped(unsigned long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ".");
    return digits;
}

// Why `path` (named `shown`) cannot be read as a regular file: "" when it can, or when
// it is missing (its caller says so).
std::string NotAFile(const std::string& path, const std::string& shown) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return "«" + shown + "» es " + tables::FileKindText(st.st_mode) + ", no un fichero";
}

// Refuses, in a sentence, an image that is no regular file, and one beside which GDAL
// would read a file that is none (a FIFO stalls it) or a link out of the image's folder.
std::string FilesRefusal(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path image(path);
    const std::string name = image.filename().string(), lower = tables::AsciiLower(name);
    struct stat own {};
    if (::stat(path.c_str(), &own) != 0)
        return "«" + name + "»: " +
               (errno == ENOENT ? std::string("no existe") : "no se puede abrir (" + std::string(std::strerror(errno)) + ")");
    if (const std::string why = NotAFile(path, name); !why.empty()) return why + ": una imagen se lee de un fichero normal";
    const fs::path folder = image.has_parent_path() ? image.parent_path() : fs::path(".");
    std::error_code e;
    const fs::path home = fs::canonical(folder, e);
    for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e)) {
        const std::string other = it->path().filename().string(), low = tables::AsciiLower(other);
        const bool sidecar = TalporImageSidecar(lower, low);
        if (!sidecar) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::error_code bad;
            const fs::path target = fs::canonical(it->path(), bad);
            if (bad || target.parent_path() != home)
                return "«" + other + "», junto a la imagen, es un enlace a un fichero de otra carpeta, que Talpor no lee";
        }
        if (::stat(it->path().c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return "«" + other + "», junto a la imagen, es " + tables::FileKindText(st.st_mode) + ", no un fichero";
    }
    return "";
}

// The first bytes of a file.
std::string Head(const std::string& path, std::size_t bytes) {
    std::string text(bytes, '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    text.resize(f != nullptr ? std::fread(text.data(), 1, text.size(), f) : 0);
    if (f != nullptr) std::fclose(f);
    return text;
}

// Refuses, in a sentence, a VRT any of whose sources is not an image file in an ordinary
// folder: a device, a kernel's file (/proc/self/environ), a piece of a file, a text (a
// key, a password file) GDAL would read as pixels. VRTs within it are read the same way.
std::string VrtRefusal(const std::string& path, int depth) {
    if (Head(path, 4096).find("<VRTDataset") == std::string::npos) return "";
    CPLXMLNode* root = CPLParseXMLFile(path.c_str());
    if (root == nullptr) return "";  // GDAL says why it cannot read it
    const std::string folder = std::filesystem::path(path).parent_path().string();
    std::string why;
    const std::function<void(CPLXMLNode*)> walk = [&](CPLXMLNode* node) {
        for (; node != nullptr && why.empty(); node = node->psNext) {
            if (node->eType != CXT_Element) continue;
            if (EQUAL(node->pszValue, "SourceFilename") || EQUAL(node->pszValue, "SourceDataset")) {
                std::string source;
                bool relative = false;
                for (CPLXMLNode* c = node->psChild; c != nullptr; c = c->psNext) {
                    if (c->eType == CXT_Text) source += c->pszValue;
                    if (c->eType == CXT_Attribute && EQUAL(c->pszValue, "relativeToVRT") && c->psChild != nullptr)
                        relative = std::atoi(c->psChild->pszValue) != 0;
                }
                const std::string file = relative && !source.starts_with("/") && !folder.empty() ? folder + "/" + source : source;
                std::error_code e;
                const std::string real = std::filesystem::canonical(file, e).string();
                struct stat st {};
                const bool plain = !source.starts_with("/vsi") && !e && ::stat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                                   !real.starts_with("/proc/") && !real.starts_with("/dev/") && !real.starts_with("/sys/");
                if (e && !source.starts_with("/vsi"))
                    why = "su fuente «" + OneLine(source.c_str()) + "» no existe";
                else if (!plain || GDALIdentifyDriverEx(real.c_str(), GDAL_OF_RASTER, kImageDrivers, nullptr) == nullptr)
                    why = "su fuente «" + OneLine(source.c_str()) + "» no es un fichero de imagen (GeoTIFF, JPEG, PNG, JPEG "
                          "2000, Imagine, ENVI, malla o VRT) en una carpeta normal, y Talpor no la lee";
                else if (const std::string beside = FilesRefusal(real); !beside.empty())
                    why = "en su fuente «" + OneLine(source.c_str()) + "», " + beside;
                else if (depth < 8)
                    why = VrtRefusal(real, depth + 1);
                else
                    why = "sus VRT se anidan más de 8 niveles";
                continue;
            }
            walk(node->psChild);
        }
    };
    walk(root);
    CPLDestroyXMLNode(root);
    return why;
}

// Whether GDAL reads every pixel of `ds` without a word: `said` holds its words otherwise.
bool ReadsWhole(GDALDatasetH ds, std::string& said) {
    const int width = GDALGetRasterXSize(ds), height = GDALGetRasterYSize(ds), bands = GDALGetRasterCount(ds);
    if (bands == 0 || width == 0) return true;
    const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(ds, 1));
    const std::size_t row = static_cast<std::size_t>(width) * bands * GDALGetDataTypeSizeBytes(type);
    const int rows = static_cast<int>(std::clamp<std::size_t>((std::size_t{16} << 20) / row, 1, height));
    std::vector<unsigned char> buffer(row * rows);
    Reports reports;
    bool read = true;
    {
        CollectingImage collecting(reports);
        for (int y = 0; read && reports.messages.empty() && y < height; y += rows) {
            const int n = std::min(rows, height - y);
            read = GDALDatasetRasterIO(ds, GF_Read, 0, y, width, n, buffer.data(), width, n, type, bands, nullptr, 0, 0, 0) == CE_None;
        }
    }
    said = reports.messages.empty() && !read ? OneLine(CPLGetLastErrorMsg()) : reports.messages;
    return read && reports.messages.empty();
}

// Whether every block of a GeoTIFF lies inside its `bytes`: a file cut short has its last
// ones past its end, which GDAL reads as blank. An uncompressed block holds all its pixels:
// one shorter (a strip's rows that lie) cannot be read. `sparse`: some block was never written.
bool BlocksInside(GDALDatasetH ds, long long bytes, bool& sparse) {
    const char* interleave = GDALGetMetadataItem(ds, "INTERLEAVE", "IMAGE_STRUCTURE");
    const int bands = interleave != nullptr && EQUAL(interleave, "BAND") ? GDALGetRasterCount(ds) : 1;
    const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
    const std::string compression = c != nullptr ? c : "";
    const bool known = compression.empty() || compression == "DEFLATE" || compression == "LZW" || compression == "PACKBITS" ||
                       compression.find("JPEG") != std::string::npos;
    for (int b = 1; b <= bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        int bx = 0, by = 0;
        GDALGetBlockSize(band, &bx, &by);
        if (bx <= 0 || by <= 0) return false;
        const long long across = (GDALGetRasterXSize(ds) + (bx - 1LL)) / bx, down = (GDALGetRasterYSize(ds) + (by - 1LL)) / by;
        // Each block has its offset and size in the file, and its pixels there at most 2000
        // times smaller (as a DEFLATE block of one colour; ZSTD's or LZMA's, far more): a
        // header that declares more blocks, or blocks larger, than the file could hold lies.
        const double block = double(bx) * by * (bands == 1 ? GDALGetRasterCount(ds) : 1) *
                             GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
        if (across * down > bytes / 4 || block > (known ? 2000.0 * double(bytes) : 2147483648.0)) return false;
        // Uncompressed pixels of whole bytes: a strip holds its rows (the last one the rows
        // left), a tile all of it.
        const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE");
        const bool raw = compression.empty() && nbits == nullptr;
        const bool strips = bx == GDALGetRasterXSize(ds);
        for (long long y = 0; y < down; ++y)
            for (long long x = 0; x < across; ++x) {
                const std::string at = std::to_string(x) + "_" + std::to_string(y);
                const char* offset = GDALGetMetadataItem(band, ("BLOCK_OFFSET_" + at).c_str(), "TIFF");
                const char* size = GDALGetMetadataItem(band, ("BLOCK_SIZE_" + at).c_str(), "TIFF");
                if (offset == nullptr || size == nullptr) {
                    sparse = true;
                    continue;
                }
                if (std::atoll(offset) + std::atoll(size) > bytes) return false;
                const long long rows = strips ? std::min<long long>(by, GDALGetRasterYSize(ds) - y * by) : by;
                if (raw && double(std::atoll(size)) < block / by * double(rows)) return false;
            }
    }
    return true;
}

// The bytes of the files a VRT reads, through the VRTs it reads: what its pixels can come from.
long long VrtSourceBytes(const std::string& path, std::set<std::string>& seen, int depth) {
    long long bytes = 0;
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) return 0;
    char** list = GDALGetFileList(ds);
    GDALClose(ds);
    for (char** f = list; f != nullptr && *f != nullptr; ++f) {
        std::error_code e;
        const std::string real = std::filesystem::canonical(*f, e).string();
        if (e || !seen.insert(real).second) continue;
        struct stat st {};
        if (Head(real, 4096).find("<VRTDataset") != std::string::npos)
            bytes += depth < 8 ? VrtSourceBytes(real, seen, depth + 1) : 0;
        else if (::stat(real.c_str(), &st) == 0)
            bytes += st.st_size;
    }
    CSLDestroy(list);
    return bytes;
}

// Refuses, in a sentence, an image its file cannot hold: a header that declares more
// pixels than its compression could keep in its bytes, blocks past its end, pixels GDAL
// reads only with a warning (a JPEG cut short, corrupt data). A JPEG's, PNG's or ASCII
// grid's pixels are read through for it, and a compressed GeoTIFF's up to 64 MB; a larger GeoTIFF's
// (an orthophoto of 20.000² pixels) only where they are written, and its bytes copied
// untouched as they are.
std::string DamageRefusal(GDALDatasetH ds, const std::string& path) {
    struct stat st {};
    const long long bytes = ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
    const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
    const int bands = GDALGetRasterCount(ds);
    const double declared = double(GDALGetRasterXSize(ds)) * GDALGetRasterYSize(ds) * bands *
                            (bands > 0 ? GDALGetDataTypeSizeBytes(GDALGetRasterDataType(GDALGetRasterBand(ds, 1))) : 0);
    // The most an image of one colour shrinks: 510 times as a JPEG, 850 as a PNG or a
    // DEFLATE GeoTIFF; an orthophoto, 10 to 20 times as a JPEG, 2 to 3 with DEFLATE.
    double most = driver == "JPEG" ? 1000 : driver == "PNG" ? 2000 : 0;
    if (driver == "GTiff") {
        bool sparse = false;
        if (!BlocksInside(ds, bytes, sparse))
            return "el fichero acaba antes que sus píxeles: está cortado o dañado";
        const char* c = GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE");
        const std::string compression = c != nullptr ? c : "";
        if (!sparse && (compression.empty() || compression == "DEFLATE" || compression == "LZW" || compression == "PACKBITS" ||
                        compression.find("JPEG") != std::string::npos))
            most = 2000;
    }
    // A VRT's pixels come from its sources; one declaring far more than they could give
    // (100.000² pixels over a small orthophoto) is no mosaic, and would take hours to write.
    if (driver == "VRT" && declared > double(std::int64_t{64} << 20)) {
        std::error_code e;
        std::set<std::string> seen{std::filesystem::canonical(path, e).string()};
        const long long sources = VrtSourceBytes(path, seen, 0);
        if (declared > 2000.0 * double(sources))
            return "dice tener " + Grouped(static_cast<unsigned long long>(GDALGetRasterXSize(ds))) + " × " +
                   Grouped(static_cast<unsigned long long>(GDALGetRasterYSize(ds))) + " píxeles, que no caben en los " +
                   Grouped(static_cast<unsigned long long>(sources)) + " bytes de sus fuentes: su cabecera miente";
    }
    // An ENVI or ESRI label's pixels lie uncompressed in the file: it holds them all or is cut short.
    if ((driver == "ENVI" || driver == "EHdr") && declared > double(bytes))
        return "el fichero acaba antes que sus píxeles: está cortado o dañado";
    if (most > 0 && declared > most * std::max(bytes, 1LL))
        return "dice tener " + Grouped(static_cast<unsigned long long>(GDALGetRasterXSize(ds))) + " × " +
               Grouped(static_cast<unsigned long long>(GDALGetRasterYSize(ds))) + " píxeles, que no caben en sus " +
               Grouped(static_cast<unsigned long long>(bytes)) + " bytes: está cortada o su cabecera miente";
    std::string said;
    // A compressed GeoTIFF's blocks decode or not; an uncompressed one's cannot be told
    // damaged beyond what BlocksInside sees.
    const bool small = declared <= double(std::int64_t{64} << 20);
    const bool smallCompressed = small && ((driver == "GTiff" && GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE") != nullptr) ||
                                           driver == "JP2OpenJPEG" || driver == "HFA" || driver == "GPKG");
    if ((driver == "JPEG" || driver == "PNG" || driver == "AAIGrid" || driver == "GRASSASCIIGrid" || driver == "XYZ" ||
         smallCompressed) &&
        !ReadsWhole(ds, said))
        return "sus píxeles están dañados o incompletos" + (said.empty() ? std::string() : " (" + said + ")");
    return "";
}

// The system in the .prj beside `path`, read as GDAL reads an ASCII grid's: its lines as
// ESRI writes them (a byte-order mark and blank lines skipped, as Windows editors and
// gdalsrsinfo leave them), never as a name GDAL would look up elsewhere. Null for none.
OGRSpatialReferenceH PrjBeside(const std::string& path) {
    const std::string stem = path.substr(0, path.rfind('.'));
    for (const char* e : {".prj", ".PRJ"}) {
        std::string text = Head(stem + e, 1 << 16);
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t end; from < text.size(); from = end + 1) {
            end = std::min(text.find('\n', from), text.size());
            std::string line = text.substr(from, end - from);
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.erase(0, 1);
            if (!line.empty()) lines.push_back(line);
        }
        if (lines.empty()) continue;
        std::vector<char*> list;
        for (std::string& l : lines) list.push_back(l.data());
        list.push_back(nullptr);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        std::string joined;
        for (const std::string& l : lines) joined += l;
        const bool wkt2 = joined.find('[') != std::string::npos && !joined.starts_with("PROJCS[") && !joined.starts_with("GEOGCS[");
        const OGRErr read = lines[0].starts_with("+proj") ? OSRImportFromProj4(srs, joined.c_str())
                            : wkt2                     ? OSRImportFromWkt(srs, std::array<char*, 1>{joined.data()}.data())
                                                       : OSRImportFromESRI(srs, list.data());
        if (read == OGRERR_NONE) return srs;
        OSRDestroySpatialReference(srs);
    }
    return nullptr;
}

// Refuses, in a sentence, an image whose driver reads a file outside the image's folder
// or one that is no regular file: an Imagine header names its spill file and overviews.
// A VRT's sources, which may lie in other folders, VrtRefusal has checked.
std::string ListRefusal(GDALDatasetH ds, const std::string& path) {
    namespace fs = std::filesystem;
    if (std::strcmp(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "VRT") == 0) return "";
    std::error_code e;
    const fs::path home = fs::canonical(fs::path(path).has_parent_path() ? fs::path(path).parent_path() : fs::path("."), e);
    std::string why;
    char** list = GDALGetFileList(ds);
    for (char** f = list; f != nullptr && *f != nullptr && why.empty(); ++f) {
        std::error_code bad;
        const fs::path real = fs::canonical(*f, bad);
        struct stat st {};
        const std::string name = fs::path(*f).filename().string();
        if (!bad && real.parent_path() != home)
            why = "«" + name + "», que la imagen lee, está en otra carpeta, que Talpor no lee";
        else if (!bad && ::stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            why = "«" + name + "», que la imagen lee, es " + tables::FileKindText(st.st_mode) + ", no un fichero";
    }
    CSLDestroy(list);
    return why;
}

int Raster(const char* path, TalporGdalRasterInfo* info, char* error, int size) {
    Register();
    *info = TalporGdalRasterInfo{};
    if (std::string why = FilesRefusal(path); !why.empty() || !(why = VrtRefusal(path, 0)).empty())
        return CopyText(why.c_str(), error, size), 0;
    CPLErrorReset();
    GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, kImageDrivers, nullptr, nullptr);
    if (ds == nullptr) {
        LastError("GDAL no la reconoce como imagen, o está dañada", error, size);
        return 0;
    }
    if (std::string why = ListRefusal(ds, path); !why.empty() || !(why = DamageRefusal(ds, path)).empty()) {
        GDALClose(ds);
        return CopyText(why.c_str(), error, size), 0;
    }
    info->width = GDALGetRasterXSize(ds), info->height = GDALGetRasterYSize(ds);
    info->bands = GDALGetRasterCount(ds);
    if (info->bands > 0) {
        GDALRasterBandH band = GDALGetRasterBand(ds, 1);
        CopyText(GDALGetDataTypeName(GDALGetRasterDataType(band)), info->type, sizeof info->type);
        info->palette = GDALGetRasterColorTable(band) != nullptr;
    }
    ReadStructure(ds, info);
    CopyText(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), info->driver, sizeof info->driver);
    info->hasGeoTransform = GDALGetGeoTransform(ds, info->geoTransform) == CE_None;
    // A TIFF, JPEG or PNG with a world file may keep its system in a .prj beside it, which
    // GDAL reads for no image but an ASCII grid.
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
    OGRSpatialReferenceH prj = srs == nullptr ? PrjBeside(path) : nullptr;
    if (srs == nullptr) srs = prj;
    if (srs != nullptr) {
        CopyText(OSRGetName(srs), info->system, sizeof info->system);
        info->epsg = EpsgOf(srs);
        info->geographic = OSRIsGeographic(srs);
        if (!Ours(info->epsg)) info->likeEpsg = LikeEpsg(srs);
    }
    if (prj != nullptr) OSRDestroySpatialReference(prj);
    if (char** list = GDALGetFileList(ds)) {
        for (char** f = list; *f != nullptr; ++f) {
            const std::string name = *f, lower = tables::AsciiLower(name);
            for (const char* w : {".tfw", ".tifw", ".jgw", ".jpgw", ".pgw", ".pngw", ".j2w", ".wld"})
                if (lower.ends_with(w))
                    CopyText(name.substr(name.size() - std::strlen(w)).c_str(), info->worldFile, sizeof info->worldFile);
        }
        CSLDestroy(list);
    }
    GDALClose(ds);
    return 1;
}

// The ESRI form of EPSG's system `epsg`, as a .prj holds it.

}  // namespace gdal

