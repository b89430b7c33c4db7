// The direct reader's reach on real files: every file named (directories
// are searched for .xml, .svg, .xsd and .wsdl files) is loaded as XML_new
// loads it, and the program counts the files the load accepts and, of
// those, the ones the direct reader read without the pugixml route. It lists
// the others with what their prolog holds, and times the corpus loaded
// both ways. bench/xml_reach.py runs it over /usr/share and a few answers
// of the test SOAP service.
#include "platform/code_page.h"
#include "platform/utf.h"
#include "xml/xml_dom.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uintmax_t kMaxFileBytes = 64u << 20;

class CNullSink final : public xml::CXmlSink {
public:
    void Begin() override {}
    void StartElement(const char*, const char* const*, size_t) override {}
    void Text(const char*, size_t) override {}
    void CData(const char*, size_t) override {}
    void Comment(const char*, size_t) override {}
    void Instruction(const char*, const char*) override {}
    void EndElement() override {}
};

bool Wanted(const fs::path& path) {
    const std::string extension = path.extension().string();
    return extension == ".xml" || extension == ".svg" || extension == ".xsd" || extension == ".wsdl";
}

void Collect(const fs::path& root, std::vector<fs::path>& files) {
    std::error_code error;
    if (fs::is_regular_file(root, error)) {
        files.push_back(root);
        return;
    }
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
         it != end; it.increment(error)) {
        if (error) break;
        if (it->is_regular_file(error) && !it->is_symlink(error) && Wanted(it->path()) &&
            it->file_size(error) <= kMaxFileBytes)
            files.push_back(it->path());
    }
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text as the load reads it: UTF-8 as it is, else by its declared encoding.
std::string AsLoaded(const std::string& text) {
    if (utf::IsValidUtf8(text.data(), text.size())) return text;
    std::string converted;
    if (!codepage::DecodeDeclared(text.data(), text.size(), converted))
        converted = codepage::ToUtf8(text.data(), text.size());
    return converted;
}

// What the start of a declined file holds that the reader may have declined.
std::string Prolog(const std::string& text) {
    const size_t doctype = text.find("<!DOCTYPE");
    if (doctype == std::string::npos) return "no DOCTYPE";
    const size_t close = text.find('>', doctype);
    const size_t open = text.find('[', doctype);
    return open < close ? "DOCTYPE with an internal subset" : "DOCTYPE";
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|DIRECTORY...\n", argv[0]);
        return 2;
    }
    setenv("ORVEX_CODEPAGE", "UTF-8", 1);
    codepage::Reload();
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) Collect(argv[i], files);
    std::sort(files.begin(), files.end());

    size_t accepted = 0, direct = 0, bytes = 0;
    std::vector<std::string> declined;
    std::chrono::steady_clock::duration directTime{}, pugixmlTime{};
    for (const fs::path& path : files) {
        const std::string text = Read(path);
        if (text.empty()) continue;
        xml::CDomDocument document;
        auto start = std::chrono::steady_clock::now();
        if (!document.loadXML(text.data(), text.size())) continue;
        directTime += std::chrono::steady_clock::now() - start;
        start = std::chrono::steady_clock::now();
        document.loadXML(text.data(), text.size(), xml::XmlRoute::kPugixml);
        pugixmlTime += std::chrono::steady_clock::now() - start;
        ++accepted;
        bytes += text.size();
        const std::string utf8 = AsLoaded(text);
        CNullSink sink;
        std::shared_ptr<const void> owner;
        std::string reason;
        xml::XmlRoute taken = xml::XmlRoute::kPugixml;
        xml::ReadXml(utf8.data(), utf8.size(), sink, xml::XmlRoute::kDirect, owner, reason, &taken);
        if (taken == xml::XmlRoute::kDirect)
            ++direct;
        else
            declined.push_back(path.string() + ": " + Prolog(utf8));
    }
    for (const std::string& line : declined) std::printf("pugixml route: %s\n", line.c_str());
    std::printf("%zu files, %zu accepted (%.1f MB), %zu of them read by the direct reader alone (%.1f%%)\n",
                files.size(), accepted, static_cast<double>(bytes) / 1e6, direct,
                accepted != 0 ? 100.0 * static_cast<double>(direct) / static_cast<double>(accepted) : 0.0);
    std::printf(
        "accepted files loaded: %.3f s by the direct route, %.3f s by the pugixml route alone (%.2fx)\n",
        Seconds(directTime), Seconds(pugixmlTime),
        Seconds(pugixmlTime) != 0 ? Seconds(directTime) / Seconds(pugixmlTime) : 0.0);
    return 0;
}
