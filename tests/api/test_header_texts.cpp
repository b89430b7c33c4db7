// orvex.h lists beside each function the texts it can leave, quoted as C
// literals with capitalised words for the parts that vary. Each row makes
// the library leave one text and finds its wording in the header, so
// neither can change without the other.
#include <orvex.h>

#include "common/test_support.h"
#include "http/http_test_server.h"
#include "http/http_test_util.h"
#include "transfer/ftp_test_server.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using testing_support::FtpTestServer;
using testing_support::HttpHandle;
using testing_support::HttpTestServer;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Row {
    std::string wording;  // as orvex.h writes it, between the quotes
    std::string text;     // what the library left
};

// The header with its comment marks gone and every run of blanks and line
// ends made one blank, so that a quoted text may wrap.
const std::string& Header() {
    static const std::string header = [] {
        std::ifstream in(SourceDir() + "/include/orvex.h");
        std::stringstream lines;
        lines << in.rdbuf();
        std::string joined;
        for (std::string line; std::getline(lines, line);) {
            size_t start = line.find_first_not_of(' ');
            if (start != std::string::npos && line[start] == '*' && line.compare(start, 2, "*/") != 0)
                ++start;
            joined += ' ';
            joined.append(line, start == std::string::npos ? line.size() : start);
        }
        return std::regex_replace(joined, std::regex("\\s+"), " ");
    }();
    return header;
}

// The words that stand for what varies in a quoted text.
const std::set<std::string>& Placeholders() {
    static const std::set<std::string> words = {
        "CELLS", "CODE",   "COLS", "DETAIL", "FAULT",  "FILE",   "HOST",   "N",    "NAME", "PATH",
        "PORT",  "REASON", "ROOT", "ROWS",   "SCHEME", "SERVER", "STRING", "TEXT", "URI",  "URL"};
    return words;
}

// The wording read as C reads a literal, each placeholder matching any run of characters.
std::regex Pattern(const std::string& wording) {
    std::string pattern;
    for (size_t i = 0; i < wording.size();) {
        const char c = wording[i];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < wording.size() && std::isalpha(static_cast<unsigned char>(wording[end]))) ++end;
            const std::string word = wording.substr(i, end - i);
            pattern += Placeholders().count(word) != 0 ? std::string("[\\s\\S]*") : word;
            i = end;
            continue;
        }
        char literal = c;
        if (c == '\\' && i + 1 < wording.size()) {
            const char e = wording[++i];
            literal = e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
        if (std::string("\\^$.|?*+()[]{}").find(literal) != std::string::npos) pattern += '\\';
        pattern += literal;
        ++i;
    }
    return std::regex(pattern);
}

void ExpectListed(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wording);
        EXPECT_NE(Header().find('"' + row.wording + '"'), std::string::npos) << "not in orvex.h";
        EXPECT_TRUE(std::regex_match(row.text, Pattern(row.wording))) << "the library left: " << row.text;
    }
}

// The reason SOAP_GetSRS gives for a stored response.
std::string ReadFailure(const std::string& response) {
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    SOAP_SetSoap(message, response.c_str());
    SOAP_GetSRS(message);
    std::string reason = SOAP_GetLastError(message);
    SOAP_delete(message);
    return reason;
}

// Rows that each bring a field of a new name: a table of few bytes and many cells.
std::string EverNewFields(int rows) {
    std::string body;
    for (int i = 0; i < rows; ++i)
        body += "<r><f" + std::to_string(i) + ">x</f" + std::to_string(i) + "></r>";
    return "<s:Envelope xmlns:s='urn:s'><s:Body><m:R xmlns:m='urn:m'><t>" + body +
           "</t></m:R></s:Body></s:Envelope>";
}

// A query value with every byte but letters and digits escaped.
std::string Query(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Failure(HTTP_HANDLE h, const std::string& url) {
    EXPECT_EQ(HTTP_Request(h, url.c_str(), nullptr, nullptr), 0) << url;
    return HTTP_GetLastError(h);
}

int Cancel(void*, long long, long long) { return 1; }

}  // namespace

TEST(HeaderTexts, TheSoapReadersTextsAreListed) {
    const std::string fault =
        "<s:Envelope xmlns:s='urn:s'><s:Body><s:Fault><faultcode>s:Server</faultcode>"
        "<faultstring>Bad input</faultstring><detail>at line 3</detail></s:Fault></s:Body></s:Envelope>";
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    HTTP_HANDLE call = HTTP_new(1);
    HTTP_AttachSoap(call, message);
    const std::string url = HttpTestServer::Get().Http("/status/500?body=" + Query(fault));
    EXPECT_EQ(HTTP_Request(call, url.c_str(), nullptr, nullptr), 0);
    const std::string callError = HTTP_GetLastError(call);
    const std::string faultLines = SOAP_GetLastError(message);
    HTTP_delete(call);
    SOAP_delete(message);

    ExpectListed({
        {"Invalid SOAP XML!", ReadFailure("<a><b></a>")},
        {"Not a SOAP response: the root element is <ROOT>, not a SOAP 1.1 or 1.2 Envelope",
         ReadFailure("<html><body/></html>")},
        {R"(Not a SOAP response: the root element is <ROOT> in namespace \"URI\", not a SOAP 1.1 or 1.2 Envelope)",
         ReadFailure("<h:html xmlns:h='urn:h'/>")},
        {"Record set too large: ROWS rows x COLS columns pass the limit of CELLS cells",
         ReadFailure(EverNewFields(4097))},
        {R"(\r\nfaultcode = CODE\r\nfaultstring = STRING\r\ndetail = DETAIL)", faultLines},
        {R"(Return Error Code=N(TEXT)\r\nReturn Soap Error:FAULT)", callError},
    });
}

namespace {

// The reason SOAP_AddHeader gives for a block it refuses.
std::string HeaderRefusal(const char* xml) {
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    EXPECT_EQ(SOAP_AddHeader(message, xml), 0) << xml;
    std::string reason = SOAP_GetLastError(message);
    SOAP_delete(message);
    return reason;
}

// The reason SOAP_SetUsernameToken gives for settings it refuses.
std::string TokenRefusal(int flags, int ttlSeconds) {
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    EXPECT_EQ(SOAP_SetUsernameToken(message, "u", "p", flags, ttlSeconds), 0);
    std::string reason = SOAP_GetLastError(message);
    SOAP_delete(message);
    return reason;
}

}  // namespace

TEST(HeaderTexts, TheSoapHeaderTextsAreListed) {
    ExpectListed({
        {"Unknown WS-Security flags: N", TokenRefusal(32, 0)},
        {"A negative time to live for the WS-Security timestamp: N", TokenRefusal(0, -5)},
        {"Header block is not well-formed XML: REASON", HeaderRefusal("<a><b></a>")},
        {"Header block holds text outside its elements", HeaderRefusal("<a/>x")},
        {"Header block holds no element", HeaderRefusal("")},
    });
}

TEST(HeaderTexts, TheRequestTextsAreListed) {
    const HttpTestServer& server = HttpTestServer::Get();
    HttpHandle plain;
    HttpHandle badVerb;
    HTTP_SetVerb(badVerb, 9);
    HTTP_HANDLE soap = HTTP_new(1);
    const std::string noMessage = Failure(soap, server.Http("/echo"));
    HTTP_delete(soap);

    ExpectListed({
        {"Return Error Code=N(TEXT)", Failure(plain, server.Http("/status/404"))},
        {"Soap object not set", noMessage},
        {"Can't open PATH", Failure(badVerb, server.Http("/echo"))},
        {R"(Unsupported scheme \"SCHEME\" (only http and https): URL)", Failure(plain, "ftp://h/x")},
        {R"(Bad host \"HOST\": URL)", Failure(plain, "http://[::1]x/")},
        {R"(Port \"PORT\" is not a port number (1-65535): URL)", Failure(plain, "http://h:8080abc/")},
        {"Maximum (10) redirects followed", Failure(plain, server.Http("/hops/11"))},
        {"Response too large: the byte buffer holds at most 2 GiB (URL)",
         Failure(plain, server.Http("/cut/3000000000/10"))},
        {"Redirect refused (only http and https are followed, never https to http): REASON",
         Failure(plain, server.Http("/redirect/302?to=" + Query("ftp://127.0.0.1/x")))},
    });
}

TEST(HeaderTexts, TheTransferTextsAreListed) {
    TempDir dir;
    const std::string source = dir.Path("source.txt");
    WriteFile(source, "bytes");
    const std::string target = dir.Path("target.txt");
    const std::string ftpMissing = FtpTestServer::Get().Url("missing.txt");

    ExpectListed({
        {"Invalid Ftp filename: NAME", DownloadFile("ftp:nothing", target.c_str(), 0)},
        {R"(NAME load failure!\t)", DownloadFile("gopher://h/x", target.c_str(), 0)},
        {R"(NAME load failure (status N REASON)!\t)",
         DownloadFile(HttpTestServer::Get().Http("/status/404").c_str(), target.c_str(), 0)},
        {"FILE: REASON", DownloadFile(source.c_str(), dir.path().c_str(), 0)},
        {R"(Ftp Server \"SERVER\" connection failure:\r\nREASON)",
         DownloadFile("ftp://127.0.0.1:1/x", target.c_str(), 0)},
        {R"(Ftp file \"PATH\" access failure:\r\nREASON)",
         DownloadFile(ftpMissing.c_str(), target.c_str(), 0)},
        {"Transfer cancelled: NAME", DownloadFileEx(source.c_str(), target.c_str(), 0, Cancel, nullptr)},
    });
}

TEST(HeaderTexts, TheXmlTreeTextsAreListed) {
    TempDir dir;
    WriteFile(dir.Path("cut.xml"), "<a><b>");
    std::vector<Row> rows;
    for (const std::string& xml : {std::string(), std::string("<a></b>"), dir.Path("cut.xml"), dir.path()}) {
        XML_new(xml.c_str(), 0);
        rows.push_back({"", XML_GetLastError()});
    }
    rows[0].wording = "No XML: the text is NULL or empty";
    rows[1].wording = "Invalid XML: REASON";
    rows[2].wording = "Invalid XML in NAME: REASON";
    rows[3].wording = "Not a regular file: NAME";
    // A file past 2 GiB, which no one can have the library read; sparse, so it costs no disk.
    const std::string huge = dir.Path("huge.xml");
    WriteFile(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), 0x80000001LL), 0);
    XML_new(huge.c_str(), 0);
    rows.push_back({"Cannot read NAME: REASON", XML_GetLastError()});
    ExpectListed(rows);
}
