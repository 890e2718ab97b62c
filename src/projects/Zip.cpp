// The ZIP format of PKWARE's APPNOTE 6.3: local headers, the central directory and its
// end record; deflate through zlib.
#include "projects/Zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace projects {
namespace {

std::uint32_t Le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint16_t Le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
void Put32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, std::uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
}
void Set32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr std::uint32_t kLocal = 0x04034b50, kCentral = 0x02014b50, kEnd = 0x06054b50, kDescriptor = 0x08074b50;

std::string Deflated(const std::string& content) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw ZipError("no se puede comprimir el proyecto");
    std::string out(deflateBound(&z, static_cast<uLong>(content.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    z.avail_in = static_cast<uInt>(content.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (done != Z_STREAM_END) throw ZipError("no se puede comprimir el proyecto");
    return out;
}

}  // namespace

ZipArchive::ZipArchive(std::string bytes) : bytes_(std::move(bytes)) {
    const std::string& b = bytes_;
    if (b.size() < 22) throw ZipError("no es un ZIP: le falta el final");
    std::size_t end = std::string::npos;
    for (std::size_t at = b.size() - 22;; --at) {
        if (Le32(b, at) == kEnd && at + 22 + Le16(b, at + 20) == b.size()) {
            end = at;
            break;
        }
        if (at == 0 || b.size() - at > 22 + 65535) break;
    }
    if (end == std::string::npos) throw ZipError("no es un ZIP que se pueda leer: no se encuentra su directorio");
    if (Le16(b, end + 4) != 0 || Le16(b, end + 6) != 0) throw ZipError("es un ZIP partido en varios discos");
    const std::uint16_t count = Le16(b, end + 10);
    const std::uint32_t length = Le32(b, end + 12), offset = Le32(b, end + 16);
    if (count == 0xFFFF || length == 0xFFFFFFFF || offset == 0xFFFFFFFF)
        throw ZipError("es un ZIP64 (de más de 4 GB o 65.535 ficheros), que no se lee");
    if (std::uint64_t{offset} + length > end) throw ZipError("su directorio de ZIP no cabe en el fichero");
    directory_ = offset;
    directoryEnd_ = offset + length;
    comment_ = b.substr(end + 22);
    std::size_t at = offset;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (at + 46 > directoryEnd_ || Le32(b, at) != kCentral) throw ZipError("su directorio de ZIP está dañado");
        ZipMember m;
        m.flags = Le16(b, at + 8);
        m.method = Le16(b, at + 10);
        m.crc = Le32(b, at + 16);
        m.compressed = Le32(b, at + 20);
        m.size = Le32(b, at + 24);
        m.local = Le32(b, at + 42);
        const std::size_t name = Le16(b, at + 28), extra = Le16(b, at + 30), comment = Le16(b, at + 32);
        if (at + 46 + name + extra + comment > directoryEnd_) throw ZipError("su directorio de ZIP está dañado");
        m.name = b.substr(at + 46, name);
        m.central = at;
        m.centralLength = 46 + name + extra + comment;
        if (m.compressed == 0xFFFFFFFF || m.size == 0xFFFFFFFF || m.local == 0xFFFFFFFF)
            throw ZipError("es un ZIP64 (de más de 4 GB), que no se lee");
        if ((m.flags & 1) != 0) throw ZipError("«" + m.name + "» está cifrado en el ZIP");
        if (std::uint64_t{m.local} + 30 > offset || Le32(b, m.local) != kLocal ||
            DataOf(m) + std::uint64_t{m.compressed} > offset)
            throw ZipError("«" + m.name + "» no está donde su directorio de ZIP dice");
        members_.push_back(std::move(m));
        at += members_.back().centralLength;
    }
    if (at != directoryEnd_) throw ZipError("su directorio de ZIP está dañado");
}

std::size_t ZipArchive::DataOf(const ZipMember& m) const {
    return m.local + std::size_t{30} + Le16(bytes_, m.local + 26) + Le16(bytes_, m.local + 28);
}

std::string ZipArchive::Read(const ZipMember& m, std::uint64_t limit) const {
    if (m.size > limit) throw ZipError("«" + m.name + "» es demasiado grande");
    const char* data = bytes_.data() + DataOf(m);
    std::string out;
    if (m.method == 0) {
        if (m.compressed != m.size) throw ZipError("«" + m.name + "» está dañado en el ZIP");
        out.assign(data, m.size);
    } else if (m.method == 8) {
        out.assign(m.size, '\0');
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw ZipError("no se puede descomprimir «" + m.name + "»");
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = m.compressed;
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = m.size;
        const int done = inflate(&z, Z_FINISH);
        const uLong written = z.total_out;
        inflateEnd(&z);
        if (done != Z_STREAM_END || written != m.size) throw ZipError("«" + m.name + "» está dañado en el ZIP");
    } else {
        throw ZipError("«" + m.name + "» está comprimido con un método que no se lee (" + std::to_string(m.method) + ")");
    }
    if (crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) != m.crc)
        throw ZipError("«" + m.name + "» está dañado en el ZIP (su CRC no es el suyo)");
    return out;
}

std::string ZipArchive::Replaced(const std::string& name, const std::string& content) const {
    const std::string& b = bytes_;
    std::string out, directory;
    for (const ZipMember& m : members_) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        if (m.name == name) {
            const std::string data = Deflated(content);
            const auto crc = static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
            if (content.size() >= 0xFFFFFFFFu || data.size() >= 0xFFFFFFFFu) throw ZipError("el proyecto pasa de 4 GB");
            // Its sizes before its data (no descriptor after it); its name's UTF-8 flag kept.
            const auto flags = static_cast<std::uint16_t>(m.flags & 0x0800);
            out += b.substr(m.local, 4);
            out += b.substr(m.local + 4, 2);  // version needed
            Put16(out, flags);
            Put16(out, 8);
            out += b.substr(m.local + 10, 4);  // time and date
            Put32(out, crc);
            Put32(out, static_cast<std::uint32_t>(data.size()));
            Put32(out, static_cast<std::uint32_t>(content.size()));
            Put16(out, static_cast<std::uint16_t>(m.name.size()));
            Put16(out, 0);
            out += m.name;
            out += data;
            std::string record = b.substr(m.central, 28);
            record[8] = static_cast<char>(flags & 0xFF);
            record[9] = static_cast<char>(flags >> 8);
            record[10] = 8;
            record[11] = 0;
            Set32(record, 16, crc);
            Set32(record, 20, static_cast<std::uint32_t>(data.size()));
            Set32(record, 24, static_cast<std::uint32_t>(content.size()));
            Put16(record, static_cast<std::uint16_t>(m.name.size()));
            Put16(record, 0);  // no extra field: its sizes are the record's
            const std::size_t extra = Le16(b, m.central + 30), comment = Le16(b, m.central + 32);
            Put16(record, static_cast<std::uint16_t>(comment));
            record += b.substr(m.central + 34, 8);  // disk, attributes
            Put32(record, offset);
            record += m.name;
            record += b.substr(m.central + 46 + m.name.size() + extra, comment);
            directory += record;
            continue;
        }
        // The local header, the data, and the descriptor after it where the flags say so.
        std::size_t end = DataOf(m) + m.compressed;
        if ((m.flags & 8) != 0) end += end + 4 <= b.size() && Le32(b, end) == kDescriptor ? 16 : 12;
        if (end > directory_) throw ZipError("«" + m.name + "» no está donde su directorio de ZIP dice");
        out.append(b, m.local, end - m.local);
        std::string record = b.substr(m.central, m.centralLength);
        Set32(record, 42, offset);
        directory += record;
    }
    const auto at = static_cast<std::uint32_t>(out.size());
    out += directory;
    Put32(out, kEnd);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint16_t>(members_.size()));
    Put16(out, static_cast<std::uint16_t>(members_.size()));
    Put32(out, static_cast<std::uint32_t>(directory.size()));
    Put32(out, at);
    Put16(out, static_cast<std::uint16_t>(comment_.size()));
    out += comment_;
    return out;
}

}  // namespace projects
