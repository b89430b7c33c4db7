// Downloads over http, https and file names against the local test server:
// bytes, modes, freshness, progress, and nothing lost when a download fails.
#include "common/test_support.h"
#include "http/http_test_server.h"
#include "platform/atomic_file.h"

#include <orvex.h>
#include <orvex/internet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

using testing_support::FileNames;
using testing_support::HttpTestServer;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// The server's /bytes/<n> body: 0, 1, ..., 255, 0, ...
std::string Pattern(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i % 256);
    return bytes;
}

// Requests the server has served so far, read through the buffer form.
int ServedRequests() {
    CInternet internet;
    CBuffer buffer;
    CString error;
    if (!internet.Http_Download(HttpTestServer::Get().Http("/requests").c_str(), buffer, error)) return -1;
    return std::stoi(
        std::string(reinterpret_cast<char*>(buffer.GetBuf()), static_cast<size_t>(buffer.GetSize())));
}

// The two ways a download is written: into an unnamed file named only when
// whole, where the file system allows it, else into a named part file
// from the start (forced here, as on a file system without O_TMPFILE).
struct Way {
    const char* what;
    bool unnamed;
};
const Way kWays[] = {{"unnamed", true}, {"named", false}};

class ScopedWay {
public:
    explicit ScopedWay(const Way& way) { CAtomicFile::AllowUnnamed(way.unnamed); }
    ~ScopedWay() { CAtomicFile::AllowUnnamed(true); }
    ScopedWay(const ScopedWay&) = delete;
    ScopedWay& operator=(const ScopedWay&) = delete;
};

TEST(TransferHttp, DownloadsTheWholeBodyAsANewFile) {
    auto& server = HttpTestServer::Get();
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.what);
        ScopedWay scoped(way);
        TempDir dir;
        const std::string target = dir.Path("big.bin");
        const mode_t old = umask(027);
        const char* text = DownloadFile(server.Http("/bytes/3000000").c_str(), target.c_str(), 0);
        umask(old);
        ASSERT_STREQ(text, "");
        EXPECT_EQ(ReadFile(target), Pattern(3000000));
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);

        // Any 2xx is a body; a redirect is followed; a replaced file keeps its mode.
        chmod(target.c_str(), 0751);
        EXPECT_STREQ(DownloadFile(server.Http("/status/201?body=made").c_str(), target.c_str(), 0), "");
        EXPECT_EQ(ReadFile(target), "made");
        EXPECT_STREQ(DownloadFile(server.Http("/redirect/302?to=/bytes/10").c_str(), target.c_str(), 0), "");
        EXPECT_EQ(ReadFile(target), Pattern(10));
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0751u);

        // Through a symbolic link the file it names is replaced, and the link stays.
        ASSERT_EQ(symlink(target.c_str(), dir.Path("link").c_str()), 0);
        EXPECT_STREQ(DownloadFile(server.Http("/bytes/20").c_str(), dir.Path("link").c_str(), 0), "");
        EXPECT_EQ(ReadFile(target), Pattern(20));
        EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link")));
        EXPECT_EQ(FileNames(dir.path()).size(), 2u);
    }
}

// Tells a pipe once bytes have reached the file.
int TellBytes(void* user, long long done, long long /*total*/) {
    if (done > 0) (void)!write(*static_cast<int*>(user), "x", 1);
    return 0;
}

TEST(TransferHttp, AKilledDownloadLeavesNothingBesideItsTarget) {
    // The body stops half-way for 25 s: the kill comes while it waits.
    const std::string url = HttpTestServer::Get().Http("/pause/100000/25");
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.what);
        TempDir dir;
        WriteFile(dir.Path("t"), "old");
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            CAtomicFile::AllowUnnamed(way.unnamed);
            DownloadFileEx(url.c_str(), dir.Path("t").c_str(), 0, TellBytes, &ready[1]);
            _exit(0);
        }
        close(ready[1]);
        pollfd told{ready[0], POLLIN, 0};
        EXPECT_EQ(poll(&told, 1, 20000), 1);  // a guard against a hang, not a timing
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(ready[0]);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        const std::vector<std::string> names = FileNames(dir.path());
        if (way.unnamed) {
            EXPECT_EQ(names, std::vector<std::string>{"t"});
        } else {
            // The named way leaves its part file: what the unnamed one is for.
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(names[0].rfind(".t.part-", 0), 0u) << names[0];
        }
    }
}

TEST(TransferHttp, HttpsIsVerifiedAgainstTheGivenCa) {
    auto& server = HttpTestServer::Get();
    TempDir dir;
    const std::string target = dir.Path("t");
    WriteFile(target, "old");
    {
        ScopedEnv noCa("ORVEX_CA_BUNDLE", nullptr);
        const std::string text = DownloadFile(server.Https("/bytes/100").c_str(), target.c_str(), 0);
        EXPECT_NE(text.find("certificate"), std::string::npos) << text;
        EXPECT_EQ(ReadFile(target), "old");
    }
    ScopedEnv ca("ORVEX_CA_BUNDLE", server.CaFile().c_str());
    EXPECT_STREQ(DownloadFile(server.Https("/bytes/100").c_str(), target.c_str(), 0), "");
    EXPECT_EQ(ReadFile(target), Pattern(100));
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
}

TEST(TransferHttp, FileNamesAreReadAsLocalPaths) {
    TempDir dir;
    WriteFile(dir.Path("source"), std::string("x\0y", 3));
    const std::string target = dir.Path("copy");
    const std::string names[] = {"file://" + dir.Path("source"), "FILE:///" + dir.path() + "//source",
                                 "file://localhost" + dir.Path("source"), dir.Path("source")};
    for (const std::string& name : names) {
        std::filesystem::remove(target);
        EXPECT_STREQ(DownloadFile(name.c_str(), target.c_str(), 0), "") << name;
        EXPECT_EQ(ReadFile(target), std::string("x\0y", 3)) << name;
    }
    EXPECT_EQ(std::string(DownloadFile(("file://" + dir.Path("missing")).c_str(), target.c_str(), 0)),
              dir.Path("missing") + ": No such file or directory");
}

TEST(TransferHttp, APipeOrDeviceIsWrittenNotReplaced) {
    auto& server = HttpTestServer::Get();
    TempDir dir;
    const std::string fifo = dir.Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(std::string(DownloadFile(server.Http("/bytes/10").c_str(), fifo.c_str(), 0)),
              fifo + ": No such device or address");  // nobody reads it
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_STREQ(DownloadFile(server.Http("/bytes/1000").c_str(), fifo.c_str(), 0), "");
    std::string got(2000, '\0');
    got.resize(static_cast<size_t>(std::max<ssize_t>(0, read(reader, got.data(), got.size()))));
    close(reader);
    EXPECT_EQ(got, Pattern(1000));
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"pipe"});
}

struct FailureCase {
    std::string url;
    std::string targetName;  // relative to the test directory
    std::string text;        // what the failure text begins with; ": ..." follows the target's path
};

TEST(TransferHttp, AFailedDownloadLeavesTheOldFileAndNothingElse) {
    auto& s = HttpTestServer::Get();
    // Nothing listens on port 1; permission bits play no part (we may run as root).
    const std::string refused = "http://127.0.0.1:1/x";
    const FailureCase cases[] = {
        {s.Http("/status/404"), "t", s.Http("/status/404") + " load failure (status 404 Not Found)!\t"},
        {s.Http("/status/500"), "t",
         s.Http("/status/500") + " load failure (status 500 Internal Server Error)!\t"},
        {s.Http("/status/302"), "t", s.Http("/status/302") + " load failure (status 302 Found)!\t"},
        {refused, "t", "Failed to connect to 127.0.0.1 port 1"},
        {s.Http("/cut/100000/50000"), "t", "transfer closed with 50000 bytes remaining to read"},
        {s.Http("/chunked/3000000?cut=1"), "t", "transfer closed with outstanding read data remaining"},
        {s.Http("/bytes/10"), "missing/t", ": No such file or directory"},
        {s.Http("/bytes/10"), "t/inside", ": Not a directory"},
        {s.Http("/bytes/10"), ".", ": Is a directory"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.targetName);
        TempDir dir;
        WriteFile(dir.Path("t"), "old");
        const std::string text = DownloadFile(c.url.c_str(), dir.Path(c.targetName).c_str(), 0);
        const std::string expected = c.text.rfind(": ", 0) == 0 ? dir.Path(c.targetName) + c.text : c.text;
        EXPECT_EQ(text.compare(0, expected.size(), expected), 0) << text;
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
    }
    // Read-only is the owner's missing write bit, refused even for root.
    TempDir dir;
    WriteFile(dir.Path("t"), "old");
    chmod(dir.Path("t").c_str(), 0444);
    EXPECT_EQ(std::string(DownloadFile(s.Http("/bytes/10").c_str(), dir.Path("t").c_str(), 0)),
              dir.Path("t") + ": Permission denied");
    EXPECT_EQ(ReadFile(dir.Path("t")), "old");
}

TEST(TransferHttp, AFullDiskLeavesTheOldFileAndNothingElse) {
    auto& server = HttpTestServer::Get();
    TempDir dir;
    WriteFile(dir.Path("t"), "old");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    // The limit lives in a child process, so the test process keeps writing freely.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(out[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string text =
            DownloadFile(server.Http("/bytes/1000000").c_str(), dir.Path("t").c_str(), 0);
        (void)!write(out[1], text.data(), text.size());
        _exit(0);
    }
    close(out[1]);
    std::string text;
    char chunk[256];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(text, dir.Path("t") + ": File too large");
    EXPECT_EQ(ReadFile(dir.Path("t")), "old");
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
}

struct FreshCase {
    const char* name;
    long ageSeconds;  // negative: dated in the future
    int maxAge;
    bool transfers;
};

TEST(TransferHttp, AFreshFileIsNotFetchedAgain) {
    auto& server = HttpTestServer::Get();
    const FreshCase cases[] = {
        {"fresh", 10, 60, false},     {"at the limit", 58, 60, false}, {"stale", 120, 60, true},
        {"future", -3600, 60, false}, {"zero", 10, 0, true},           {"negative", 10, -5, true},
    };
    for (const FreshCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = dir.Path("t");
        WriteFile(target, "old");
        const time_t when = time(nullptr) - c.ageSeconds;
        const utimbuf times{when, when};
        utime(target.c_str(), &times);
        const int before = ServedRequests();
        EXPECT_STREQ(DownloadFile(server.Http("/bytes/5").c_str(), target.c_str(), c.maxAge), "");
        // The second count sees the first count's request, and the download's if one was made.
        EXPECT_EQ(ServedRequests() - before, c.transfers ? 2 : 1);
        EXPECT_EQ(ReadFile(target), c.transfers ? Pattern(5) : "old");
    }
}

struct Progress {
    std::vector<std::pair<long long, long long>> calls;
    int cancelAt = -1;
    static int Report(void* user, long long done, long long total) {
        auto* self = static_cast<Progress*>(user);
        self->calls.emplace_back(done, total);
        return static_cast<int>(self->calls.size()) == self->cancelAt ? 1 : 0;
    }
    // The total told with the first bytes (calls while connecting come before it).
    long long FirstTotal() const {
        for (const auto& [done, total] : calls)
            if (done > 0) return total;
        return -2;
    }
};

TEST(TransferHttp, ProgressTellsTheTotalWhenKnownAndCanCancel) {
    auto& server = HttpTestServer::Get();
    TempDir dir;
    const std::string target = dir.Path("t");

    Progress known;
    ASSERT_STREQ(
        DownloadFileEx(server.Http("/bytes/3000000").c_str(), target.c_str(), 0, Progress::Report, &known),
        "");
    ASSERT_GE(known.calls.size(), 2u);
    EXPECT_EQ(known.FirstTotal(), 3000000);
    EXPECT_EQ(known.calls.back(), std::make_pair(3000000LL, 3000000LL));

    Progress unknown;
    ASSERT_STREQ(
        DownloadFileEx(server.Http("/chunked/100000").c_str(), target.c_str(), 0, Progress::Report, &unknown),
        "");
    EXPECT_EQ(unknown.FirstTotal(), -1);
    EXPECT_EQ(unknown.calls.back(), std::make_pair(100000LL, 100000LL));

    Progress cancel;
    cancel.cancelAt = 1;
    const std::string url = server.Http("/bytes/3000000");
    EXPECT_EQ(std::string(DownloadFileEx(url.c_str(), target.c_str(), 0, Progress::Report, &cancel)),
              "Transfer cancelled: " + url);
    EXPECT_EQ(ReadFile(target), Pattern(100000));
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
}

TEST(TransferHttp, TheBufferFormHoldsTheBodyOrNothing) {
    auto& server = HttpTestServer::Get();
    CInternet internet;
    CBuffer buffer;
    CString error = "old";
    ASSERT_EQ(internet.Http_Download(server.Http("/bytes/300000").c_str(), buffer, error), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.GetBuf()), static_cast<size_t>(buffer.GetSize())),
              Pattern(300000));
    EXPECT_STREQ(error, "");
    EXPECT_EQ(internet.Http_Download(server.Http("/cut/300000/200000").c_str(), buffer, error), 0);
    EXPECT_EQ(buffer.GetSize(), 0);
    EXPECT_STRNE(error, "");
}

TEST(TransferHttp, AStalledServerFailsAtTheStallTime) {
    auto& server = HttpTestServer::Get();
    TempDir dir;
    ScopedEnv stall("ORVEX_STALL_TIMEOUT", "1");
    const std::string text = DownloadFile(server.Http("/stall/20").c_str(), dir.Path("t").c_str(), 0);
    EXPECT_NE(text.find("Operation too slow"), std::string::npos) << text;
    EXPECT_TRUE(FileNames(dir.path()).empty());
}

}  // namespace
