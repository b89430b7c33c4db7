// What ends a transfer besides its own end: a cancel while the server sends
// nothing, the download deadline and the minimum rate, against the local
// servers.
#include "common/test_support.h"
#include "http/http_test_server.h"
#include "transfer/ftp_test_server.h"

#include <orvex.h>
#include <orvex/internet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using testing_support::FileNames;
using testing_support::HttpTestServer;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Cancels on its cancelAt-th call that brings no new bytes once `at` bytes
// are in (a slow start may bring such calls before).
struct Watcher {
    long long at = 0;
    long cancelAt = 2;
    long long done = 0;
    std::vector<long long> idleAt;  // the byte counts of the calls without new bytes
    static int Report(void* user, long long done, long long /*total*/) {
        auto* self = static_cast<Watcher*>(user);
        if (done == self->done) self->idleAt.push_back(done);
        self->done = done;
        return std::count(self->idleAt.begin(), self->idleAt.end(), self->at) >= self->cancelAt ? 1 : 0;
    }
};

struct WaitCase {
    const char* what;
    std::string name;
    bool upload;
    long long doneWhileWaiting;
};

TEST(TransferLimits, ACancelEndsATransferThatWaits) {
    auto& http = HttpTestServer::Get();
    // The HTTP server waits for a request, so as an FTP server it never greets.
    const std::string silentFtp = "ftp://127.0.0.1:" + std::to_string(http.HttpPort()) + "/f";
    const WaitCase cases[] = {
        {"before the answer", http.Http("/stall/25"), false, 0},
        {"in the middle of the body", http.Http("/pause/1000/25"), false, 1000},
        {"logging in to download", silentFtp, false, 0},
        {"logging in to upload", silentFtp, true, 0},
    };
    // Far beyond the few calls the cancel needs: a guard against a hang, not a timing.
    ScopedEnv stall("ORVEX_STALL_TIMEOUT", "20");
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        WriteFile(dir.Path("t"), "old");
        Watcher watcher;
        watcher.at = c.doneWhileWaiting;
        const std::string text =
            c.upload ? UploadFileEx(c.name.c_str(), dir.Path("t").c_str(), Watcher::Report, &watcher)
                     : DownloadFileEx(c.name.c_str(), dir.Path("t").c_str(), 0, Watcher::Report, &watcher);
        EXPECT_EQ(text, "Transfer cancelled: " + c.name);
        EXPECT_EQ(std::count(watcher.idleAt.begin(), watcher.idleAt.end(), c.doneWhileWaiting), 2);
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
    }
}

// The process's download deadline for the scope, then back to the environment's.
class ScopedDeadline {
public:
    explicit ScopedDeadline(int seconds) { Orvex_SetDownloadDeadline(seconds); }
    ~ScopedDeadline() { Orvex_SetDownloadDeadline(0); }
    ScopedDeadline(const ScopedDeadline&) = delete;
    ScopedDeadline& operator=(const ScopedDeadline&) = delete;
};

struct DeadlineCase {
    const char* what;
    const char* environment;  // ORVEX_DOWNLOAD_DEADLINE
    int set;                  // Orvex_SetDownloadDeadline, 0 for none
    std::string name;
    bool buffer;        // the buffer form of CInternet, else DownloadFile
    std::string shown;  // the name as the text shows it
    const char* limit;
};

TEST(TransferLimits, ADownloadEndsAtItsDeadline) {
    auto& http = HttpTestServer::Get();
    const std::string host = "127.0.0.1:" + std::to_string(http.HttpPort());
    const std::string slow = http.Http("/trickle/1000/20");  // 20 s of body
    const std::string silentFtp = "ftp://" + host + "/f";
    const DeadlineCase cases[] = {
        {"from the environment", "1", 0, slow, false, slow, "1 second"},
        {"set by the host, over the environment", "100", 2,
         "http://alice:S3cretPW@" + host + "/trickle/1000/20", false,
         "http://alice@" + host + "/trickle/1000/20", "2 seconds"},
        {"while logging in", "1", 0, silentFtp, false, silentFtp, "1 second"},
        {"into a buffer", "1", 0, slow, true, slow, "1 second"},
    };
    // Far beyond the deadlines: a guard against a hang, not a timing.
    ScopedEnv stall("ORVEX_STALL_TIMEOUT", "20");
    for (const DeadlineCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv environment("ORVEX_DOWNLOAD_DEADLINE", c.environment);
        ScopedDeadline deadline(c.set);
        TempDir dir;
        WriteFile(dir.Path("t"), "old");
        std::string text;
        if (c.buffer) {
            CInternet internet;
            CBuffer buffer;
            CString error;
            EXPECT_EQ(internet.Http_Download(c.name.c_str(), buffer, error), 0);
            EXPECT_EQ(buffer.GetSize(), 0);
            text = error.GetString();
        } else {
            text = DownloadFile(c.name.c_str(), dir.Path("t").c_str(), 0);
        }
        EXPECT_EQ(text, "Download deadline of " + std::string(c.limit) + " reached (" + c.shown + ")");
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
    }

    ScopedEnv environment("ORVEX_DOWNLOAD_DEADLINE", "1");
    TempDir dir;
    // A download that ends in time keeps its bytes.
    EXPECT_STREQ(DownloadFile(http.Http("/bytes/1000").c_str(), dir.Path("t").c_str(), 0), "");
    // An upload has no deadline: what ends this one well past a second is its cancel.
    WriteFile(dir.Path("up"), "up");
    Watcher patient;
    patient.cancelAt = 8;  // at least 8 x 200 ms of waiting
    EXPECT_EQ(std::string(UploadFileEx(silentFtp.c_str(), dir.Path("up").c_str(), Watcher::Report, &patient)),
              "Transfer cancelled: " + silentFtp);
}

TEST(TransferLimits, ADownloadBelowTheMinimumRateFails) {
    // 10 bytes a second for 5 s: a server that has all but stopped.
    const std::string url = HttpTestServer::Get().Http("/trickle/50/100");
    ScopedEnv stall("ORVEX_STALL_TIMEOUT", "2");
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "Operation too slow. Less than 100 bytes/sec transferred the last 2 seconds"},
        {"50", "Operation too slow. Less than 50 bytes/sec transferred the last 2 seconds"},
    };
    for (const auto& [rate, text] : cases) {
        ScopedEnv minimum("ORVEX_MIN_RATE", rate);
        TempDir dir;
        EXPECT_EQ(std::string(DownloadFile(url.c_str(), dir.Path("t").c_str(), 0)), text);
        EXPECT_TRUE(FileNames(dir.path()).empty());
    }
}

}  // namespace
