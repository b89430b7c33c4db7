// The name parsers of file transfer and of HTTP requests on arbitrary text:
// no crash, and the parts they give always make up the name they came from.
#include <orvex/internet.h>

#include "http/http_request.h"
#include "net/http_url.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string name(reinterpret_cast<const char*>(data), size);
    const char* text = name.c_str();  // stops at an embedded zero, as a host's text would

    CString fileName;
    CString dir;
    if (CInternet::parseURLname(text, fileName, dir)) {
        CString whole(text);
        whole.Trim();
        whole.Replace('\\', '/');
        if (fileName.IsEmpty() || fileName.Find('/') >= 0 || dir + "/" + fileName != whole) std::abort();
    }

    CString path;
    CString server;
    if (CInternet::parseFtpname(text, fileName, path, server)) {
        const std::string p = path.str();
        const std::string f = fileName.str();
        if (server.Find('/') >= 0 || f.find('/') != std::string::npos || p.size() < f.size() ||
            p.compare(p.size() - f.size(), f.size(), f) != 0 ||
            name.find(server.str() + "/" + p) == std::string::npos)
            std::abort();
    }

    // The URL reader of requests and downloads: a host without the path's
    // characters, a port in range, and a URL built again from the parts reads the same.
    net::HttpUrl parts;
    std::string refusal;
    if (net::ReadHttpUrl(text, false, parts, refusal)) {
        if (parts.host.find_first_of("/?#@") != std::string::npos || parts.port < 1 || parts.port > 65535)
            std::abort();
        const std::string again = std::string(parts.secure ? "https" : "http") + "://" + parts.host + ":" +
                                  std::to_string(parts.port) + "/" + parts.object;
        net::HttpUrl reread;
        if (!net::ReadHttpUrl(again, false, reread, refusal) || reread.secure != parts.secure ||
            reread.host != parts.host || reread.port != parts.port || reread.object != parts.object)
            std::abort();
    } else if (refusal.empty()) {
        std::abort();
    }

    CHttpRequest request;
    if (request.ParseURL(text, text, nullptr) != 0 && request.m_strHost.Find('/') >= 0) std::abort();
    return 0;
}
