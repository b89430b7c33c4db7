#include "platform/message_box.h"
#include "support/global_info.h"
#include "support/obj.h"
#include "support/reg_item.h"
#include "support/return_buf.h"
#include "support/string_builder.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using testing_support::ScopedCodePage;
using testing_support::ScopedEnv;

namespace {

std::string g_shown;
int RecordingHandler(void*, const char* text, const char*, unsigned) {
    g_shown = text;
    return 1;
}

}  // namespace

TEST(CReturnBuf, KeepsOneTextPerThread) {
    const char* mine = CReturnBuf::CString2LPSTR(CString("main thread"));
    std::string other;
    std::thread t([&] {
        const char* p = CReturnBuf::CString2LPSTR(CString("worker"));
        other = p;
    });
    t.join();
    EXPECT_STREQ(mine, "main thread");
    EXPECT_EQ(other, "worker");
    const char* next = CReturnBuf::CString2LPSTR(CString("second"));
    EXPECT_STREQ(next, "second");
}

TEST(CStringBuilder, AppendsPiecesAndLines) {
    CStringBuilder b;
    b.Append("a");
    b.Append(CString("b\0c", 3));
    b.AppendLine("d");
    b.AppendLine(static_cast<const char*>(nullptr));
    CString out;
    b.GetString(out);
    EXPECT_EQ(out.str(), std::string("ab\0cd\r\n\r\n", 9));
    CString taken;
    b.TakeString(taken);
    EXPECT_EQ(taken, out);
    EXPECT_EQ(b.GetLength(), 0);
}

TEST(CObj, ErrorsKeepExactTextAndShowOnlyWhenAsked) {
    msgbox::SetHandler(&RecordingHandler);
    g_shown.clear();
    CObj quiet;
    quiet.EnableShowError(0);
    quiet.Error("Invalid SOAP XML!");
    EXPECT_EQ(quiet.LastError(), "Invalid SOAP XML!");
    EXPECT_TRUE(g_shown.empty());
    quiet.Error(5, "failed");
    EXPECT_EQ(quiet.LastError(), "failed (code 5)");
    quiet.Error(7);
    EXPECT_EQ(quiet.LastError(), "Error code 7");
    quiet.EmptyError();
    EXPECT_TRUE(quiet.LastError().IsEmpty());

    CObj loud;
    loud.Error(CString("shown"));
    EXPECT_EQ(g_shown, "shown");
    msgbox::SetHandler(nullptr);
}

TEST(CRegItem, ReadsTheEnvironmentIgnoringCase) {
    ScopedEnv a("ORVEX_TEST_VAR", "value");
    CRegItem reg(HKEY_LOCAL_MACHINE);
    int type = -1;
    EXPECT_EQ(reg.Env_Get("orvex_test_var", &type), "value");
    EXPECT_EQ(type, 1);
    EXPECT_EQ(reg.Env_Get("ORVEX_NO_SUCH_VAR", &type), "");
    EXPECT_EQ(type, 0);
    EXPECT_EQ(reg.Env_Get("", nullptr), "");
}

TEST(CGlobalInfo, TextsFromTheSystemComeInTheCodePage) {
    // The environment speaks UTF-8, as the file system does; the library's texts are CP1252.
    ScopedCodePage cp("CP1252");
    ScopedEnv system("ORVEX_SYSTEM_DIR", "/opt/s\xC3\xBCs/lib");
    ScopedEnv tmp("TMPDIR", "/var/t\xC3\xA9mp");
    ScopedEnv variable("ORVEX_TEST_VAR", "caf\xC3\xA9");
    CGlobalInfo& info = CGlobalInfo::GetInstance();
    info.Reload();
    EXPECT_EQ(info.GetSystemDir(), "/opt/s\xFCs/lib");
    EXPECT_EQ(info.GetWindowsDir(), "/opt/s\xFCs");
    EXPECT_EQ(info.GetTempDir(), "/var/t\xE9mp");
    EXPECT_EQ(CRegItem(HKEY_LOCAL_MACHINE).Env_Get("orvex_test_var", nullptr), "caf\xE9");
    system.Restore();
    tmp.Restore();
    info.Reload();
}

TEST(CGlobalInfo, DirectoriesFromTheEnvironment) {
    ScopedEnv system("ORVEX_SYSTEM_DIR", "/opt/sys/lib/");
    ScopedEnv tmp("TMPDIR", "/var/tmp");
    CGlobalInfo& info = CGlobalInfo::GetInstance();
    info.Reload();
    EXPECT_EQ(info.GetSystemDir(), "/opt/sys/lib");
    EXPECT_EQ(info.GetWindowsDir(), "/opt/sys");
    EXPECT_EQ(info.GetTempDir(), "/var/tmp");
    system.Restore();
    tmp.Restore();
    info.Reload();
    EXPECT_EQ(info.GetSystemDir(), "/usr/lib");
    EXPECT_EQ(info.GetWindowsDir(), "/usr");
}
