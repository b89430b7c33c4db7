#include "platform/pe_version.h"

#include "common/pe_fixture.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using testing_support::RunShell;
using testing_support::ShellQuote;
using testing_support::TempDir;

namespace {

using Bytes = std::vector<unsigned char>;

std::string Text(const std::optional<pe::FixedFileInfo>& info) {
    if (!info) return "none";
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u product %u.%u.%u.%u", info->fileVersionMS >> 16,
                  info->fileVersionMS & 0xFFFF, info->fileVersionLS >> 16, info->fileVersionLS & 0xFFFF,
                  info->productVersionMS >> 16, info->productVersionMS & 0xFFFF, info->productVersionLS >> 16,
                  info->productVersionLS & 0xFFFF);
    return text;
}

// Parses a copy in a block of exactly the bytes' size, so that AddressSanitizer
// sees any read past the end.
std::string ParseMemory(const unsigned char* data, size_t size) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(copy.get(), data, size);
    pe::FixedFileInfo info;
    return Text(pe::ReadFixedFileInfo(copy.get(), size, info) ? std::optional(info) : std::nullopt);
}
std::string ParseMemory(const Bytes& bytes) { return ParseMemory(bytes.data(), bytes.size()); }

std::string ParseFile(const std::string& path) {
    pe::FixedFileInfo info;
    return Text(pe::ReadFixedFileInfo(path.c_str(), info) ? std::optional(info) : std::nullopt);
}

// python3-pefile's reading of a file, as "name value" lines: the file offsets
// of the structures the parser walks and the fixed file information.
const char kPefileProbe[] = R"(import sys, pefile
pe = pefile.PE(sys.argv[1])
def first(x):
    return x[0] if isinstance(x, list) else x
print("magic", pe.OPTIONAL_HEADER.Magic)
print("e_lfanew", pe.DOS_HEADER.e_lfanew)
print("optional", pe.OPTIONAL_HEADER.get_file_offset())
print("resource_directory", pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].get_file_offset())
rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
print("resource_section", [s for s in pe.sections if s.contains_rva(rva)][0].get_file_offset())
print("root", pe.DIRECTORY_ENTRY_RESOURCE.struct.get_file_offset())
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if t.id == 16:
        name = t.directory.entries[0]
        language = name.directory.entries[0]
        print("type_entry", t.struct.get_file_offset())
        print("name_entry", name.struct.get_file_offset())
        print("language_entry", language.struct.get_file_offset())
        print("data_entry", language.data.struct.get_file_offset())
if hasattr(pe, "VS_FIXEDFILEINFO"):
    fixed = first(pe.VS_FIXEDFILEINFO)
    print("version_info", first(pe.VS_VERSIONINFO).get_file_offset())
    print("fixed_info", fixed.get_file_offset())
    print("file_ms", fixed.FileVersionMS)
    print("file_ls", fixed.FileVersionLS)
    print("product_ms", fixed.ProductVersionMS)
    print("product_ls", fixed.ProductVersionLS)
)";

struct Fixture {
    std::string arch;  // i686 (PE32) or x86_64 (PE32+)
    std::string rc;    // the resource script it was built from
    std::string path;
    Bytes bytes;
    std::map<std::string, uint64_t> pefile;

    bool HasVersion() const { return pefile.count("fixed_info") != 0; }
    uint64_t At(const char* name) const { return pefile.at(name); }
    std::string PefileText() const {
        if (!HasVersion()) return "none";
        pe::FixedFileInfo info;
        info.fileVersionMS = static_cast<uint32_t>(At("file_ms"));
        info.fileVersionLS = static_cast<uint32_t>(At("file_ls"));
        info.productVersionMS = static_cast<uint32_t>(At("product_ms"));
        info.productVersionLS = static_cast<uint32_t>(At("product_ls"));
        return Text(info);
    }
};

// The fixtures are small DLLs without code, built once for the suite from the
// resource scripts in tests/data/pe/ by the cross binutils.
class PeVersionFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_missing = testing_support::MissingPeTools();
        if (!s_missing.empty()) return;

        s_dir = std::make_unique<TempDir>();
        const std::string probe = s_dir->Path("probe.py");
        testing_support::WriteFile(probe, kPefileProbe);
        for (const char* arch : {"i686", "x86_64"}) {
            for (const char* rc : {"version", "no_version"}) {
                Fixture f{arch, rc, s_dir->Path(std::string(arch) + "-" + rc + ".dll"), {}, {}};
                std::string output;
                if (!testing_support::BuildPe(arch, rc, f.path, output) ||
                    !RunShell("/usr/bin/python3 " + ShellQuote(probe) + " " + ShellQuote(f.path), output)) {
                    s_error = "building or reading " + f.path + " failed:\n" + output;
                    return;
                }
                std::istringstream lines(output);
                std::string name;
                uint64_t value;
                while (lines >> name >> value) f.pefile[name] = value;
                const std::string content = testing_support::ReadFile(f.path);
                f.bytes.assign(content.begin(), content.end());
                s_fixtures.push_back(f);
            }
        }
    }
    static void TearDownTestSuite() {
        s_fixtures.clear();
        s_dir.reset();
    }
    void SetUp() override {
        if (!s_missing.empty())
            GTEST_SKIP()
                << "PE fixtures need " << s_missing
                << " (packages binutils-mingw-w64-x86-64, binutils-mingw-w64-i686, cpp, python3-pefile)";
        ASSERT_TRUE(s_error.empty()) << s_error;
    }
    static std::vector<const Fixture*> WithVersion() {
        std::vector<const Fixture*> found;
        for (const Fixture& f : s_fixtures)
            if (f.HasVersion()) found.push_back(&f);
        return found;
    }

    static std::unique_ptr<TempDir> s_dir;
    static std::vector<Fixture> s_fixtures;
    static std::string s_missing;
    static std::string s_error;
};

std::unique_ptr<TempDir> PeVersionFiles::s_dir;
std::vector<Fixture> PeVersionFiles::s_fixtures;
std::string PeVersionFiles::s_missing;
std::string PeVersionFiles::s_error;

void Put(Bytes& b, uint64_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) b.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
}
void Put16(Bytes& b, uint64_t offset, uint32_t value) { Put(b, offset, value, 2); }
void Put32(Bytes& b, uint64_t offset, uint32_t value) { Put(b, offset, value, 4); }
uint32_t Get32(const Bytes& b, uint64_t offset) {
    return b.at(offset) | b.at(offset + 1) << 8 | b.at(offset + 2) << 16 |
           static_cast<uint32_t>(b.at(offset + 3)) << 24;
}

}  // namespace

TEST(PeVersion, BytesThatAreNoPeHaveNone) {
    Bytes zeroHeader(0x40, 0);
    zeroHeader[0] = 'M';
    zeroHeader[1] = 'Z';
    Bytes peAtItself = zeroHeader;  // e_lfanew 0: "MZ" where "PE\0\0" should be
    const std::string signature("PE\0\0", 4);
    Bytes onlySignature = zeroHeader;
    onlySignature[0x3C] = 0x40;
    onlySignature.insert(onlySignature.end(), signature.begin(), signature.end());
    const std::string text = "Just some text, long enough to hold a DOS header's e_lfanew field and more.\n";
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"text", Bytes(text.begin(), text.end())},
        {"MZ only", {'M', 'Z'}},
        {"DOS header of zeros", zeroHeader},
        {"e_lfanew 0", peAtItself},
        {"PE signature and nothing after", onlySignature},
    };
    TempDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(ParseMemory(c.bytes), "none") << c.name;
        testing_support::WriteFile(dir.Path("f"), std::string(c.bytes.begin(), c.bytes.end()));
        EXPECT_EQ(ParseFile(dir.Path("f")), "none") << c.name;
    }
    pe::FixedFileInfo info;
    EXPECT_FALSE(pe::ReadFixedFileInfo(nullptr, 0, info));
}

TEST(PeVersion, UnreadablePathsHaveNone) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);  // must not block waiting for a writer
    for (const std::string& path : {dir.Path("missing"), dir.path(), dir.Path("fifo")})
        EXPECT_EQ(ParseFile(path), "none") << path;
    pe::FixedFileInfo info;
    EXPECT_FALSE(pe::ReadFixedFileInfo(nullptr, info));
}

TEST_F(PeVersionFiles, ReadsWhatPefileReads) {
    ASSERT_EQ(s_fixtures.size(), 4u);
    for (const Fixture& f : s_fixtures) {
        SCOPED_TRACE(f.arch + " " + f.rc);
        EXPECT_EQ(f.At("magic"), f.arch == "i686" ? 0x10Bu : 0x20Bu);
        EXPECT_EQ(f.PefileText(), f.rc == "version" ? "1.2.3.4 product 5.6.7.8" : "none");
        EXPECT_EQ(ParseMemory(f.bytes), f.PefileText());
        EXPECT_EQ(ParseFile(f.path), f.PefileText());
    }
}

TEST_F(PeVersionFiles, TruncatedCopiesHaveNoneOrTheVersion) {
    TempDir dir;
    for (const Fixture* f : WithVersion()) {
        const uint64_t fixedEnd = f->At("fixed_info") + 52;
        std::set<uint64_t> cuts = {
            f->At("fixed_info") - 1, f->At("fixed_info"), fixedEnd - 1, fixedEnd, fixedEnd + 1,
            f->bytes.size() - 1};
        for (uint64_t cut = 0; cut < f->bytes.size(); cut += 64) cuts.insert(cut);
        for (uint64_t cut : cuts) {
            SCOPED_TRACE(f->arch + " cut at " + std::to_string(cut));
            const std::string memory = ParseMemory(f->bytes.data(), cut);
            testing_support::WriteFile(dir.Path("cut"),
                                       std::string(f->bytes.begin(), f->bytes.begin() + cut));
            EXPECT_EQ(ParseFile(dir.Path("cut")), memory);
            // The fixed info is the last thing read: a file cut before its end cannot have it.
            if (cut < fixedEnd) {
                EXPECT_EQ(memory, "none");
            } else {
                EXPECT_TRUE(memory == "none" || memory == f->PefileText()) << memory;
            }
        }
    }
}

TEST_F(PeVersionFiles, CorruptedStructuresHaveNone) {
    using Change = std::function<void(Bytes&, const Fixture&)>;
    const struct {
        const char* name;
        Change change;
    } cases[] = {
        {"no MZ", [](Bytes& b, const Fixture&) { Put16(b, 0, 0); }},
        {"e_lfanew past the end", [](Bytes& b, const Fixture&) { Put32(b, 0x3C, 0xFFFFFFF0); }},
        {"e_lfanew at the last bytes",
         [](Bytes& b, const Fixture&) { Put32(b, 0x3C, static_cast<uint32_t>(b.size() - 2)); }},
        {"no PE signature", [](Bytes& b, const Fixture& f) { b.at(f.At("e_lfanew")) = 'X'; }},
        {"no sections", [](Bytes& b, const Fixture& f) { Put16(b, f.At("e_lfanew") + 6, 0); }},
        {"sections past the end", [](Bytes& b, const Fixture& f) { Put16(b, f.At("e_lfanew") + 6, 0xFFFF); }},
        {"optional header past the end",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("e_lfanew") + 20, 0xFFFF); }},
        {"optional header too short for the resource directory",
         [](Bytes& b, const Fixture& f) {
             Put16(b, f.At("e_lfanew") + 20,
                   static_cast<uint32_t>(f.At("resource_directory") - f.At("optional")));
         }},
        {"unknown optional header magic",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("optional"), 0x107); }},
        {"the other optional header layout",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("optional"), f.At("magic") ^ 0x300); }},
        {"two data directories",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("resource_directory") - 20, 2); }},
        {"no resource directory",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("resource_directory"), 0); }},
        {"resource directory of size 0",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("resource_directory") + 4, 0); }},
        {"resource directory in no section",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("resource_directory"), 0xFFFFFFF0); }},
        {"section data past the end",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("resource_section") + 20, 0xFFFFFFF0); }},
        {"section data in the last bytes",
         [](Bytes& b, const Fixture& f) {
             Put32(b, f.At("resource_section") + 20, static_cast<uint32_t>(b.size() - 8));
         }},
        {"root without entries", [](Bytes& b, const Fixture& f) { Put32(b, f.At("root") + 12, 0); }},
        {"root entries past the section",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("root") + 12, ~0u); }},
        {"no RT_VERSION entry", [](Bytes& b, const Fixture& f) { Put32(b, f.At("type_entry"), 17); }},
        {"RT_VERSION entry leads to data",
         [](Bytes& b, const Fixture& f) {
             Put32(b, f.At("type_entry") + 4, Get32(b, f.At("type_entry") + 4) & 0x7FFFFFFF);
         }},
        {"RT_VERSION entry leads back to the root",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("type_entry") + 4, 0x80000000); }},
        {"RT_VERSION entry leads past the end",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("type_entry") + 4, 0xFFFFFFF0); }},
        {"name entry leads back to the root",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("name_entry") + 4, 0x80000000); }},
        {"name entry leads to its own directory",
         [](Bytes& b, const Fixture& f) {
             Put32(b, f.At("name_entry") + 4, Get32(b, f.At("type_entry") + 4));
         }},
        {"name entry leads to data",
         [](Bytes& b, const Fixture& f) {
             Put32(b, f.At("name_entry") + 4, Get32(b, f.At("name_entry") + 4) & 0x7FFFFFFF);
         }},
        {"language entry leads to a directory",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("language_entry") + 4, 0x80000000); }},
        {"language entry leads past the end",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("language_entry") + 4, 0x7FFFFFF0); }},
        {"version data in no section",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("data_entry"), 0xFFFFFFF0); }},
        {"version data larger than its section",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("data_entry") + 4, 0xFFFFFFFF); }},
        {"version data shorter than its key",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("data_entry") + 4, 10); }},
        {"version data shorter than the fixed info",
         [](Bytes& b, const Fixture& f) { Put32(b, f.At("data_entry") + 4, 91); }},
        {"block longer than the version data",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("version_info"), 0xFFFF); }},
        {"block ends inside the fixed info",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("version_info"), 91); }},
        {"no fixed info", [](Bytes& b, const Fixture& f) { Put16(b, f.At("version_info") + 2, 0); }},
        {"fixed info shorter than 52 bytes",
         [](Bytes& b, const Fixture& f) { Put16(b, f.At("version_info") + 2, 51); }},
        {"another key", [](Bytes& b, const Fixture& f) { b.at(f.At("version_info") + 6) = 'W'; }},
        {"wrong signature", [](Bytes& b, const Fixture& f) { b.at(f.At("fixed_info")) ^= 1; }},
    };
    for (const Fixture* f : WithVersion()) {
        for (const auto& c : cases) {
            Bytes bytes = f->bytes;
            c.change(bytes, *f);
            EXPECT_EQ(ParseMemory(bytes), "none") << f->arch << ": " << c.name;
        }
    }
}

TEST_F(PeVersionFiles, FlippedBytesGiveNoneOrTheVersion) {
    for (const Fixture* f : WithVersion()) {
        // The headers with the section table, then the resource tree up to the
        // fixed info's signature and structure version (past them a flip changes the version read).
        std::vector<uint64_t> offsets;
        for (uint64_t i = 0; i < f->At("resource_section") + 40; ++i) offsets.push_back(i);
        for (uint64_t i = f->At("root"); i < f->At("fixed_info") + 8; ++i) offsets.push_back(i);
        for (uint64_t offset : offsets) {
            for (unsigned char mask : {0xFF, 0x80, 0x01}) {
                Bytes bytes = f->bytes;
                bytes[offset] ^= mask;
                const std::string read = ParseMemory(bytes);
                EXPECT_TRUE(read == "none" || read == f->PefileText())
                    << f->arch << ": offset " << offset << " ^ " << int{mask} << " read " << read;
            }
        }
    }
}
