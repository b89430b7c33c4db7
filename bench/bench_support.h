// What the benchmark programs share: a small keep-alive HTTP/1.1 server
// inside the program (a thread per connection), so that figures measure the
// clients, contenders timed in turns, the 100,000 x 6 table that the
// record-set and SOAP programs write and read, and the table of rates
// printed side by side at the end.
#ifndef ORVEX_BENCH_BENCH_SUPPORT_H
#define ORVEX_BENCH_BENCH_SUPPORT_H

#include <orvex.h>
#include <orvex/cstring.h>
#include <orvex/text_util.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace bench {

inline bool SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the reply to one request (its head up to the blank line, and its
// body as Content-Length announced it); false closes the connection.
using Responder = std::function<bool(int fd, const std::string& head, const std::string& body)>;

class LocalServer {
public:
    explicit LocalServer(Responder responder) : m_responder(std::move(responder)) {
        m_nListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_nListen, 128);
        socklen_t size = sizeof address;
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &size);
        m_nPort = ntohs(address.sin_port);
        std::thread([this] {
            for (;;) {
                const int fd = accept(m_nListen, nullptr, nullptr);
                if (fd < 0) return;
                const int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::thread([this, fd] { Serve(fd); }).detach();
            }
        }).detach();
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_nPort) + path; }

private:
    void Serve(int fd) const {
        std::string pending;
        char chunk[16384];
        for (;;) {
            size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
                const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    close(fd);
                    return;
                }
                pending.append(chunk, static_cast<size_t>(n));
            }
            const std::string head = pending.substr(0, end + 4);
            pending.erase(0, end + 4);
            size_t length = 0;
            const size_t field = head.find("Content-Length:");
            if (field != std::string::npos) length = std::strtoul(head.c_str() + field + 15, nullptr, 10);
            while (pending.size() < length) {
                const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    close(fd);
                    return;
                }
                pending.append(chunk, static_cast<size_t>(n));
            }
            const std::string body = pending.substr(0, length);
            pending.erase(0, length);
            if (!m_responder(fd, head, body)) break;
        }
        close(fd);
    }

    Responder m_responder;
    int m_nListen = -1;
    int m_nPort = 0;
};

// A whole reply with a fixed body.
inline bool Reply(int fd, const char* contentType, const std::string& body) {
    char head[256];
    const int headLength =
        std::snprintf(head, sizeof head, "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\n\r\n",
                      contentType, body.size());
    std::string reply(head, static_cast<size_t>(headLength));
    reply += body;
    return SendAll(fd, reply.data(), reply.size());
}

// Runs a shell command that times its own work (a Python peer, whose
// interpreter start must not count) and prints the seconds; false when it
// printed no positive number.
inline bool TimedCommand(const std::string& command, double& seconds) {
    seconds = 0;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    const bool read = std::fscanf(pipe, "%lf", &seconds) == 1;
    pclose(pipe);
    return read && seconds > 0;
}

inline double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Items (requests, bytes, runs) per second of each measured side, by name.
inline std::map<std::string, double>& Rates() {
    static std::map<std::string, double> rates;
    return rates;
}

inline void Record(const char* name, double items, double seconds) {
    if (seconds > 0) Rates()[name] = items / seconds;
}

// "label   ours / peer" as a percentage of the peer's rate.
inline void PrintRatio(const char* label, const char* ours, const char* peer) {
    auto& rates = Rates();
    if (rates.count(ours) == 0 || rates.count(peer) == 0) return;
    std::printf("%-60s %7.1f%%\n", label, 100.0 * rates[ours] / rates[peer]);
}

// How many times slower ours is than the peer (time ratio).
inline void PrintTimes(const char* label, const char* ours, const char* peer) {
    auto& rates = Rates();
    if (rates.count(ours) == 0 || rates.count(peer) == 0) return;
    std::printf("%-60s %7.2fx\n", label, rates[peer] / rates[ours]);
}

// Contenders timed in turns: each round runs every one once, so a burst of
// other work on the machine falls on all of them alike. A contender's figure
// is the median of its rounds, recorded (runs per second) under its name.
class RoundRobin {
public:
    void Add(const char* name, std::function<void()> run) {
        m_arrSides.push_back({name, std::move(run), {}});
    }

    // One untimed round first: the first run pays for memory the later ones reuse.
    void Run(int rounds) {
        for (Side& side : m_arrSides) side.run();
        for (int r = 0; r < rounds; ++r) {
            for (Side& side : m_arrSides) {
                const auto start = std::chrono::steady_clock::now();
                side.run();
                side.seconds.push_back(Seconds(start));
            }
        }
        for (Side& side : m_arrSides) {
            std::sort(side.seconds.begin(), side.seconds.end());
            if (!side.seconds.empty()) Record(side.name.c_str(), 1.0, side.seconds[side.seconds.size() / 2]);
        }
    }

    // The median seconds of one run; 0 before Run.
    double Median(const char* name) const {
        for (const Side& side : m_arrSides)
            if (side.name == name && !side.seconds.empty()) return side.seconds[side.seconds.size() / 2];
        return 0;
    }

private:
    struct Side {
        std::string name;
        std::function<void()> run;
        std::vector<double> seconds;
    };
    std::vector<Side> m_arrSides;
};

// ---------------------------------------------------------------- the table

constexpr int kTableRows = 100000;
constexpr int kTableCols = 6;

inline const char* const kTableNames[kTableCols] = {"Id", "Note", "When", "Flag", "Amount", "Comment"};
inline const char* const kTableTypes[kTableCols] = {"int",     "string", "dateTime",
                                                    "boolean", "double", "string"};

// The cell texts, column by column, as a host would pass them.
struct Table {
    std::vector<std::string> m_arrCells[kTableCols];
    // What the writer puts on the wire for the columns that need no
    // escaping: the ids, flags and amounts as they are, the date-times in UTC.
    std::vector<std::string> m_arrWire[kTableCols];
};

inline const Table& TableCells() {
    static const Table table = [] {
        Table t;
        const char* const notes[] = {"R&D <lab>", "plain note", "\"quoted\" & 'single'", "a<b>c",
                                     "Smith & Sons"};
        char text[64];
        for (int i = 0; i < kTableRows; ++i) {
            t.m_arrCells[0].push_back(std::to_string(i + 1));
            t.m_arrCells[1].push_back(notes[i % 5]);
            const int minutes = i * 7;
            std::snprintf(text, sizeof text, "2005-%02d-%02d %02d:%02d:%02d", 1 + (minutes / 1440 / 28) % 12,
                          1 + (minutes / 1440) % 28, (minutes / 60) % 24, minutes % 60, i % 60);
            t.m_arrCells[2].push_back(text);
            t.m_arrCells[3].push_back(i % 3 == 0 ? "true" : "0");
            std::snprintf(text, sizeof text, "%d.%02d", i % 10000, i % 100);
            t.m_arrCells[4].push_back(text);
            std::snprintf(text, sizeof text, "comment for row %d", i);
            t.m_arrCells[5].push_back(text);
        }
        for (int c : {0, 2, 3, 4}) {
            for (const std::string& cell : t.m_arrCells[c]) {
                CString value(cell.c_str());
                CTextUtil::XMLEncode(CTextUtil::ConvertType(kTableTypes[c]), value);
                t.m_arrWire[c].push_back(value.str());
            }
        }
        return t;
    }();
    return table;
}

// The table as a record set, filled through the C functions.
inline SRS_HANDLE FillTable() {
    const Table& t = TableCells();
    SRS_HANDLE set = SRS_new("Row", "urn:bench", "RowType");
    for (int c = 0; c < kTableCols; ++c) SRS_AddCol(set, kTableNames[c], kTableTypes[c]);
    for (int i = 0; i < kTableRows; ++i) {
        const int row = SRS_AddRow(set);
        for (int c = 0; c < kTableCols; ++c)
            SRS_SetText(set, row, kTableNames[c], t.m_arrCells[c][static_cast<size_t>(i)].c_str());
    }
    return set;
}

// The five entities, with the runs between them appended whole: what a
// careful user writes.
inline void AppendEscapedRuns(std::string& out, const std::string& text) {
    size_t from = 0;
    for (;;) {
        const size_t at = text.find_first_of("&<>\"'", from);
        out.append(text, from, at == std::string::npos ? std::string::npos : at - from);
        if (at == std::string::npos) return;
        switch (text[at]) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += "&apos;";
                break;
        }
        from = at + 1;
    }
}

// The five entities, one character at a time: the loop most users write.
inline void AppendEscaped(std::string& out, const std::string& text) {
    for (const char ch : text) {
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += ch;
                break;
        }
    }
}

// The table's element in the .NET dialect, as SRS_toXML(set, "dotnet",
// element, 0) writes it, appended to out, its texts escaped by `escape`.
inline void AppendTableXml(std::string& out, const char* element,
                           void (*escape)(std::string&, const std::string&) = AppendEscapedRuns) {
    const Table& t = TableCells();
    out += "<";
    out += element;
    out += ">";
    for (size_t i = 0; i < static_cast<size_t>(kTableRows); ++i) {
        out += "<Row><Id>";
        out += t.m_arrWire[0][i];
        out += "</Id><Note>";
        escape(out, t.m_arrCells[1][i]);
        out += "</Note><When>";
        out += t.m_arrWire[2][i];
        out += "</When><Flag>";
        out += t.m_arrWire[3][i];
        out += "</Flag><Amount>";
        out += t.m_arrWire[4][i];
        out += "</Amount><Comment>";
        escape(out, t.m_arrCells[5][i]);
        out += "</Comment></Row>";
    }
    out += "</";
    out += element;
    out += ">";
}

}  // namespace bench

#endif
