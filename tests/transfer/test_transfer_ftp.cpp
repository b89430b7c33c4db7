// Downloads and uploads over FTP against the local pyftpdlib server: logins,
// ports, the failure texts of each step, and transfers that break off.
#include "common/test_support.h"
#include "transfer/ftp_test_server.h"

#include <orvex.h>
#include <orvex/internet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using testing_support::FileNames;
using testing_support::FtpTestServer;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Bytes that a text-mode transfer would change: CR LF, lone LF, NUL, high bytes.
std::string Binary(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = "\r\n\0\xff\x80xyz\n"[i % 9];
    return bytes;
}

std::string Host(int port) { return "127.0.0.1:" + std::to_string(port); }

TEST(TransferFtp, DownloadsAndUploadsBinaryBytes) {
    auto& server = FtpTestServer::Get();
    TempDir dir;
    WriteFile(server.Root() + "/down.bin", Binary(2500000));
    ASSERT_STREQ(DownloadFile(server.Url("down.bin").c_str(), dir.Path("down.bin").c_str(), 0), "");
    EXPECT_EQ(ReadFile(dir.Path("down.bin")), Binary(2500000));

    std::filesystem::create_directory(server.Root() + "/sub");
    ASSERT_STREQ(UploadFile(server.Url("sub/up.bin").c_str(), dir.Path("down.bin").c_str()), "");
    EXPECT_EQ(ReadFile(server.Root() + "/sub/up.bin"), Binary(2500000));

    // An empty file makes an empty remote file, replacing what was there.
    WriteFile(dir.Path("empty"), "");
    ASSERT_STREQ(UploadFile(server.Url("sub/up.bin").c_str(), dir.Path("empty").c_str()), "");
    EXPECT_EQ(ReadFile(server.Root() + "/sub/up.bin"), "");
    ASSERT_STREQ(DownloadFile(server.Url("sub/up.bin").c_str(), dir.Path("down.bin").c_str(), 0), "");
    EXPECT_EQ(ReadFile(dir.Path("down.bin")), "");
}

TEST(TransferFtp, LogsInAsTheNamedUserOnTheRightPort) {
    auto& server = FtpTestServer::Get();
    TempDir dir;
    WriteFile(server.Root() + "/named.txt", "for orvex");
    CInternet internet;
    CString error;
    CString localFile;
    // The port argument applies when the name writes none; a written one wins.
    ASSERT_EQ(internet.Ftp_Download_ToDir_SameFilename("ftp://127.0.0.1/named.txt", dir.path().c_str(),
                                                       localFile, error, FtpTestServer::User(),
                                                       FtpTestServer::Password(), server.Port()),
              1)
        << error.GetString();
    EXPECT_EQ(std::string(localFile), dir.Path("named.txt"));
    EXPECT_EQ(ReadFile(dir.Path("named.txt")), "for orvex");
    // An empty port in the name is none written, as in http(s) URLs; leading zeros are digits.
    for (const std::string& name : {std::string("ftp://127.0.0.1:/named.txt"),
                                    "ftp://127.0.0.1:000" + std::to_string(server.Port()) + "/named.txt"})
        EXPECT_EQ(internet.Ftp_Download(name.c_str(), dir.Path("again.txt").c_str(), error,
                                        FtpTestServer::User(), FtpTestServer::Password(), server.Port()),
                  1)
            << name << ": " << error.GetString();
    ASSERT_EQ(internet.Ftp_Upload(server.Url("from-user.txt").c_str(), dir.Path("named.txt").c_str(), error,
                                  FtpTestServer::User(), FtpTestServer::Password(), 1),
              1)
        << error.GetString();
    EXPECT_EQ(ReadFile(server.Root() + "/from-user.txt"), "for orvex");

    // Credentials written in the name serve the one-call functions.
    const std::string named = "ftp://orvex:s3cret@" + Host(server.Port()) + "/in-name.txt";
    ASSERT_STREQ(UploadFile(named.c_str(), dir.Path("named.txt").c_str()), "");
    EXPECT_EQ(ReadFile(server.Root() + "/in-name.txt"), "for orvex");

    EXPECT_EQ(internet.Ftp_Download(server.Url("named.txt").c_str(), dir.Path("x").c_str(), error, "orvex",
                                    "wrong", 21),
              0);
    const std::string prefix = "Ftp Server \"" + Host(server.Port()) + "\" connection failure:\r\n";
    EXPECT_EQ(std::string(error).compare(0, prefix.size(), prefix), 0) << error.GetString();
    // A password written in the name stays out of the text.
    const std::string wrong = "ftp://orvex:wrong@" + Host(server.Port()) + "/named.txt";
    const std::string text = DownloadFile(wrong.c_str(), dir.Path("x").c_str(), 0);
    EXPECT_EQ(text.rfind("Ftp Server \"orvex@" + Host(server.Port()) + "\" connection failure:\r\n", 0), 0u)
        << text;
}

struct StepCase {
    std::string name;
    std::string text;  // what the failure text begins with
};

TEST(TransferFtp, EachStepFailsWithItsText) {
    auto& server = FtpTestServer::Get();
    TempDir dir;
    WriteFile(dir.Path("t"), "old");
    const StepCase downloads[] = {
        {"ftp://127.0.0.1:1/f", "Ftp Server \"127.0.0.1:1\" connection failure:\r\nFailed to connect"},
        {server.Url("missing.bin"), "Ftp file \"missing.bin\" access failure:\r\n"},
        {server.Url(""), "Ftp file \"\" access failure:\r\nThe path names no file"},
        {server.Url("nodir/"), "Ftp file \"nodir/\" access failure:\r\nThe path names no file"},
    };
    for (const StepCase& c : downloads) {
        const std::string text = DownloadFile(c.name.c_str(), dir.Path("t").c_str(), 0);
        EXPECT_EQ(text.compare(0, c.text.size(), c.text), 0) << c.name << ": " << text;
        EXPECT_EQ(ReadFile(dir.Path("t")), "old");
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});
    }
    const StepCase uploads[] = {
        {server.Url("missing-dir/f"), "Ftp file \"missing-dir/f\" access failure:\r\n"},
        {"ftp://127.0.0.1:1/f", "Ftp Server \"127.0.0.1:1\" connection failure:\r\n"},
    };
    for (const StepCase& c : uploads) {
        const std::string text = UploadFile(c.name.c_str(), dir.Path("t").c_str());
        EXPECT_EQ(text.compare(0, c.text.size(), c.text), 0) << c.name << ": " << text;
    }
    EXPECT_EQ(std::string(UploadFile(server.Url("f").c_str(), dir.Path("missing").c_str())),
              dir.Path("missing") + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(server.Root() + "/f"));
    // Into a local path that cannot be made (its directory is missing).
    WriteFile(server.Root() + "/here.bin", "x");
    EXPECT_EQ(std::string(DownloadFile(server.Url("here.bin").c_str(), dir.Path("no/t").c_str(), 0)),
              dir.Path("no/t") + ": No such file or directory");
}

TEST(TransferFtp, TransfersThatBreakOffAreFailures) {
    auto& server = FtpTestServer::Get();
    TempDir dir;
    WriteFile(server.Root() + "/cut-down.bin", Binary(1000000));
    WriteFile(dir.Path("t"), "old");
    EXPECT_STRNE(DownloadFile(server.Url("cut-down.bin").c_str(), dir.Path("t").c_str(), 0), "");
    EXPECT_EQ(ReadFile(dir.Path("t")), "old");
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"t"});

    WriteFile(dir.Path("big"), Binary(3000000));
    EXPECT_STRNE(UploadFile(server.Url("breakoff-up.bin").c_str(), dir.Path("big").c_str()), "");
}

// Shortens the file being sent after its first block has gone.
struct Shrinker {
    std::string path;
    static int Report(void* user, long long done, long long /*total*/) {
        if (done > 0) truncate(static_cast<Shrinker*>(user)->path.c_str(), 10);
        return 0;
    }
};

TEST(TransferFtp, AFileThatShrinksWhileItIsSentFailsTheUpload) {
    auto& server = FtpTestServer::Get();
    TempDir dir;
    WriteFile(dir.Path("big"), Binary(3000000));
    Shrinker shrinker{dir.Path("big")};
    EXPECT_EQ(std::string(UploadFileEx(server.Url("shrunk.bin").c_str(), dir.Path("big").c_str(),
                                       Shrinker::Report, &shrinker)),
              dir.Path("big") + ": the file shrank while it was sent (1048576 of 3000000 bytes)");
}

}  // namespace
