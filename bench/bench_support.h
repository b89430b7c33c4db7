// What the benchmark programs share: a small keep-alive HTTP/1.1 server
// inside the program (a thread per connection), so that figures measure the
// clients, and the table of rates printed side by side at the end.
#ifndef ORVEX_BENCH_BENCH_SUPPORT_H
#define ORVEX_BENCH_BENCH_SUPPORT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>

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

}  // namespace bench

#endif
