// orvex: SOAP calls, HTTP requests, XML trees and file transfers from the
// command line, through the C interface of liborvex alone.
#include <orvex.h>

#include <iconv.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <climits>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

const char kMainHelp[] =
    "usage: orvex [-v] COMMAND [ARGS]\n"
    "\n"
    "  -v, --verbose         trace every request and response on standard error\n"
    "                        (passwords left out), unless ORVEX_TRACE names a file;\n"
    "                        also among the command's options\n"
    "\n"
    "commands:\n"
    "  soap URL ...          call a SOAP 1.1 or 1.2 service and print its result\n"
    "  wsdl LOCATION         list the operations a WSDL describes\n"
    "  call LOCATION OP ...  call an operation a WSDL describes\n"
    "  get URL               GET a URL and write the body to standard output\n"
    "  post URL ...          POST a body and write the answer to standard output\n"
    "  xml FILE|-            print an XML document as a tree\n"
    "  download URL FILE     copy a URL (http, https, ftp, file) into a file\n"
    "  upload FTPNAME FILE   copy a file to an FTP server\n"
    "\n"
    "'orvex COMMAND --help' describes each; 'orvex --version' prints the version.\n"
    "Exit status: 0 success, 1 a failed call or a response that could not be\n"
    "read (the reason on standard error), 2 bad usage.\n";

const char kSoapHelp[] =
    "usage: orvex soap URL --method M [--dialect dotnet|apache]\n"
    "                  [--namespace NS | --target-uri URI] [--soap12] [--action A]\n"
    "                  [NAME[:TYPE]=VALUE ...] [--table NAME[:ROW]=FILE.csv ...]\n"
    "                  [--csv | --json | --xml | --envelope] [--qualified-names]\n"
    "                  [--header FILE.xml ...] [--wsse-user U --wsse-password-file F\n"
    "                  [--wsse-digest] [--wsse-ttl S]]\n"
    "                  [--user U] [--password P] [--connect-timeout S] [--stall-timeout S]\n"
    "                  [--deadline S]\n"
    "\n"
    "Calls method M and prints the result record set as an aligned table. The\n"
    "URL is the first argument that is not an option, whatever it holds; with\n"
    "--envelope it may be left out (only a name with a scheme is taken for it).\n"
    "  --dialect      dotnet (document/literal, the default) or apache (RPC/encoded)\n"
    "  --namespace    the service namespace (.NET dialect)\n"
    "  --target-uri   the target object URI (Apache dialect)\n"
    "  --soap12       write a SOAP 1.2 envelope and post it as application/soap+xml\n"
    "  --action       the action to name instead of the one the dialect derives\n"
    "  NAME:TYPE=V    a scalar parameter; TYPE is an XML Schema or database type\n"
    "                 name (string, int, dateTime, date, boolean, double, xml...);\n"
    "                 without it the value is a string\n"
    "  --table        a record-set parameter read from a CSV file whose first line\n"
    "                 names the columns as NAME or NAME:TYPE; NAME[] sends an array\n"
    "                 of structs, ROW names the row element (default: NAME)\n"
    "  --table K      of a DataSet answer, print table K alone (from 1); without\n"
    "                 it every table is printed under its name\n"
    "  --csv, --json  print the record set as CSV or JSON instead; a null cell is\n"
    "                 an empty field in CSV (an empty text is \"\"), null in JSON\n"
    "                 and (null) in the table\n"
    "  --qualified-names  show columns as the service wrote them (tns:Id), not\n"
    "                 by their local names (Id)\n"
    "  --xml          print the response as a tree\n"
    "  --envelope     print the request envelope and send nothing\n"
    "  --header       a SOAP header block of literal XML read from FILE.xml, sent\n"
    "                 in the envelope's Header; may be repeated\n"
    "  --wsse-user    send a WS-Security UsernameToken for user U, with the\n"
    "                 password read from F (one line; its line end is dropped)\n"
    "  --wsse-digest  send the password as a digest with a nonce and a time\n"
    "                 instead of as text\n"
    "  --wsse-ttl     add a timestamp that expires S seconds after the call\n";

const char kGetHelp[] =
    "usage: orvex get URL [-i] [--show-header NAME ...] [--user U] [--password P]\n"
    "                  [--connect-timeout S] [--stall-timeout S] [--deadline S]\n"
    "\n"
    "Sends a GET request and writes the response body to standard output.\n"
    "--connect-timeout, --stall-timeout and --deadline (the whole request, 100\n"
    "by default) take seconds; the same options serve post and soap.\n"
    "  -i, --include  first write the final response's status (\"status 404\"),\n"
    "                 the headers asked for and an empty line; the body of a\n"
    "                 response of any status follows (the exit status is still 1\n"
    "                 for one other than 200)\n"
    "  --show-header  with -i (which it implies), also that response header as\n"
    "                 \"NAME: value\", when the response has it; may be repeated\n";

const char kPostHelp[] =
    "usage: orvex post URL [--data TEXT | --data-file FILE|-] [--content-type T]\n"
    "                  [--charset C] [-i] [--show-header NAME ...]\n"
    "                  [--user U] [--password P]\n"
    "                  [--connect-timeout S] [--stall-timeout S]\n"
    "                  [--deadline S]\n"
    "\n"
    "Sends a POST request and writes the response body to standard output. The\n"
    "content type defaults to text/plain and the charset to UTF-8; a text type\n"
    "is sent in the charset named. -i and --show-header as for get.\n";

const char kXmlHelp[] =
    "usage: orvex xml FILE|- [--soap-body]\n"
    "\n"
    "Prints the XML document in FILE (or standard input) as an indented tree:\n"
    "one node per line, attributes in brackets, leaf texts after '='.\n"
    "  --soap-body    start at the SOAP response element, prefixes removed\n";

const char kWsdlHelp[] =
    "usage: orvex wsdl LOCATION [--csv | --json] [--max-age SECONDS]\n"
    "\n"
    "Lists the operations of the SOAP ports a WSDL 1.1 description offers, from an\n"
    "http or https URL, a file URL or a path, with everything it imports: each\n"
    "operation's parts (\"name type, ...\", [] for an array, ? for an optional one),\n"
    "what it answers, its action, SOAP version and address.\n"
    "  --max-age      read fetched documents from the cache directory while they\n"
    "                 are younger than SECONDS (default 0: always fetch)\n";

const char kCallHelp[] =
    "usage: orvex call LOCATION OPERATION [NAME=VALUE ...] [--table NAME[:ROW]=FILE.csv ...]\n"
    "                  [--port P] [--url U] [--max-age SECONDS]\n"
    "                  [--csv | --json | --xml | --envelope] [--qualified-names]\n"
    "                  [--header FILE.xml ...] [--wsse-user U --wsse-password-file F\n"
    "                  [--wsse-digest] [--wsse-ttl S]]\n"
    "                  [--user U] [--password P] [--connect-timeout S] [--stall-timeout S]\n"
    "                  [--deadline S]\n"
    "\n"
    "Calls OPERATION as the WSDL description at LOCATION describes it: dialect,\n"
    "namespace, action, SOAP version and address from the description, each\n"
    "NAME=VALUE typed by its part and checked before anything is sent, and prints\n"
    "the result with the types of its fields (JSON numbers, booleans and null).\n"
    "  --port         the port to call through (default: the first SOAP 1.1 port\n"
    "                 that has the operation, else the first SOAP 1.2 one)\n"
    "  --url          the address to send to instead of the port's\n"
    "  --max-age      as for wsdl: read the description from the cache while fresh\n"
    "  --table, --csv, --json, --xml, --envelope, --qualified-names, --header,\n"
    "  --wsse-user, --wsse-password-file, --wsse-digest, --wsse-ttl: as for soap\n";

const char kDownloadHelp[] =
    "usage: orvex download URL FILE [--max-age SECONDS] [--deadline S]\n"
    "\n"
    "Downloads URL (http, https, ftp or file) into FILE, which is replaced only\n"
    "once the whole body has arrived. A progress bar shows on a terminal. Ctrl-C\n"
    "cancels and leaves nothing behind (exit status 130).\n"
    "  --max-age      keep a FILE modified no more than SECONDS ago and transfer\n"
    "                 nothing (default 0: always transfer; ftp always transfers)\n"
    "  --deadline     seconds the whole download may take, connecting and every\n"
    "                 redirect included (default 0: ORVEX_DOWNLOAD_DEADLINE, or none)\n";

const char kUploadHelp[] =
    "usage: orvex upload FTPNAME FILE\n"
    "\n"
    "Uploads FILE to FTPNAME, ftp://[user[:password]@]host[:port]/path (anonymous\n"
    "unless a user is written), replacing a remote file of that name; any other\n"
    "name is bad usage. A progress bar shows on a terminal.\n";

// A usage error: one line naming the problem and where the usage is.
int Usage(const char* command, const std::string& problem) {
    std::fprintf(stderr, "orvex: %s (see 'orvex %s%s--help')\n", problem.c_str(), command,
                 *command ? " " : "");
    return kUsage;
}

// A whole number of seconds, 0 or more.
bool ParseSeconds(const char* text, int& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 0 || value > INT_MAX) return false;
    seconds = static_cast<int>(value);
    return true;
}

// An output format option (--csv, --json, ...): false with the problem when another was given.
bool TakeFormat(const std::string& arg, std::string& format, std::string& problem) {
    if (format != "table" && format != arg.substr(2)) {
        problem = "--" + format + " and " + arg + " cannot be combined";
        return false;
    }
    format = arg.substr(2);
    return true;
}

// The trace is read at the library's first exchange, so it is set while arguments are read.
// An empty ORVEX_TRACE means off, which -v overrides; a file named there keeps the trace.
bool TakeGlobalOption(const std::string& arg) {
    if (arg != "-v" && arg != "--verbose") return false;
    const char* trace = std::getenv("ORVEX_TRACE");
    if (trace == nullptr || *trace == '\0') setenv("ORVEX_TRACE", "-", 1);
    return true;
}

// "scheme://...", the scheme a letter followed by letters, digits, '+', '-' or '.'.
bool HasScheme(const std::string& name) {
    const size_t colon = name.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// A name as the command shows it: a password written in it is left out ("user@host").
std::string Shown(const std::string& name) {
    const size_t scheme = name.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t end = std::min(name.find_first_of("/?#", start), name.size());
    const size_t at = name.rfind('@', end - 1);
    if (end == start || at == std::string::npos || at < start) return name;
    const size_t colon = name.find(':', start);
    return colon < at ? name.substr(0, colon) + name.substr(at) : name;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    return false;
}

bool ReadAll(const std::string& path, std::string& out) {
    if (path == "-") {
        out.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Options shared by the commands that send requests.
struct Connection {
    std::string user;
    std::string password;
    int connectSeconds = 0;
    int stallSeconds = 0;
    int deadlineSeconds = 0;
};

// Takes --user, --password, the timeouts and the deadline; false when argument i is none of them.
bool TakeConnectionOption(int argc, char** argv, int& i, Connection& c, std::string& problem) {
    const std::string arg = argv[i];
    if (arg != "--user" && arg != "--password" && arg != "--connect-timeout" && arg != "--stall-timeout" &&
        arg != "--deadline")
        return false;
    if (i + 1 >= argc) {
        problem = arg + " needs a value";
        return true;
    }
    const char* value = argv[++i];
    if (arg == "--user")
        c.user = value;
    else if (arg == "--password")
        c.password = value;
    else if (!ParseSeconds(value, arg == "--connect-timeout" ? c.connectSeconds
                                  : arg == "--stall-timeout" ? c.stallSeconds
                                                             : c.deadlineSeconds))
        problem = arg + " takes a number of seconds";
    return true;
}

// --- reasons ----------------------------------------------------------------

// A library text as lines of the command's own, each after "orvex: ": without the tabs and line
// ends the library's texts may end in ("load failure!\t") or hold between their lines.
void PrintReason(const std::string& text) {
    bool printed = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        line.erase(line.find_last_not_of(" \t") + 1);
        if (!line.empty()) std::fprintf(stderr, "orvex: %s\n", line.c_str());
        printed = printed || !line.empty();
        start = end + 1;
    }
    if (!printed) std::fputs("orvex: failed, with no reason given\n", stderr);
}

// Header blocks and a WS-Security token that soap and call send with their call.
struct HeaderOptions {
    std::vector<std::string> files;
    std::optional<std::string> wsseUser;
    std::optional<std::string> wssePasswordFile;
    bool wsseDigest = false;
    int wsseTtl = 0;
};

// Takes --header, --wsse-user, --wsse-password-file, --wsse-digest and --wsse-ttl; false when
// argument i is none of them.
bool TakeHeaderOption(int argc, char** argv, int& i, HeaderOptions& h, std::string& problem) {
    const std::string arg = argv[i];
    if (arg == "--wsse-digest") {
        h.wsseDigest = true;
        return true;
    }
    if (arg != "--header" && arg != "--wsse-user" && arg != "--wsse-password-file" && arg != "--wsse-ttl")
        return false;
    if (i + 1 >= argc) {
        problem = arg + " needs a value";
        return true;
    }
    const char* value = argv[++i];
    if (arg == "--header")
        h.files.emplace_back(value);
    else if (arg == "--wsse-user")
        h.wsseUser = value;
    else if (arg == "--wsse-password-file")
        h.wssePasswordFile = value;
    else if (!ParseSeconds(value, h.wsseTtl))
        problem = "--wsse-ttl takes a number of seconds";
    return true;
}

// Gives the message its header blocks and token: kOk, or the exit status after saying why not.
int ApplyHeaderOptions(SOAP_HANDLE soap, const HeaderOptions& h, const char* command) {
    if (h.wsseUser.has_value() != h.wssePasswordFile.has_value())
        return Usage(command, "--wsse-user and --wsse-password-file go together");
    if (!h.wsseUser && (h.wsseDigest || h.wsseTtl != 0))
        return Usage(command, "--wsse-digest and --wsse-ttl need --wsse-user");
    for (const std::string& file : h.files) {
        std::string block;
        if (!ReadAll(file, block))
            return std::fprintf(stderr, "orvex: cannot read %s\n", file.c_str()), kFailed;
        if (SOAP_AddHeader(soap, block.c_str()) == 0) {
            PrintReason(file + ": " + SOAP_GetLastError(soap));
            return kFailed;
        }
    }
    if (h.wsseUser) {
        // A file keeps the password out of the process list and the shell's history.
        std::string password;
        if (!ReadAll(*h.wssePasswordFile, password))
            return std::fprintf(stderr, "orvex: cannot read %s\n", h.wssePasswordFile->c_str()), kFailed;
        if (!password.empty() && password.back() == '\n') password.pop_back();
        if (!password.empty() && password.back() == '\r') password.pop_back();
        const int flags = h.wsseDigest ? ORVEX_WSSE_DIGEST : 0;
        if (SOAP_SetUsernameToken(soap, h.wsseUser->c_str(), password.c_str(), flags, h.wsseTtl) == 0) {
            PrintReason(SOAP_GetLastError(soap));
            return kFailed;
        }
    }
    return kOk;
}

// A fault's part on one line: each run of blanks that holds a line end becomes one space.
std::string OneLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t end = std::min(text.find_first_not_of(" \t\r\n", i), text.size());
        if (end == i) {
            out += text[i++];
            continue;
        }
        const std::string blanks = text.substr(i, end - i);
        out += blanks.find_first_of("\r\n") == std::string::npos ? blanks : " ";
        i = end;
    }
    const size_t first = out.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : out.substr(first, out.find_last_not_of(" \t") - first + 1);
}

// The message's fault text ("\r\nfaultcode = C\r\nfaultstring = S\r\ndetail = D", each part only
// when the service sent it) as "fault C: S" and "detail: D"; false when the text is no fault.
bool PrintFault(const std::string& text) {
    static const std::string kParts[] = {"\r\nfaultcode = ", "\r\nfaultstring = ", "\r\ndetail = "};
    std::string values[std::size(kParts)];
    size_t pos = 0;
    for (size_t i = 0; i < std::size(kParts); ++i) {
        if (text.compare(pos, kParts[i].size(), kParts[i]) != 0) continue;
        pos += kParts[i].size();
        size_t end = text.size();  // a part runs to the next one's marker
        for (size_t j = i + 1; j < std::size(kParts); ++j) end = std::min(end, text.find(kParts[j], pos));
        values[i] = OneLine(text.substr(pos, end - pos));
        pos = end;
    }
    if (pos == 0 || pos != text.size()) return false;
    std::string line = "fault";
    if (!values[0].empty()) line += " " + values[0];
    if (!values[1].empty()) line += ": " + values[1];
    std::fprintf(stderr, "orvex: %s\n", line.c_str());
    if (!values[2].empty()) std::fprintf(stderr, "orvex: detail: %s\n", values[2].c_str());
    return true;
}

// What get and post show besides the body: -i and the headers of --show-header.
struct Include {
    bool on = false;
    std::vector<std::string> headers;
};

// Takes -i, --include and --show-header NAME; false when argument i is none of them.
bool TakeIncludeOption(int argc, char** argv, int& i, Include& include, std::string& problem) {
    const std::string arg = argv[i];
    if (arg == "-i" || arg == "--include") {
        include.on = true;
    } else if (arg == "--show-header") {
        if (i + 1 >= argc) return problem = arg + " needs a value", true;
        include.on = true;
        include.headers.emplace_back(argv[++i]);
    } else {
        return false;
    }
    return true;
}

HTTP_HANDLE NewRequest(int soap, const Connection& c) {
    HTTP_HANDLE http = HTTP_new(soap);
    if (http != nullptr && (c.connectSeconds > 0 || c.stallSeconds > 0))
        HTTP_SetTimeouts(http, c.connectSeconds, c.stallSeconds);
    if (http != nullptr && c.deadlineSeconds > 0) HTTP_SetDeadline(http, c.deadlineSeconds);
    return http;
}

// Sends the request; a failure is told as the message's fault when there is one.
int Send(HTTP_HANDLE http, const std::string& url, const Connection& c, SOAP_HANDLE soap = nullptr) {
    const int ok = HTTP_Request(http, url.c_str(), c.user.empty() ? nullptr : c.user.c_str(),
                                c.password.empty() ? nullptr : c.password.c_str());
    if (!ok && (soap == nullptr || !PrintFault(SOAP_GetLastError(soap))))
        PrintReason(HTTP_GetLastError(http));
    return ok;
}

// The body of a success; with -i, the final response's status and the headers asked for first,
// and then the body whatever the status (a request that got no whole response shows nothing).
void WriteResponse(HTTP_HANDLE http, int ok, const Include& include) {
    if (include.on) {
        const int status = HTTP_GetStatusCode(http);
        if (status == 0) return;
        std::printf("status %d\n", status);
        for (const std::string& name : include.headers)
            if (const char* value = HTTP_GetResponseHeader(http, name.c_str()))
                std::printf("%s: %s\n", name.c_str(), value);
        std::putchar('\n');
    } else if (!ok) {
        return;
    }
    const unsigned char* body = HTTP_GetResponse(http);
    const int length = HTTP_GetResponseContentLength(http);
    if (body != nullptr && length > 0) std::fwrite(body, 1, static_cast<size_t>(length), stdout);
}

// --- CSV --------------------------------------------------------------------

// Reads RFC 4180 CSV record by record, counting lines for messages.
struct CsvReader {
    const std::string& text;
    size_t pos = 0;
    int line = 1;        // where the next record starts
    int recordLine = 0;  // where the last record read started

    // The next record; false at the end, or with problem set when a quote does not close.
    bool Next(std::vector<std::string>& fields, std::string& problem) {
        fields.clear();
        if (pos >= text.size()) return false;
        recordLine = line;
        std::string field;
        bool quoted = false;
        while (pos < text.size()) {
            const char c = text[pos++];
            if (c == '\n') ++line;
            if (quoted) {
                if (c == '"' && pos < text.size() && text[pos] == '"') {
                    field += '"';
                    ++pos;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    field += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                fields.push_back(field);
                field.clear();
            } else if (c == '\n' || c == '\r') {
                if (c == '\r' && pos < text.size() && text[pos] == '\n') {
                    ++pos;
                    ++line;
                }
                break;
            } else {
                field += c;
            }
        }
        if (quoted) {
            problem = "line " + std::to_string(recordLine) + ": a quote does not close";
            return false;
        }
        fields.push_back(field);
        return true;
    }
};

// A cell's text, or none for a null cell (never written, or nil in the response).
using Cell = std::optional<std::string>;

// A null cell is an empty field and an empty text a quoted one, as databases write CSV.
std::string CsvField(const Cell& cell) {
    if (!cell) return "";
    const std::string& value = *cell;
    if (value.empty()) return "\"\"";
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Fills a new record set from a CSV file whose header names NAME or NAME:TYPE.
SRS_HANDLE RecordSetFromCsv(const std::string& path, const std::string& rowName, const std::string& nameSpace,
                            std::string& problem) {
    std::string text;
    if (!ReadAll(path, text)) {
        problem = "cannot read " + path;
        return nullptr;
    }
    CsvReader csv{text};
    std::vector<std::string> header;
    if (!csv.Next(header, problem) || (header.size() == 1 && header[0].empty())) {
        problem = path + ": " + (problem.empty() ? "no header line" : problem);
        return nullptr;
    }
    // Every row is checked before anything is sent: a ragged file is refused whole.
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    while (csv.Next(fields, problem)) {
        if (fields.size() == 1 && fields[0].empty()) continue;  // a blank line
        if (fields.size() != header.size()) {
            problem = path + ": line " + std::to_string(csv.recordLine) + ": " +
                      std::to_string(fields.size()) + " fields where the header names " +
                      std::to_string(header.size());
            return nullptr;
        }
        rows.push_back(fields);
    }
    if (!problem.empty()) {
        problem = path + ": " + problem;
        return nullptr;
    }
    SRS_HANDLE srs = SRS_new(rowName.c_str(), nameSpace.c_str(), rowName.c_str());
    std::vector<std::string> names;
    for (const std::string& column : header) {
        const size_t colon = column.find(':');
        names.push_back(column.substr(0, colon));
        SRS_AddCol(srs, names.back().c_str(),
                   colon == std::string::npos ? "string" : column.c_str() + colon + 1);
    }
    for (const auto& row : rows) {
        const int r = SRS_AddRow(srs);
        for (size_t i = 0; i < row.size(); ++i) SRS_SetText(srs, r, names[i].c_str(), row[i].c_str());
    }
    return srs;
}

// --- printing record sets ---------------------------------------------------

struct Table {
    std::vector<std::string> names;
    std::vector<std::string> types;  // as the columns were made: "xsd:int", "s:decimal", ""
    std::vector<std::vector<Cell>> rows;
};

// Read by column number, so that columns sharing a name each keep their own cells and type.
// Columns are shown by their local names ("Id" for "tns:Id") unless qualified.
Table ReadTable(SRS_HANDLE srs, bool qualified) {
    Table t;
    const int cols = SRS_ColCount(srs);
    const int rows = SRS_RowCount(srs);
    for (int c = 1; c <= cols; ++c) {
        const std::string name = SRS_GetColName(srs, c);
        const size_t colon = name.rfind(':');
        t.names.push_back(qualified || colon == std::string::npos ? name : name.substr(colon + 1));
        t.types.emplace_back(SRS_GetColTypeName(srs, c));
    }
    for (int r = 1; r <= rows; ++r) {
        std::vector<Cell> row;
        for (int c = 1; c <= cols; ++c)
            row.push_back(SRS_IsNull(srs, r, c) ? Cell() : Cell(SRS_GetTextAt(srs, r, c)));
        t.rows.push_back(row);
    }
    return t;
}

// A response that could not be read is a failed call, its reason on standard error.
int ReadResult(SOAP_HANDLE soap) {
    const char* error = SOAP_GetLastError(soap);
    if (error == nullptr || *error == '\0') return kOk;
    PrintReason(error);
    return kFailed;
}

// A library text in UTF-8. The library hands texts out in its code page (ORVEX_CODEPAGE, UTF-8
// unless set); a byte that code page does not define becomes U+FFFD.
std::string ToUtf8(const std::string& text) {
    static const bool kUtf8 =
        strcasecmp(Orvex_CodePage(), "UTF-8") == 0 || strcasecmp(Orvex_CodePage(), "UTF8") == 0;
    static const iconv_t kToUtf8 =
        kUtf8 ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", Orvex_CodePage());
    if (kUtf8 || kToUtf8 == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out;
    char chunk[256];
    char* in = const_cast<char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        char* next = chunk;
        size_t room = sizeof chunk;
        const size_t done = iconv(kToUtf8, &in, &left, &next, &room);
        out.append(chunk, static_cast<size_t>(next - chunk));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            out += "\xEF\xBF\xBD";
            ++in;
            --left;
            iconv(kToUtf8, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

// Display width in characters, a UTF-8 sequence counting as one.
size_t Width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : ToUtf8(s)) n += (c & 0xC0) != 0x80;
    return n;
}

// A null cell shows as "(null)", an empty text as nothing.
void PrintAligned(const Table& t) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : t.rows) {
        rows.emplace_back();
        for (const Cell& cell : row) rows.back().push_back(cell ? *cell : "(null)");
    }
    std::vector<size_t> widths;
    for (const std::string& name : t.names) widths.push_back(Width(name));
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (size_t c = 0; c < cells.size(); ++c) {
            out += cells[c];
            if (c + 1 < cells.size()) out += std::string(widths[c] - Width(cells[c]) + 2, ' ');
        }
        std::puts(out.c_str());
    };
    line(t.names);
    std::vector<std::string> rule;
    for (size_t w : widths) rule.emplace_back(w, '-');
    line(rule);
    for (const auto& row : rows) line(row);
    std::printf("(%zu row%s)\n", t.rows.size(), t.rows.size() == 1 ? "" : "s");
}

void PrintCsv(const Table& t) {
    const auto line = [](const auto& cells) {
        std::string out;
        for (size_t c = 0; c < cells.size(); ++c) out += (c ? "," : "") + CsvField(cells[c]);
        std::puts(out.c_str());
    };
    line(std::vector<Cell>(t.names.begin(), t.names.end()));
    for (const auto& row : t.rows) line(row);
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

bool IsJsonNumber(const std::string& s) {
    size_t i = 0;
    const auto digits = [&] {
        const size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i > start;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (i < s.size() && s[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < s.size() && s[i] == '.' && (++i, !digits())) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == s.size();
}

// XML Schema's numeric types, lower-cased, each between blanks.
const char kNumberTypes[] =
    " byte decimal double float int integer long negativeinteger nonnegativeinteger nonpositiveinteger "
    "positiveinteger short unsignedbyte unsignedint unsignedlong unsignedshort ";

// A cell as JSON by its column's XML Schema type: numbers and booleans bare when their text is
// one, null for a null cell, any other text a string.
std::string JsonValue(const std::string& type, const Cell& cell) {
    if (!cell) return "null";
    const std::string& text = *cell;
    std::string local = type.substr(type.rfind(':') + 1);  // npos + 1 is 0: the whole name
    for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!local.empty() && std::strstr(kNumberTypes, (" " + local + " ").c_str()) != nullptr &&
        IsJsonNumber(text))
        return text;
    if (local == "boolean" && (text == "true" || text == "1")) return "true";
    if (local == "boolean" && (text == "false" || text == "0")) return "false";
    return JsonString(ToUtf8(text));
}

// JSON is UTF-8 whatever the code page.
void PrintJson(const Table& t) {
    std::string out = "[";
    for (size_t r = 0; r < t.rows.size(); ++r) {
        out += r ? ",\n {" : "\n {";
        for (size_t c = 0; c < t.names.size(); ++c)
            out +=
                (c ? ", " : "") + JsonString(ToUtf8(t.names[c])) + ": " + JsonValue(t.types[c], t.rows[r][c]);
        out += "}";
    }
    out += t.rows.empty() ? "]" : "\n]";
    std::puts(out.c_str());
}

void PrintTable(const Table& t, const std::string& format) {
    if (format == "csv")
        PrintCsv(t);
    else if (format == "json")
        PrintJson(t);
    else
        PrintAligned(t);
}

// The tables of a DataSet answer, one after another: each under its name
// (in JSON an object of them by name), a blank line between.
void PrintTables(const std::vector<std::pair<std::string, Table>>& tables, const std::string& format) {
    if (format == "json") std::fputs("{", stdout);
    for (size_t i = 0; i < tables.size(); ++i) {
        if (format == "json") {
            std::printf("%s%s: ", i > 0 ? ",\n" : "\n", JsonString(tables[i].first).c_str());
            std::fflush(stdout);
        } else {
            std::printf("%s%s\n", i > 0 ? "\n" : "", tables[i].first.c_str());
        }
        PrintTable(tables[i].second, format);
    }
    if (format == "json") std::fputs("}\n", stdout);
}

// --- printing trees ---------------------------------------------------------

void PrintTree(XML_NODE node, int depth) {
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += XML_GetName(node);
    const int props = XML_GetProps(node);
    if (props > 0) {
        line += " [";
        for (int i = 1; i <= props; ++i) {
            line += i > 1 ? " " : "";
            line += XML_GetPropName(node, i);  // copied before the next call reuses the text
            line += "=" + JsonString(XML_GetPropValue(node, i));
        }
        line += "]";
    }
    const int children = XML_GetChildren(node);
    if (children == 0) line += std::string(" = ") + XML_GetText(node);
    std::puts(line.c_str());
    for (int i = 1; i <= children; ++i) PrintTree(XML_GetChild(node, i), depth + 1);
}

// --- transfer progress ------------------------------------------------------

using Clock = std::chrono::steady_clock;

std::string HumanBytes(double n) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB"};
    size_t unit = 0;
    while (n >= 1024 && unit + 1 < std::size(kUnits)) {
        n /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", n, kUnits[unit]);
    return text;
}

// The signals that stop a transfer, and the first of them that arrived (0: none yet).
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int signal) {
    if (g_nStopSignal == 0) g_nStopSignal = signal;
}

// A stop signal cancels the transfer through its progress function, so that it leaves nothing
// behind. The handlers stay for the whole transfer: further signals cannot end the process
// before that cleanup. A signal ignored from the start (a script's background job) stays so.
void StopOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    for (int signal : kStopSignals) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

// Once the transfer is over, a stop signal that arrived ends the command by that very signal,
// as shells expect of an interrupted command (they report 130 for SIGINT, and a script stops).
int EndTransfer(int result) {
    const int signal = g_nStopSignal;
    if (signal == 0) return result;
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    raise(signal);
    return 128 + signal;  // not reached: the default action ends the process
}

// One line on standard error, redrawn in place, when that is a terminal.
struct Progress {
    bool draw = isatty(2) != 0;
    Clock::time_point start = Clock::now();
    Clock::time_point drawn = start;  // so the first draw waits for a rate worth showing
    long long done = 0;
    long long total = -1;
    bool called = false;
    size_t width = 0;
};

void DrawProgress(Progress& p) {
    constexpr size_t kBarWidth = 24;
    std::string line;
    if (p.total >= 0) {
        const int percent = p.total > 0 ? static_cast<int>(std::min(100LL, p.done * 100 / p.total)) : 100;
        const size_t filled = static_cast<size_t>(percent) * kBarWidth / 100;
        char head[16];
        std::snprintf(head, sizeof head, "%3d%% ", percent);
        line = head + ("[" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] ");
        line += HumanBytes(static_cast<double>(p.done)) + " of " + HumanBytes(static_cast<double>(p.total));
    } else {
        line = HumanBytes(static_cast<double>(p.done));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - p.start).count();
    if (seconds > 0) line += "  " + HumanBytes(static_cast<double>(p.done) / seconds) + "/s";
    const size_t width = line.size();
    if (width < p.width) line.append(p.width - width, ' ');  // wipes the rest of a longer line
    p.width = width;
    std::fprintf(stderr, "\r%s", line.c_str());
}

int OnProgress(void* user, long long done, long long total) {
    Progress& p = *static_cast<Progress*>(user);
    p.done = done;
    p.total = total;
    p.called = true;
    const Clock::time_point now = Clock::now();
    if (p.draw && now - p.drawn >= std::chrono::milliseconds(100)) {
        p.drawn = now;
        DrawProgress(p);
    }
    return g_nStopSignal != 0;
}

// The last state, drawn whatever the throttle skipped, and a newline for what follows.
void EndProgress(Progress& p) {
    if (!p.draw || !p.called) return;
    DrawProgress(p);
    std::fputc('\n', stderr);
}

// A transfer's text is "" on success, else the library's reason.
int TransferResult(const char* text) {
    if (text[0] == '\0') return kOk;
    PrintReason(text);
    return kFailed;
}

// What is wrong with a name the library does not take for a download, or "" when it takes it
// (a failure then lies elsewhere). Names that begin with "ftp" are the library's FTP names.
std::string RefusedDownloadName(const std::string& name) {
    const std::string kinds =
        " (downloads take http://, https://, ftp:// and file:// names, and absolute paths)";
    if (strncasecmp(name.c_str(), "ftp", 3) == 0) return "";
    if (!HasScheme(name)) return name[0] == '/' ? "" : Shown(name) + ": no scheme" + kinds;
    const std::string scheme = name.substr(0, name.find("://"));
    if (strcasecmp(scheme.c_str(), "http") == 0 || strcasecmp(scheme.c_str(), "https") == 0) return "";
    if (strcasecmp(scheme.c_str(), "file") != 0) return Shown(name) + ": unknown scheme " + scheme + kinds;
    if (strncasecmp(name.c_str(), "file:///", 8) == 0 ||
        strncasecmp(name.c_str(), "file://localhost/", 17) == 0)
        return "";
    return Shown(name) + ": a file:// name takes no host but localhost (file:///path)";
}

// --- commands ---------------------------------------------------------------

// Adds the --table parameters, then prints the envelope or sends the call and
// prints what it answers as `format` asks; the exit status.
int CallAndPrint(SOAP_HANDLE soap, const std::string& url, const Connection& conn,
                 const std::vector<std::string>& tables, const std::string& typeNamespace,
                 const std::string& format, bool qualified, const char* command) {
    std::vector<SRS_HANDLE> sets;  // the caller's: they must outlive the call
    int result = kOk;
    int pick = 0;  // --table K: the K-th table of a DataSet answer
    for (const std::string& t : tables) {
        if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos) {
            pick = std::atoi(t.c_str());
            if (pick < 1) result = Usage(command, "--table K counts tables from 1");
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos) {
            result = Usage(command, "--table takes NAME[:ROW]=FILE.csv, or the number of an answer's table");
            break;
        }
        const std::string left = t.substr(0, eq);
        const size_t colon = left.find(':');
        const std::string name = left.substr(0, colon);
        std::string row = colon == std::string::npos ? name : left.substr(colon + 1);
        if (const size_t bracket = row.find('['); bracket != std::string::npos) row.erase(bracket);
        std::string problem;
        SRS_HANDLE srs = RecordSetFromCsv(t.substr(eq + 1), row, typeNamespace, problem);
        if (srs == nullptr) {
            std::fprintf(stderr, "orvex: %s\n", problem.c_str());
            result = kFailed;
            break;
        }
        sets.push_back(srs);
        SOAP_AddNodes(soap, name.c_str(), srs);
    }

    if (result == kOk && format == "envelope") {
        std::fputs(SOAP_GetSoap(soap), stdout);
    } else if (result == kOk) {
        Connection c = conn;
        HTTP_HANDLE http = NewRequest(1, c);
        HTTP_AttachSoap(http, soap);
        if (!Send(http, url, c, soap)) {
            result = kFailed;
        } else if (format == "xml") {
            XML_NODE tree = SOAP_GetXMLTree(soap);
            if (tree != nullptr) PrintTree(tree, 0);
            result = ReadResult(soap);
        } else {
            SRS_HANDLE first = SOAP_GetSRS(soap);
            const std::string name = first != nullptr ? SRS_GetName(first) : "";
            const Table t = ReadTable(first, qualified);
            result = ReadResult(soap);
            if (result == kOk && name.empty()) {
                PrintTable(t, format);
            } else if (result == kOk) {
                // A DataSet: its tables, or the one --table names.
                std::vector<std::pair<std::string, Table>> tables{{name, t}};
                for (int k = 2; pick == 0 || k <= pick; ++k) {
                    SRS_HANDLE next = SOAP_GetMultiSRS(soap, k);
                    if (next == nullptr) break;
                    // The name is copied first: reading the table's texts reuses the buffer it is in.
                    std::string tableName = SRS_GetName(next);
                    tables.emplace_back(std::move(tableName), ReadTable(next, qualified));
                }
                if (pick > static_cast<int>(tables.size())) {
                    PrintReason("the answer has " + std::to_string(tables.size()) + " tables, not " +
                                std::to_string(pick));
                    result = kFailed;
                } else if (pick > 0) {
                    PrintTable(tables[static_cast<size_t>(pick) - 1].second, format);
                } else {
                    PrintTables(tables, format);
                }
            }
        }
        HTTP_delete(http);
    }
    for (SRS_HANDLE srs : sets) SRS_delete(srs);
    return result;
}

int SoapCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kSoapHelp, stdout), kOk;
    std::string url, method, dialect = "dotnet", nameSpace, targetUri, format = "table";
    std::optional<std::string> action;
    std::vector<std::string> positionals, scalars, tables;
    bool qualified = false, soap12 = false;
    Connection conn;
    HeaderOptions headers;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        std::string problem;
        if (TakeConnectionOption(argc, argv, i, conn, problem) ||
            TakeHeaderOption(argc, argv, i, headers, problem)) {
            if (!problem.empty()) return Usage("soap", problem);
        } else if (arg == "--method" || arg == "--dialect" || arg == "--namespace" || arg == "--target-uri" ||
                   arg == "--table" || arg == "--action") {
            if (i + 1 >= argc) return Usage("soap", arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--method")
                method = value;
            else if (arg == "--dialect")
                dialect = value;
            else if (arg == "--namespace")
                nameSpace = value;
            else if (arg == "--target-uri")
                targetUri = value;
            else if (arg == "--action")
                action = value;
            else
                tables.push_back(value);
        } else if (arg == "--csv" || arg == "--json" || arg == "--xml" || arg == "--envelope") {
            if (!TakeFormat(arg, format, problem)) return Usage("soap", problem);
        } else if (arg == "--qualified-names") {
            qualified = true;
        } else if (arg == "--soap12") {
            soap12 = true;
        } else if (arg.rfind("--", 0) == 0) {
            return Usage("soap", "unknown option " + arg);
        } else {
            positionals.push_back(arg);
        }
    }
    // The URL is the first positional argument, whatever it holds (a query's '=' too). Printing
    // the envelope sends nothing, so there it is optional and only a name with a scheme is one.
    auto next = positionals.begin();
    if (next != positionals.end() && (format != "envelope" || HasScheme(*next))) url = *next++;
    for (; next != positionals.end(); ++next) {
        if (next->find('=') == std::string::npos) return Usage("soap", "unexpected argument " + *next);
        scalars.push_back(*next);
    }
    if (url.empty() && format != "envelope") return Usage("soap", "no URL given");
    if (method.empty()) return Usage("soap", "no --method given");
    if (dialect != "dotnet" && dialect != "apache") return Usage("soap", "--dialect is dotnet or apache");

    SOAP_HANDLE soap = SOAP_new(dialect == "dotnet" ? "dotnet" : "apache soap", method.c_str());
    if (!nameSpace.empty()) SOAP_SetNameSpace(soap, nameSpace.c_str());
    if (!targetUri.empty()) SOAP_SetTargetObjectURI(soap, targetUri.c_str());
    if (soap12) SOAP_SetSoapVersion(soap, 12);
    if (action && SOAP_SetAction(soap, action->c_str()) == 0) {
        SOAP_delete(soap);
        return Usage("soap", "--action cannot hold a double quote or a line end");
    }
    if (const int applied = ApplyHeaderOptions(soap, headers, "soap"); applied != kOk) {
        SOAP_delete(soap);
        return applied;
    }
    for (const std::string& p : scalars) {
        const size_t eq = p.find('=');
        const std::string left = p.substr(0, eq);
        const size_t colon = left.find(':');
        const std::string name = left.substr(0, colon);
        const std::string type = colon == std::string::npos ? "string" : left.substr(colon + 1);
        SOAP_AddElement(soap, name.c_str(), type.c_str(), p.c_str() + eq + 1);
    }
    const int result = CallAndPrint(soap, url, conn, tables, nameSpace.empty() ? targetUri : nameSpace,
                                    format, qualified, "soap");
    SOAP_delete(soap);
    return result;
}

int GetCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kGetHelp, stdout), kOk;
    std::string url;
    Connection conn;
    Include include;
    for (int i = 0; i < argc; ++i) {
        if (TakeGlobalOption(argv[i])) continue;
        std::string problem;
        if (TakeConnectionOption(argc, argv, i, conn, problem) ||
            TakeIncludeOption(argc, argv, i, include, problem)) {
            if (!problem.empty()) return Usage("get", problem);
        } else if (argv[i][0] == '-' || !url.empty()) {
            return Usage("get", std::string("unexpected argument ") + argv[i]);
        } else {
            url = argv[i];
        }
    }
    if (url.empty()) return Usage("get", "no URL given");
    HTTP_HANDLE http = NewRequest(0, conn);
    HTTP_SetVerb(http, 1);
    const int ok = Send(http, url, conn);
    WriteResponse(http, ok, include);
    HTTP_delete(http);
    return ok ? kOk : kFailed;
}

int PostCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kPostHelp, stdout), kOk;
    std::string url, body, contentType = "text/plain", charset = "UTF-8";
    Connection conn;
    Include include;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        std::string problem;
        if (TakeConnectionOption(argc, argv, i, conn, problem) ||
            TakeIncludeOption(argc, argv, i, include, problem)) {
            if (!problem.empty()) return Usage("post", problem);
        } else if (arg == "--data" || arg == "--data-file" || arg == "--content-type" || arg == "--charset") {
            if (i + 1 >= argc) return Usage("post", arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--data")
                body = value;
            else if (arg == "--content-type")
                contentType = value;
            else if (arg == "--charset")
                charset = value;
            else if (!ReadAll(value, body))
                return std::fprintf(stderr, "orvex: cannot read %s\n", value.c_str()), kFailed;
        } else if (arg.rfind("--", 0) == 0 || !url.empty()) {
            return Usage("post", "unexpected argument " + arg);
        } else {
            url = arg;
        }
    }
    if (url.empty()) return Usage("post", "no URL given");
    if (body.find('\0') != std::string::npos)
        return std::fputs("orvex: the body holds a zero byte, which a text body cannot carry\n", stderr),
               kFailed;
    HTTP_HANDLE http = NewRequest(0, conn);
    HTTP_SetVerb(http, 0);
    HTTP_SetContentType(http, contentType.c_str());
    HTTP_SetCharset(http, charset.c_str());
    HTTP_SetContent(http, body.c_str());
    const int ok = Send(http, url, conn);
    WriteResponse(http, ok, include);
    HTTP_delete(http);
    return ok ? kOk : kFailed;
}

int XmlCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kXmlHelp, stdout), kOk;
    std::string source;
    int soapBody = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        if (arg == "--soap-body")
            soapBody = 1;
        else if ((arg.rfind("--", 0) == 0) || !source.empty())
            return Usage("xml", "unexpected argument " + arg);
        else
            source = arg;
    }
    if (source.empty()) return Usage("xml", "no FILE given");
    std::string text;
    if (!ReadAll(source, text)) {
        std::fprintf(stderr, "orvex: cannot read %s\n", source.c_str());
        return kFailed;
    }
    // XML_new takes a text that does not start with '<' for a file name: a
    // file holding the name of another must not make us read that one.
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    start = text.find_first_not_of(" \t\r\n", start);
    const bool looksLikeXml = start != std::string::npos && text[start] == '<';
    XML_NODE root = looksLikeXml ? XML_new(text.c_str(), soapBody) : nullptr;
    if (root == nullptr) {
        std::fprintf(stderr, "orvex: %s: %s\n", source == "-" ? "standard input" : source.c_str(),
                     looksLikeXml ? XML_GetLastError() : "not a well-formed XML document");
        return kFailed;
    }
    PrintTree(root, 0);
    XML_delete(root);
    return kOk;
}

int WsdlCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kWsdlHelp, stdout), kOk;
    std::string location, format = "table";
    int maxAge = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        std::string problem;
        if (arg == "--csv" || arg == "--json") {
            if (!TakeFormat(arg, format, problem)) return Usage("wsdl", problem);
        } else if (arg == "--max-age") {
            if (i + 1 >= argc) return Usage("wsdl", arg + " needs a value");
            if (!ParseSeconds(argv[++i], maxAge)) return Usage("wsdl", "--max-age takes a number of seconds");
        } else if (arg.rfind("--", 0) == 0 || !location.empty()) {
            return Usage("wsdl", "unexpected argument " + arg);
        } else {
            location = arg;
        }
    }
    if (location.empty()) return Usage("wsdl", "no LOCATION given");
    WSDL_HANDLE wsdl = WSDL_new(location.c_str(), maxAge);
    if (wsdl == nullptr) {
        PrintReason("Out of memory");
        return kFailed;
    }
    int result = kOk;
    if (*WSDL_GetLastError(wsdl) != '\0') {
        PrintReason(WSDL_GetLastError(wsdl));
        result = kFailed;
    } else {
        // The columns a caller reads first; the service and port only tell ports apart.
        const Table all = ReadTable(WSDL_GetOperations(wsdl), true);
        Table shown;
        const char* const wanted[] = {"Operation", "Input", "Output", "Action", "SoapVersion", "Endpoint"};
        std::vector<size_t> picked;
        for (const char* name : wanted) {
            for (size_t c = 0; c < all.names.size(); ++c) {
                if (all.names[c] != name) continue;
                picked.push_back(c);
                shown.names.push_back(name);
                shown.types.push_back(all.types[c]);
            }
        }
        for (const auto& row : all.rows) {
            std::vector<Cell> cells;
            for (const size_t c : picked) cells.push_back(row[c]);
            shown.rows.push_back(cells);
        }
        PrintTable(shown, format);
    }
    WSDL_delete(wsdl);
    return result;
}

int CallCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kCallHelp, stdout), kOk;
    std::string port, url, format = "table";
    std::vector<std::string> positionals, scalars, tables;
    bool qualified = false, portGiven = false;
    int maxAge = 0;
    Connection conn;
    HeaderOptions headers;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        std::string problem;
        if (TakeConnectionOption(argc, argv, i, conn, problem) ||
            TakeHeaderOption(argc, argv, i, headers, problem)) {
            if (!problem.empty()) return Usage("call", problem);
        } else if (arg == "--port" || arg == "--url" || arg == "--table" || arg == "--max-age") {
            if (i + 1 >= argc) return Usage("call", arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--port") {
                port = value;
                portGiven = true;
            } else if (arg == "--url") {
                url = value;
            } else if (arg == "--table") {
                tables.push_back(value);
            } else if (!ParseSeconds(value.c_str(), maxAge)) {
                return Usage("call", "--max-age takes a number of seconds");
            }
        } else if (arg == "--csv" || arg == "--json" || arg == "--xml" || arg == "--envelope") {
            if (!TakeFormat(arg, format, problem)) return Usage("call", problem);
        } else if (arg == "--qualified-names") {
            qualified = true;
        } else if (arg.rfind("--", 0) == 0) {
            return Usage("call", "unknown option " + arg);
        } else if (positionals.size() < 2) {
            positionals.push_back(arg);
        } else if (arg.find('=') == std::string::npos) {
            return Usage("call", "unexpected argument " + arg);
        } else {
            scalars.push_back(arg);
        }
    }
    if (positionals.empty()) return Usage("call", "no LOCATION given");
    if (positionals.size() < 2) return Usage("call", "no OPERATION given");
    const std::string& location = positionals[0];
    const std::string& operation = positionals[1];
    WSDL_HANDLE wsdl = WSDL_new(location.c_str(), maxAge);
    if (wsdl == nullptr || *WSDL_GetLastError(wsdl) != '\0') {
        PrintReason(wsdl == nullptr ? "Out of memory" : WSDL_GetLastError(wsdl));
        WSDL_delete(wsdl);
        return kFailed;
    }
    const char* portName = portGiven ? port.c_str() : nullptr;
    SOAP_HANDLE soap = WSDL_NewCall(wsdl, operation.c_str(), portName);
    int result = kOk;
    if (soap == nullptr) {
        PrintReason(location + " describes no operation " + operation +
                    (portGiven ? " on port " + port : ""));
        result = kFailed;
    } else {
        if (url.empty()) url = WSDL_GetEndpoint(wsdl, operation.c_str(), portName);
        for (const std::string& p : scalars) {
            const size_t eq = p.find('=');
            SOAP_AddElement(soap, p.substr(0, eq).c_str(), nullptr, p.c_str() + eq + 1);
        }
        if (url.empty() && format != "envelope")
            result = Usage("call", "the description gives no address: name one with --url");
        else if ((result = ApplyHeaderOptions(soap, headers, "call")) == kOk)
            result = CallAndPrint(soap, url, conn, tables, "", format, qualified, "call");
        SOAP_delete(soap);
    }
    WSDL_delete(wsdl);
    return result;
}

int DownloadCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kDownloadHelp, stdout), kOk;
    std::vector<std::string> names;
    int maxAge = 0, deadline = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakeGlobalOption(arg)) continue;
        if (arg == "--max-age" || arg == "--deadline") {
            if (i + 1 >= argc) return Usage("download", arg + " needs a value");
            if (!ParseSeconds(argv[++i], arg == "--max-age" ? maxAge : deadline))
                return Usage("download", arg + " takes a number of seconds");
        } else if (arg[0] == '-' || names.size() == 2) {
            return Usage("download", "unexpected argument " + arg);
        } else {
            names.push_back(arg);
        }
    }
    if (names.size() < 2) return Usage("download", names.empty() ? "no URL given" : "no FILE given");
    if (deadline > 0) Orvex_SetDownloadDeadline(deadline);
    StopOnSignals();
    Progress progress;
    const char* text = DownloadFileEx(names[0].c_str(), names[1].c_str(), maxAge, OnProgress, &progress);
    EndProgress(progress);
    const int result = TransferResult(text);
    // The library's text for such a name says only "load failure"; the command says why.
    const std::string refused = result == kOk || g_nStopSignal != 0 ? "" : RefusedDownloadName(names[0]);
    if (!refused.empty()) std::fprintf(stderr, "orvex: %s\n", refused.c_str());
    return EndTransfer(result);
}

int UploadCommand(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return std::fputs(kUploadHelp, stdout), kOk;
    std::vector<std::string> names;
    for (int i = 0; i < argc; ++i) {
        if (TakeGlobalOption(argv[i])) continue;
        if (argv[i][0] == '-' || names.size() == 2)
            return Usage("upload", std::string("unexpected argument ") + argv[i]);
        names.push_back(argv[i]);
    }
    if (names.size() < 2) return Usage("upload", names.empty() ? "no FTPNAME given" : "no FILE given");
    // Any other name would have the library log in to it as FTP, on an HTTP port until it times out.
    if (names[0].size() < 6 || strncasecmp(names[0].c_str(), "ftp://", 6) != 0)
        return Usage("upload",
                     "not an FTP name (ftp://[user[:password]@]host[:port]/path): " + Shown(names[0]));
    StopOnSignals();
    Progress progress;
    const char* text = UploadFileEx(names[0].c_str(), names[1].c_str(), OnProgress, &progress);
    EndProgress(progress);
    return EndTransfer(TransferResult(text));
}

}  // namespace

int main(int argc, char** argv) {
    // Global options stand before the command word or among the command's options.
    while (argc > 1 && TakeGlobalOption(argv[1])) {
        --argc;
        ++argv;
    }
    if (argc < 2) return Usage("", "no command given");
    const std::string command = argv[1];
    if (command == "--version") return std::printf("orvex %s\n", Orvex_Version()), kOk;
    if (command == "--help" || command == "-h" || command == "help")
        return std::fputs(kMainHelp, stdout), kOk;
    if (command == "soap") return SoapCommand(argc - 2, argv + 2);
    if (command == "get") return GetCommand(argc - 2, argv + 2);
    if (command == "post") return PostCommand(argc - 2, argv + 2);
    if (command == "xml") return XmlCommand(argc - 2, argv + 2);
    if (command == "wsdl") return WsdlCommand(argc - 2, argv + 2);
    if (command == "call") return CallCommand(argc - 2, argv + 2);
    if (command == "download") return DownloadCommand(argc - 2, argv + 2);
    if (command == "upload") return UploadCommand(argc - 2, argv + 2);
    return Usage("", "unknown command " + command);
}
