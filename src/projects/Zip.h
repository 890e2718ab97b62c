// A ZIP archive held in memory (a QGIS .qgz: the project's .qgs, its auxiliary storage
// .qgd and any attached files), read member by member and written again with one
// member's content replaced and every other member's bytes copied as they are:
// compressed data, times, attributes and extra fields. Stored and deflated members are
// read; ZIP64, encrypted and split archives are refused.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace projects {

// An archive that cannot be read or written; the message is Spanish.
class ZipError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ZipMember {
    std::string name;
    std::uint16_t flags = 0, method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed = 0, size = 0;  // bytes
    std::uint32_t local = 0;                 // offset of its local header
    std::size_t central = 0, centralLength = 0;  // its record in the central directory
};

class ZipArchive {
  public:
    // Reads the central directory of `bytes`; throws ZipError.
    explicit ZipArchive(std::string bytes);

    const std::vector<ZipMember>& Members() const { return members_; }

    // The content of `member`, inflated and its CRC checked; throws ZipError. A member
    // whose content would exceed `limit` bytes is refused.
    std::string Read(const ZipMember& member, std::uint64_t limit) const;

    // The archive with the content of the member named `name` replaced by `content`
    // (deflated), every other member's bytes as they were, in the same order.
    std::string Replaced(const std::string& name, const std::string& content) const;

  private:
    std::size_t DataOf(const ZipMember& member) const;  // offset of its data
    std::string bytes_;
    std::vector<ZipMember> members_;
    std::size_t directory_ = 0, directoryEnd_ = 0;  // the central directory's bytes
    std::string comment_;                           // the archive's
};

}  // namespace projects
