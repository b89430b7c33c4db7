// Runs a piece of a test in a forked child whose address space may grow by
// only so much, so that allocation failures happen where they would in a
// host near its limit. AddressSanitizer reserves terabytes of address space
// up front, so a cap cannot work under it: callers skip there.
#ifndef ORVEX_TESTS_SOAP_CAPPED_CHILD_H
#define ORVEX_TESTS_SOAP_CAPPED_CHILD_H

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace testing_support {

// GCC says __SANITIZE_ADDRESS__; clang says it through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceCapWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSpaceCapWorks = false;
#else
constexpr bool kAddressSpaceCapWorks = true;
#endif
#else
constexpr bool kAddressSpaceCapWorks = true;
#endif

// Bytes the heap holds now, small blocks and mapped ones.
inline size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The process's address space now, from /proc/self/statm.
inline size_t AddressSpace() {
    unsigned long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Runs prepare(), then caps the address space at what it is plus headroom
// and runs check(), which answers "" for success or what went wrong. Gives
// that answer, or why the child did not report one.
template <typename Prepare, typename Check>
std::string RunCapped(size_t headroom, Prepare&& prepare, Check&& check) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        close(fds[0]);
        alarm(120);  // a child stuck near its cap ends, and the test fails instead of hanging
        std::string answer;
        try {
            prepare();
            const rlim_t cap = static_cast<rlim_t>(AddressSpace() + headroom);
            const struct rlimit limit = {cap, cap};
            answer = setrlimit(RLIMIT_AS, &limit) == 0 ? check() : "setrlimit failed";
        } catch (...) {
            answer = "an exception escaped";  // and never reaches the parent's test framework in the child
        }
        if (answer.empty()) answer = "ok";
        const ssize_t written = write(fds[1], answer.data(), answer.size());
        _exit(written == static_cast<ssize_t>(answer.size()) ? 0 : 1);  // no exit handlers of the parent's
    }
    close(fds[1]);
    std::string answer;
    char chunk[256];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0) answer.append(chunk, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "the child died: " + answer;
    return answer == "ok" ? std::string() : answer.empty() ? "the child reported nothing" : answer;
}

}  // namespace testing_support

#endif
