#include "wsdl/wsdl_fetch.h"

#include "platform/ascii.h"
#include "support/pub.h"
#include "transfer/transfer_functions.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wsdl {
namespace {

bool IsRemote(const std::string& location) {
    return ascii::StartsWithNoCase(location, "http://") || ascii::StartsWithNoCase(location, "https://");
}

bool IsFileUrl(const std::string& location) { return ascii::StartsWithNoCase(location, "file:"); }

// A file URL's path: "file:///a/b" and "file://localhost/a/b" are "/a/b".
std::string FilePath(const std::string& url) {
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        rest.erase(0, 2);
        const size_t slash = rest.find('/');
        const std::string host = rest.substr(0, slash);
        if (!host.empty() && !ascii::EqualNoCase(host, "localhost")) return std::string();
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    return rest;
}

// The library's own file read (a path in the code page), its reason after the path.
std::string ReadFile(const std::string& path, std::string& text) {
    CString content;
    if (!CPub::File2CString(content, path.c_str())) return path + ": " + CPub::GetLastError().str();
    text = std::move(content.str());
    return std::string();
}

// Each directory of `path` that is missing, made for the user alone.
bool MakeDirectories(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

std::string CacheDirectory() {
    if (const char* dir = std::getenv("ORVEX_CACHE_DIR"); dir != nullptr && *dir != '\0') return dir;
    if (const char* dir = std::getenv("XDG_CACHE_HOME"); dir != nullptr && *dir == '/')
        return std::string(dir) + "/orvex";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        return std::string(home) + "/.cache/orvex";
    return std::string();
}

// A name per URL that no other URL shares in practice (64-bit FNV-1a).
std::string CacheName(const std::string& url) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : url) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "wsdl-%016llx.xml", static_cast<unsigned long long>(hash));
    return name;
}

std::string Download(const std::string& url, int maxAgeSeconds, std::string& text) {
    if (maxAgeSeconds > 0) {
        const std::string dir = CacheDirectory();
        if (dir.empty()) return "No cache directory: set ORVEX_CACHE_DIR, XDG_CACHE_HOME or HOME";
        if (!MakeDirectories(dir)) return dir + ": " + std::strerror(errno);
        const std::string file = dir + "/" + CacheName(url);
        const CString why = DownloadFileText(url.c_str(), file.c_str(), maxAgeSeconds, nullptr, nullptr);
        if (!why.IsEmpty()) return why.str();
        return ReadFile(file, text);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string file = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/orvex-wsdl-XXXXXX";
    const int fd = mkstemp(file.data());
    if (fd < 0) return file + ": " + std::strerror(errno);
    close(fd);
    const CString why = DownloadFileText(url.c_str(), file.c_str(), 0, nullptr, nullptr);
    std::string result = why.IsEmpty() ? ReadFile(file, text) : why.str();
    unlink(file.c_str());
    return result;
}

// "scheme://host" of an absolute URL.
std::string Origin(const std::string& url) {
    const size_t slash = url.find('/', url.find("//") + 2);
    return slash == std::string::npos ? url : url.substr(0, slash);
}

// "a/./b/../c" as "a/c"; the leading part (an origin or "/") stays.
std::string Normalise(const std::string& head, const std::string& path) {
    std::string out;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(at, end - at);
        if (segment == "..") {
            const size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (segment != "." && !(segment.empty() && end != path.size())) {
            out += "/" + segment;
        }
        at = end + 1;
    }
    return head + out;
}

}  // namespace

std::string Fetch(const std::string& location, int maxAgeSeconds, std::string& text) {
    if (IsRemote(location)) return Download(location, maxAgeSeconds, text);
    if (IsFileUrl(location)) {
        const std::string path = FilePath(location);
        if (path.empty()) return location + ": a file URL names a file of this machine";
        return ReadFile(path, text);
    }
    if (location.empty()) return "No location";
    return ReadFile(location, text);
}

std::string Resolve(const std::string& base, const std::string& reference, std::string& why) {
    const size_t colon = reference.find(':');
    const bool absolute = colon != std::string::npos && colon > 1 &&
                          reference.find_first_of("/?#") > colon;  // a scheme, not a drive or a path
    std::string target;
    if (absolute) {
        target = reference;
    } else if (IsRemote(base) || IsFileUrl(base)) {
        std::string bare = base.substr(0, base.find_first_of("?#"));
        if (reference.compare(0, 2, "//") == 0) {
            target = base.substr(0, base.find(':') + 1) + reference;
        } else if (!reference.empty() && reference[0] == '/') {
            target = Normalise(IsFileUrl(base) ? std::string("file://") : Origin(bare), reference.substr(1));
        } else {
            const std::string origin = IsFileUrl(base) ? std::string("file://") : Origin(bare);
            std::string path = bare.substr(origin.size());
            path.erase(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
            target = Normalise(origin, path.substr(path.empty() ? 0 : 1) + reference);
        }
    } else {
        // A path: beside the importing file.
        const size_t slash = base.rfind('/');
        target = !reference.empty() && reference[0] == '/' ? reference
                 : slash == std::string::npos              ? reference
                                                           : base.substr(0, slash + 1) + reference;
    }
    if (IsRemote(base) && !IsRemote(target)) {
        why = "An import from " + base + " names no http or https document: " + reference;
        return std::string();
    }
    if (ascii::StartsWithNoCase(base, "https://") && !ascii::StartsWithNoCase(target, "https://")) {
        why = "An import from " + base + " names a document over plain http: " + reference;
        return std::string();
    }
    return target;
}

}  // namespace wsdl
