// What ends a transfer besides its own end: a cancel while the server sends
// nothing, against the local servers.
#include "common/test_support.h"
#include "http/http_test_server.h"
#include "transfer/ftp_test_server.h"

#include <orvex.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::FileNames;
using testing_support::HttpTestServer;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Cancels on its second call that brings no new bytes.
struct Watcher {
    long long done = 0;
    std::vector<long long> idleAt;  // the byte counts of the calls without new bytes
    static int Report(void* user, long long done, long long /*total*/) {
        auto* self = static_cast<Watcher*>(user);
        if (done == self->done) self->idleAt.push_back(done);
        self->done = done;
        return self->idleAt.size() >= 2 ? 1 : 0;
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
        const std::string text =
            c.upload ? UploadFileEx(c.name.c_str(), dir.Path("t").c_str(), Watcher::Report, &watcher)
                     : DownloadFileEx(c.name.c_str(), dir.Path("t").c_str(), 0, Watcher::Report, &watcher);
        EXPECT_EQ(text, "Transfer cancelled: " + c.name);
        EXPECT_EQ(watcher.idleAt, std::vector<long long>(2, c.doneWhileWaiting));
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
    }
}

}  // namespace
