#include "platform/pe_version.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pe {
namespace {

// Every read goes through a source that refuses bytes past its end, so the
// walk below never needs to trust an offset it found in the file.
class Source {
public:
    virtual ~Source() = default;
    virtual bool Read(uint64_t offset, unsigned char* out, size_t length) const = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const unsigned char* data, size_t size) : m_pData(data), m_nSize(size) {}
    bool Read(uint64_t offset, unsigned char* out, size_t length) const override {
        if (m_pData == nullptr || offset > m_nSize || length > m_nSize - offset) return false;
        std::memcpy(out, m_pData + offset, length);
        return true;
    }

private:
    const unsigned char* m_pData;
    size_t m_nSize;
};

class FileSource : public Source {
public:
    FileSource(int fd, uint64_t size) : m_nFd(fd), m_nSize(size) {}
    bool Read(uint64_t offset, unsigned char* out, size_t length) const override {
        if (offset > m_nSize || length > m_nSize - offset) return false;
        while (length > 0) {
            const ssize_t n = pread(m_nFd, out, length, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;  // an error, or the file shrank
            out += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<size_t>(n);
        }
        return true;
    }

private:
    int m_nFd;
    uint64_t m_nSize;
};

// Little-endian fields, assembled byte by byte: the file's offsets need not
// be aligned.
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kMagicPe32 = 0x10B;
constexpr uint32_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

struct Image {
    const Source& source;
    std::vector<Section> sections;
    uint32_t resourceRva = 0;
};

// The headers up to the resource directory's address and the section table.
bool ReadHeaders(Image& image) {
    const Source& src = image.source;
    unsigned char dos[0x40];
    if (!src.Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t peOffset = U32(dos + 0x3C);

    unsigned char coff[24];  // "PE\0\0" and the COFF header
    if (!src.Read(peOffset, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
    const unsigned sectionCount = U16(coff + 4 + 2);
    const unsigned optionalSize = U16(coff + 4 + 16);
    const uint64_t optionalOffset = peOffset + sizeof coff;

    unsigned char magic[2];
    if (!src.Read(optionalOffset, magic, sizeof magic)) return false;
    uint32_t countOffset;  // of NumberOfRvaAndSizes; the data directories follow it
    if (U16(magic) == kMagicPe32)
        countOffset = 92;
    else if (U16(magic) == kMagicPe32Plus)
        countOffset = 108;
    else
        return false;
    const uint32_t entryOffset = countOffset + 4 + 8 * kResourceDirectory;
    if (entryOffset + 8 > optionalSize) return false;  // the directory lies outside the optional header
    unsigned char count[4];
    unsigned char entry[8];
    if (!src.Read(optionalOffset + countOffset, count, sizeof count) || U32(count) <= kResourceDirectory ||
        !src.Read(optionalOffset + entryOffset, entry, sizeof entry))
        return false;
    image.resourceRva = U32(entry);
    if (image.resourceRva == 0 || U32(entry + 4) == 0) return false;

    // At most 65535 headers; each is read before room is made for it, so a false count costs no memory.
    const uint64_t tableOffset = optionalOffset + optionalSize;
    for (unsigned i = 0; i < sectionCount; ++i) {
        unsigned char header[40];
        if (!src.Read(tableOffset + 40ull * i, header, sizeof header)) return false;
        image.sections.push_back({U32(header + 12), U32(header + 8), U32(header + 16), U32(header + 20)});
    }
    return true;
}

// The file offset of `length` bytes at an address, all inside one section's
// bytes in the file; false when no section holds them all.
bool MapRva(const Image& image, uint64_t rva, uint64_t length, uint64_t& offset) {
    for (const Section& s : image.sections) {
        // Bytes past the virtual size are not loaded, whatever the file holds.
        const uint64_t extent = s.virtualSize != 0 && s.virtualSize < s.rawSize ? s.virtualSize : s.rawSize;
        if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
        if (length > extent - (rva - s.virtualAddress)) return false;
        offset = s.rawOffset + (rva - s.virtualAddress);
        return true;
    }
    return false;
}

constexpr int kFirstEntry = -1;

// The OffsetToData of a resource directory's entry with the id given, or of
// its first entry. Only three directories are ever visited, so a cyclic tree
// cannot hold the walk.
bool FindEntry(const Image& image, uint32_t directory, int id, uint32_t& offsetToData) {
    uint64_t at;
    unsigned char header[16];
    if (!MapRva(image, uint64_t{image.resourceRva} + directory, sizeof header, at) ||
        !image.source.Read(at, header, sizeof header))
        return false;
    const uint64_t count = uint64_t{U16(header + 12)} + U16(header + 14);
    uint64_t entries;
    if (count == 0 ||
        !MapRva(image, uint64_t{image.resourceRva} + directory + sizeof header, 8 * count, entries))
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        unsigned char entry[8];
        if (!image.source.Read(entries + 8 * i, entry, sizeof entry)) return false;
        if (id == kFirstEntry || U32(entry) == static_cast<uint32_t>(id)) {
            offsetToData = U32(entry + 4);
            return true;
        }
    }
    return false;
}

bool ReadFixedFileInfo(const Source& source, FixedFileInfo& info) {
    Image image{source, {}, 0};
    if (!ReadHeaders(image)) return false;

    // Type, then name, then language; the first two lead to directories, the last to data.
    uint32_t next;
    if (!FindEntry(image, 0, kRtVersion, next) || (next & kHighBit) == 0) return false;
    if (!FindEntry(image, next & ~kHighBit, kFirstEntry, next) || (next & kHighBit) == 0) return false;
    if (!FindEntry(image, next & ~kHighBit, kFirstEntry, next) || (next & kHighBit) != 0) return false;

    uint64_t at;
    unsigned char dataEntry[16];  // IMAGE_RESOURCE_DATA_ENTRY: OffsetToData (an address) and Size
    if (!MapRva(image, uint64_t{image.resourceRva} + next, sizeof dataEntry, at) ||
        !source.Read(at, dataEntry, sizeof dataEntry))
        return false;
    const uint32_t dataSize = U32(dataEntry + 4);
    uint64_t block;
    if (!MapRva(image, U32(dataEntry), dataSize, block)) return false;

    // VS_VERSIONINFO: wLength, wValueLength, wType, the key, padding to 4 bytes, the value.
    constexpr size_t keyUnits = sizeof kVersionKey / sizeof kVersionKey[0];
    constexpr size_t keyEnd = 6 + 2 * keyUnits;
    constexpr size_t valueOffset = (keyEnd + 3) & ~size_t{3};
    unsigned char head[keyEnd];
    if (dataSize < sizeof head || !source.Read(block, head, sizeof head)) return false;
    const uint32_t length = U16(head);
    const uint32_t valueLength = U16(head + 2);
    if (length > dataSize || valueLength < kFixedInfoSize || valueOffset + valueLength > length) return false;
    for (size_t i = 0; i < keyUnits; ++i)
        if (U16(head + 6 + 2 * i) != kVersionKey[i]) return false;

    unsigned char fixed[kFixedInfoSize];
    if (!source.Read(block + valueOffset, fixed, sizeof fixed) || U32(fixed) != kFixedInfoSignature)
        return false;
    info.fileVersionMS = U32(fixed + 8);
    info.fileVersionLS = U32(fixed + 12);
    info.productVersionMS = U32(fixed + 16);
    info.productVersionLS = U32(fixed + 20);
    return true;
}

}  // namespace

bool ReadFixedFileInfo(const unsigned char* data, size_t size, FixedFileInfo& info) {
    return ReadFixedFileInfo(MemorySource(data, size), info);
}

bool ReadFixedFileInfo(const char* path, FixedFileInfo& info) {
    if (path == nullptr) return false;
    // O_NONBLOCK so that naming a FIFO cannot block the open; only regular files are read.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        ok = ReadFixedFileInfo(FileSource(fd, static_cast<uint64_t>(st.st_size)), info);
    close(fd);
    return ok;
}

}  // namespace pe
