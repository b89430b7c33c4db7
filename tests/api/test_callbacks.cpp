// Callbacks run on the thread that made the call, inside it, and may call
// the library on any other handle: another request, a record set, a tree, a
// transfer of their own.
#include <orvex.h>

#include <orvex/pub_ex.h>

#include "common/test_support.h"
#include "http/http_test_server.h"
#include "http/http_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

using testing_support::HttpHandle;
using testing_support::HttpTestServer;
using testing_support::ReadFile;
using testing_support::Response;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// What a callback saw and did, checked once the outer call has returned.
struct Visit {
    std::thread::id caller = std::this_thread::get_id();
    int calls = 0;
    bool otherThread = false;
    std::string nested;  // what the library answered inside, one line per call
};

// Calls into the library as a callback might: a request on a handle of its
// own, a record set, a tree.
void UseTheLibrary(Visit& visit) {
    if (std::this_thread::get_id() != visit.caller) visit.otherThread = true;
    if (visit.calls++ > 0) return;
    HttpHandle other;
    const int answered =
        HTTP_Request(other, HttpTestServer::Get().Http("/status/200").c_str(), nullptr, nullptr);
    visit.nested += std::to_string(answered) + " " + Response(other) + "\n";
    SRS_HANDLE set = SRS_new("Row", "", "");
    SRS_AddCol(set, "A", "string");
    SRS_SetText(set, SRS_AddRow(set), "A", "cell");
    visit.nested += std::string(SRS_GetText(set, 1, "A")) + "\n";
    SRS_delete(set);
    XML_NODE tree = XML_new("<a k='v'/>", 0);
    visit.nested += std::string(XML_GetProperty(tree, "k")) + "\n";
    XML_delete(tree);
}

struct ProgressVisit : Visit {
    std::string source;
    std::string nestedTarget;
};

int Progress(void* user, long long, long long) {
    auto& visit = *static_cast<ProgressVisit*>(user);
    if (visit.calls == 0)
        visit.nested +=
            std::string(DownloadFile(visit.source.c_str(), visit.nestedTarget.c_str(), 0)) + "|\n";
    UseTheLibrary(visit);
    return 0;
}

int IsCompress(void* user) {
    UseTheLibrary(*static_cast<Visit*>(user));
    return 1;
}

// Hands the bytes on unchanged.
int Identity(void* user, const unsigned char* data, int length, unsigned char* out, int capacity) {
    UseTheLibrary(*static_cast<Visit*>(user));
    if (length <= capacity) std::memcpy(out, data, static_cast<size_t>(length));
    return length;
}

Visit* g_pBoxVisit = nullptr;

int Box(void*, const char*, const char*, unsigned) {
    UseTheLibrary(*g_pBoxVisit);
    Orvex_SetMessageBoxHandler(nullptr);  // the handler may replace itself
    return 1;
}

const char kNested[] = "1 status 200\ncell\nv\n";

}  // namespace

TEST(Callbacks, AProgressFunctionMayDownloadAndUseOtherHandles) {
    TempDir dir;
    const std::string source = dir.Path("big.bin");
    WriteFile(source, std::string(3u << 20, 'b'));
    ProgressVisit visit;
    visit.source = dir.Path("small.txt");
    WriteFile(visit.source, "small");
    visit.nestedTarget = dir.Path("nested.txt");
    const std::string target = dir.Path("target.bin");

    EXPECT_STREQ(DownloadFileEx(source.c_str(), target.c_str(), 0, Progress, &visit), "");
    EXPECT_EQ(ReadFile(target), ReadFile(source));
    EXPECT_EQ(visit.nested, std::string("|\n") + kNested);
    EXPECT_EQ(ReadFile(visit.nestedTarget), "small");
    EXPECT_GT(visit.calls, 1);
    EXPECT_FALSE(visit.otherThread);
}

TEST(Callbacks, CompressionFunctionsMayUseOtherHandles) {
    Visit visit;
    HttpHandle h;
    HTTP_SetCompressCallbacks(h, IsCompress, Identity, Identity, &visit);
    HTTP_SetContent(h, "body");
    ASSERT_EQ(HTTP_Request(h, HttpTestServer::Get().Http("/echo").c_str(), nullptr, nullptr), 1)
        << HTTP_GetLastError(h);
    const std::string echoed = Response(h);
    EXPECT_EQ(echoed.substr(echoed.size() - 4), "body");
    EXPECT_EQ(visit.nested, kNested);
    EXPECT_GE(visit.calls, 4);  // isCompress twice, compress, decompress
    EXPECT_FALSE(visit.otherThread);
}

TEST(Callbacks, TheMessageBoxHandlerMayUseTheLibrary) {
    Visit visit;
    g_pBoxVisit = &visit;
    Orvex_SetMessageBoxHandler(Box);
    TempDir dir;
    EXPECT_EQ(CPubEx::Copy1FileByVersion(dir.Path("missing.dll").c_str(), dir.path().c_str(), 0), 0);
    Orvex_SetMessageBoxHandler(nullptr);
    g_pBoxVisit = nullptr;
    EXPECT_EQ(visit.nested, kNested);
    EXPECT_EQ(visit.calls, 1);
    EXPECT_FALSE(visit.otherThread);
}
