#include "http/http_request.h"

#include "http/callback_compress.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "net/http_url.h"
#include "net/trace_note.h"

#include <climits>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

const char* const kVerbs[] = {"POST", "GET", "HEAD", "PUT", "LINK", "DELETE", "UNLINK"};
constexpr int kVerbCount = sizeof(kVerbs) / sizeof(kVerbs[0]);
constexpr int kVerbGet = 1;
constexpr int kVerbHead = 2;

// The text appended to "Return Error Code=%d": first matching row wins.
const char* StatusText(int status) {
    switch (status) {
        case 400:
            return "(Unintelligble request)";
        case 404:
            return "(Requested URL not found)";
        case 405:
            return "(Server does not support requested method)";
        case 500:
            return "(Unknown server error)";
        case 503:
            return "(Server capacity reached)";
        default:
            break;
    }
    if (status >= 300 && status <= 399) return "(Information)";
    if (status >= 400 && status <= 499) return "(Request error)";
    if (status >= 500 && status <= 599) return "(Server error)";
    return "";
}

std::vector<std::string> SplitLines(const CString& headers) {
    std::vector<std::string> lines;
    const std::string& text = headers.str();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.emplace_back(text, start, end - start);
        start = end + 2;
    }
    return lines;
}

std::string Utf16LeBytes(const std::u16string& wide) {
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

}  // namespace

CHttpRequest::CHttpRequest() = default;

CHttpRequest::~CHttpRequest() = default;

int CHttpRequest::AttachSoap(CHandleObject* /*message*/) { return 0; }

void CHttpRequest::Empty() {
    m_strContent.Empty();
    m_Response.Clear();
}

void CHttpRequest::SetTimeouts(int connectSeconds, int stallSeconds) {
    m_nConnectSeconds = connectSeconds > 0 ? connectSeconds : 0;
    m_nStallSeconds = stallSeconds > 0 ? stallSeconds : 0;
}

void CHttpRequest::SetDeadline(int seconds) { m_nDeadlineSeconds = seconds > 0 ? seconds : 0; }

void CHttpRequest::SetCompressCallbacks(const HttpCompressCallbacks& callbacks) {
    if (callbacks.isCompress == nullptr && callbacks.compress == nullptr && callbacks.decompress == nullptr) {
        m_pCompress = nullptr;
        m_pCallbackCompress.reset();
        return;
    }
    auto adapter = std::make_unique<CCallbackCompress>(callbacks);
    m_pCompress = adapter.get();
    m_pCallbackCompress = std::move(adapter);
}

void CHttpRequest::ForgetResponse() {
    m_Response.Empty();
    m_nStatusCode = 0;
    m_bResponseHeaders = false;
    m_bResponseArrived = false;
}

int CHttpRequest::Request(const char* url, const char* user, const char* password) {
    const uint32_t start = clocks::TickCount();
    ForgetResponse();
    int result = ParseURL(url, user, password) != 0 ? SendHttp() : 0;
    m_bResponseArrived = result != 0;
    if (result != 0 && m_nStatusCode != 200) {
        m_strLastError.Format("Return Error Code=%d%s", m_nStatusCode, StatusText(m_nStatusCode));
        result = 0;
    }
    m_nBodyBytesResponse = m_Response.GetSize();
    if (m_pCompress != nullptr && result != 0) {
        try {
            m_pCompress->Decompress(&m_Response);
        } catch (const std::exception& e) {
            m_strLastError.Format("Decompress failed: %s", e.what());
            result = 0;
        } catch (...) {
            m_strLastError = "Decompress failed: unknown exception";
            result = 0;
        }
    }
    m_nMilliSeconds = static_cast<int>(clocks::TickCount() - start);
    return result;
}

int CHttpRequest::ParseURL(const char* url, const char* user, const char* password) {
    std::string refusal;
    const char* text = url != nullptr ? url : "";
    // A host repeating its request reads its URL once.
    const bool same = m_bUrlRead && m_strUrlRead == text && (m_bSecure != 0) == m_bUrlReadSecure;
    net::HttpUrl& parts = m_UrlRead;
    m_bUrlRead = false;
    if (!same) {
        m_strUrlBuilt.clear();
        if (!net::ReadHttpUrl(text, m_bSecure != 0, parts, refusal)) {
            m_strLastError = CString(refusal);
            const bool known = m_nVerb >= 0 && m_nVerb < kVerbCount;
            net::Refused(known ? (std::string("request ") + kVerbs[m_nVerb]).c_str() : "request", text,
                         refusal);
            return 0;
        }
    }
    m_bUrlRead = true;
    m_strUrlRead = text;
    m_bUrlReadSecure = m_bSecure != 0;
    m_bSecure = parts.secure ? 1 : 0;
    // Assigned in place: a repeated request keeps the fields' memory.
    m_strHost.str() = parts.host;
    m_nPort = parts.port;
    m_strObject.str() = parts.object;
    // Credentials in the URL serve when the arguments give none.
    m_strUser = user;
    m_strPassword = password;
    if (user == nullptr && parts.hasUserInfo) {
        m_strUser.str() = parts.user;
        m_strPassword.str() = parts.password;
    }
    return 1;
}

const char* CHttpRequest::GetResponseHeader(const char* name) const {
    if (name == nullptr) return nullptr;
    if (!m_bResponseHeaders) return nullptr;
    for (const net::HeaderField& field : m_Transport.ResponseHeaders()) {
        if (codepage::CompareNoCase(field.name.c_str(), name) == 0) return field.value.c_str();
    }
    return nullptr;
}

void CHttpRequest::BuildHeaders(CString& headers) {
    if (m_pCompress != nullptr && m_pCompress->IsCompress() != 0) {
        headers = "Content-Type:text/HTML; charset=ansi";
        return;
    }
    // Written over in place, so that a request made again reuses the text's memory.
    std::string& text = headers.str();
    text.assign("Content-Type:");
    text += m_strContentType.str();
    text += "; charset=";
    text += m_strCharset.str();
}

std::string CHttpRequest::BuildUrl() const {
    // The port goes as written, so libcurl refuses one outside 0-65535 instead of wrapping it.
    const std::string port = std::to_string(m_nPort);
    std::string url;
    url.reserve(8 + m_strHost.str().size() + 1 + port.size() + 1 + m_strObject.str().size());
    url += m_bSecure != 0 ? "https://" : "http://";
    url += m_strHost.str();
    url += ':';
    url += port;
    url += '/';
    url += m_strObject.str();
    return url;
}

std::string CHttpRequest::ChooseBody() {
    if (m_pCompress != nullptr && m_pCompress->IsCompress() != 0) {
        // A copy: the body stays as the host set it for the next request.
        CString compressed = m_strContent;
        m_pCompress->Compress(&compressed);
        return compressed.str();
    }
    // Nothing to convert (a GET's usual body).
    if (m_strContent.IsEmpty()) return std::string();
    if (m_strContentType.Left(4).CompareNoCase("text") == 0) {
        if (m_strCharset.CompareNoCase("UTF-8") == 0)
            return codepage::ToUtf8(m_strContent.GetString(), static_cast<size_t>(m_strContent.GetLength()));
        if (m_strCharset.CompareNoCase("UTF-16") == 0) return Utf16LeBytes(m_strContent.AllocSysString());
    }
    return m_strContent.str();
}

int CHttpRequest::SendHttp() {
    if (m_nVerb < 0 || m_nVerb >= kVerbCount) {
        m_strLastError.Format("Can't open %s", m_strObject.GetString());
        return 0;
    }
    // Kept between requests: a request made again builds nothing it has built
    // before, 3,000 instructions of a small GET.
    net::HttpExchange& exchange = m_Exchange;
    if (m_strUrlBuilt.empty()) m_strUrlBuilt = BuildUrl();
    exchange.url = m_strUrlBuilt;
    exchange.method = kVerbs[m_nVerb];
    BuildHeaders(m_strHeaderScratch);
    if (m_strHeaderScratch != m_strHeaders) {
        exchange.headers = SplitLines(m_strHeaderScratch);
        m_strHeaders = m_strHeaderScratch;
    }

    std::string body;
    try {
        body = ChooseBody();
    } catch (const std::exception& e) {
        m_strLastError.Format("%s%sPerhaps Internet HTTP Request Error.", e.what(), "\r\n");
        return 0;
    } catch (...) {
        // A host's compression object may throw anything.
        m_strLastError.Format("%s%sPerhaps Internet HTTP Request Error.", "Unknown exception", "\r\n");
        return 0;
    }
    if (body.size() > static_cast<size_t>(INT_MAX)) {
        m_strLastError = "Request body too large: over 2 GiB";
        return 0;
    }
    // HEAD carries no body; GET carries one only when there is one.
    exchange.sendBody = m_nVerb != kVerbHead && (m_nVerb != kVerbGet || !body.empty());
    exchange.body = body.data();
    exchange.bodyLength = body.size();
    m_nBodyBytesRequest = exchange.sendBody ? static_cast<int>(body.size()) : 0;

    exchange.user = m_strUser.str();
    exchange.password = m_strPassword.str();
    exchange.secrets = m_bodySecrets;
    // The transport reads the process defaults with the rest of the environment, in one pass.
    constexpr int kDefault = net::HttpExchange::kProcessDefault;
    exchange.connectSeconds = m_nConnectSeconds > 0 ? m_nConnectSeconds : kDefault;
    exchange.stallSeconds = m_nStallSeconds > 0 ? m_nStallSeconds : kDefault;
    exchange.deadlineSeconds = m_nDeadlineSeconds > 0 ? m_nDeadlineSeconds : kDefault;
    exchange.maxBodyBytes = INT_MAX - m_Response.GetSize();

    const auto tooLarge = [&exchange] {
        return "Response too large: the byte buffer holds at most 2 GiB (" + exchange.url + ")";
    };
    auto sink = [&](const unsigned char* bytes, size_t length, std::string& error) {
        if (length > static_cast<size_t>(INT_MAX - m_Response.GetSize())) {
            error = tooLarge();
            return false;
        }
        try {
            m_Response.AddBuf(const_cast<unsigned char*>(bytes), static_cast<int>(length));
        } catch (const std::length_error&) {
            error = tooLarge();
            return false;
        } catch (const std::bad_alloc&) {
            error = "Out of memory while reading the response (" + exchange.url + ")";
            return false;
        }
        return true;
    };

    net::HttpOutcome outcome;
    if (!m_Transport.Perform(exchange, sink, outcome)) {
        m_strLastError = CString(outcome.bodyTooLarge ? tooLarge() : outcome.error);
        return 0;
    }
    m_nStatusCode = outcome.status;
    m_bResponseHeaders = true;
    if (outcome.hasContentType) m_strResponseContentType = outcome.contentType.c_str();
    return 1;
}
