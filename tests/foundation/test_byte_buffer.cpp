#include <orvex/base64.h>
#include <orvex/buffer.h>

#include "platform/message_box.h"
#include "support/global_info.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using testing_support::TempDir;

namespace {

unsigned char* Bytes(const char* text) { return reinterpret_cast<unsigned char*>(const_cast<char*>(text)); }

std::string Content(CBuffer& b) { return std::string(reinterpret_cast<char*>(b.GetBuf()), b.GetSize()); }

bool ZeroFrom(CBuffer& b, int from) {
    for (int i = from; i < b.GetAllocSize(); ++i)
        if (b.GetBuf()[i] != 0) return false;
    return true;
}

}  // namespace

TEST(CBufferCapacity, StepIsAtLeast256) {
    EXPECT_EQ(CBuffer(10).GetAllocSize(), 0);
    CBuffer small(10);
    small.AutoAlloc(0);
    EXPECT_EQ(small.GetAllocSize(), 256);
    CBuffer def;
    def.AutoAlloc(0);
    EXPECT_EQ(def.GetAllocSize(), 1024);
}

TEST(CBufferCapacity, LinearStepsKeepFourSpareBytes) {
    struct Case {
        int ask;
        int capacity;
    };
    // Each on a fresh buffer with step 256.
    const Case cases[] = {{0, 256}, {251, 256}, {252, 512}, {1000, 1024}, {1019, 1024}, {1020, 1280}};
    for (const Case& c : cases) {
        CBuffer b(256);
        b.AutoAlloc(c.ask);
        EXPECT_EQ(b.GetAllocSize(), c.capacity) << c.ask;
        EXPECT_TRUE(ZeroFrom(b, 0));
    }
    CBuffer grow(256);
    grow.AutoAlloc(100);
    grow.AutoAlloc(251);  // still fits
    EXPECT_EQ(grow.GetAllocSize(), 256);
    grow.AutoAlloc(5000);
    EXPECT_EQ(grow.GetAllocSize(), 5120);
}

TEST(CBufferCapacity, SetBufAndAddBufSteps) {
    CBuffer b;
    b.SetBuf(nullptr, 0);
    EXPECT_EQ(b.GetAllocSize(), 1024);
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_TRUE(ZeroFrom(b, 0));

    CBuffer c;
    std::vector<unsigned char> kilo(1020, 'x');
    c.AddBuf(kilo.data(), 1020);
    EXPECT_EQ(c.GetAllocSize(), 2048);
    EXPECT_EQ(c.GetSize(), 1020);
    EXPECT_TRUE(ZeroFrom(c, 1020));
    c.AddBuf(kilo.data(), 1020);
    EXPECT_EQ(c.GetAllocSize(), 2048);  // 2040 < 2048 - 4
    c.Increase(1024);
    EXPECT_EQ(c.GetAllocSize(), 3072);
    c.Increase(1030);
    EXPECT_EQ(c.GetAllocSize(), 4096);
    EXPECT_EQ(c.GetSize(), 2040);
}

TEST(CBufferCapacity, GrowthDropsStaleBytesBehindTheContent) {
    CBuffer b(256);
    std::vector<unsigned char> big(200, 'z');
    b.SetBuf(big.data(), 200);
    b.SetBuf(Bytes("ab"), 2);  // older, longer content stays behind the new end
    EXPECT_EQ(b.GetBuf()[2], 'z');
    b.AutoAlloc(300);  // a growth keeps the content only
    EXPECT_EQ(Content(b), "ab");
    EXPECT_TRUE(ZeroFrom(b, 2));
}

TEST(CBufferCapacity, LargeBuffersGrowAndStayZeroed) {
    CBuffer b;
    std::vector<unsigned char> piece(1020, 0xAB);
    for (int i = 0; i < 4096; ++i) b.AddBuf(piece.data(), 1020);  // passes the mapping threshold
    EXPECT_EQ(b.GetSize(), 4096 * 1020);
    EXPECT_EQ(b.GetAllocSize() % 1024, 0);
    EXPECT_GT(b.GetAllocSize(), b.GetSize() + 4);
    EXPECT_LE(b.GetAllocSize(), b.GetSize() + 4 + 1024);
    EXPECT_EQ(b.GetBuf()[b.GetSize() - 1], 0xAB);
    EXPECT_TRUE(ZeroFrom(b, b.GetSize()));
    b.Delete(10, INT_MAX);
    b.AddBuf(piece.data(), 1);  // stale bytes past the cut never reappear
    EXPECT_EQ(b.GetSize(), 11);
    b.AutoAlloc(b.GetAllocSize() + 10);
    EXPECT_TRUE(ZeroFrom(b, 11));
}

TEST(CBufferCapacity, SizesBeyond32BitsThrow) {
    CBuffer b;
    EXPECT_THROW(b.AutoAlloc(INT_MAX), std::length_error);
    b.AddBuf(Bytes("abc"), 3);
    EXPECT_THROW(b.AddBuf(Bytes("x"), INT_MAX), std::length_error);
    EXPECT_THROW(b.Increase(INT_MAX - 1), std::length_error);
    EXPECT_EQ(Content(b), "abc");
}

TEST(CBufferEdit, DeleteCutsAtTheEndAndZeroesBehind) {
    CBuffer b;
    b.SetBuf(Bytes("0123456789"), 10);
    b.Delete(10, 1);
    EXPECT_EQ(Content(b), "0123456789");
    b.Delete(3, 100);
    EXPECT_EQ(Content(b), "012");
    for (int i = 3; i < 7; ++i) EXPECT_EQ(b.GetBuf()[i], 0);
    b.Delete(-1, 1);
    b.Delete(0, -5);
    EXPECT_EQ(Content(b), "012");
    b.Delete(0, 1);
    EXPECT_EQ(Content(b), "12");
}

TEST(CBufferEdit, InsertOnlyBeforeAnExistingByte) {
    CBuffer empty;
    empty.Insert(Bytes("xy"), 0, 2);
    EXPECT_EQ(empty.GetSize(), 0);
    CBuffer b;
    b.SetBuf(Bytes("0123456789"), 10);
    b.Insert(Bytes("xy"), 9, 2);
    EXPECT_EQ(Content(b), "012345678xy9");
    b.Insert(Bytes("!"), 12, 1);
    b.Insert(Bytes("!"), -1, 1);
    EXPECT_EQ(Content(b), "012345678xy9");
    b.Insert(Bytes("<"), 0, 1);
    EXPECT_EQ(Content(b), "<012345678xy9");
    // An insertion that needs room grows the block.
    CBuffer full(256);
    std::vector<unsigned char> fill(251, 'f');
    full.SetBuf(fill.data(), 251);
    full.Insert(Bytes("ab"), 0, 2);
    EXPECT_EQ(full.GetAllocSize(), 512);
    EXPECT_EQ(full.GetSize(), 253);
    EXPECT_EQ(full.GetBuf()[0], 'a');
    EXPECT_EQ(full.GetBuf()[252], 'f');
}

TEST(CBufferEdit, SourcesInsideTheOwnBlockReadRightWhateverGrowthAndShiftsDo) {
    struct Case {
        const char* what;
        int growBy;
        std::string initial;
        std::function<void(CBuffer&)> op;
        std::string expected;
    };
    const std::string kilo(1000, 'k');
    const std::string big(200000, 'b');  // doubled, it passes to a mapping
    const std::vector<Case> cases = {
        {"AddBuf growing on the heap", 1024, kilo, [](CBuffer& b) { b.AddBuf(b.GetBuf(), b.GetSize()); },
         kilo + kilo},
        {"AddBuf growing into a mapping", 1024, big, [](CBuffer& b) { b.AddBuf(b.GetBuf(), b.GetSize()); },
         big + big},
        {"AddBuf overlapping its own target", 1024, "abcdef", [](CBuffer& b) { b.AddBuf(b.GetBuf() + 4, 4); },
         std::string("abcdefef\0\0", 10)},
        {"SetBuf growing", 256, std::string(250, 's') + "t",
         [](CBuffer& b) { b.SetBuf(b.GetBuf() + 1, 252); },
         std::string(249, 's') + "t" + std::string(2, '\0')},
        {"Insert without growth", 1024, "abcd", [](CBuffer& b) { b.Insert(b.GetBuf() + 1, 0, 2); }, "bcabcd"},
        {"Insert of a source across the insertion point", 1024, "abcd",
         [](CBuffer& b) { b.Insert(b.GetBuf() + 1, 2, 2); }, "abbccd"},
        {"Insert growing", 256, std::string(250, 'i') + "j",
         [](CBuffer& b) { b.Insert(b.GetBuf() + 249, 1, 2); }, "iij" + std::string(249, 'i') + "j"},
        {"Base64 into its own source", 1024, "abcd",
         [](CBuffer& b) { CBase64::Encode(b.GetBuf(), b.GetSize(), b); }, std::string("YWJjZA==\0", 9)},
    };
    for (const Case& c : cases) {
        CBuffer b(c.growBy);
        b.SetBuf(Bytes(c.initial.c_str()), static_cast<int>(c.initial.size()));
        c.op(b);
        EXPECT_TRUE(Content(b) == c.expected) << c.what;  // no dump of the long ones
    }
}

TEST(CBufferCopy, CopyTakesStepAndContent) {
    CBuffer source(4096);
    source.SetBuf(Bytes("payload"), 7);
    CBuffer target;
    target.SetBuf(Bytes("old"), 3);
    target.Copy(source);
    EXPECT_EQ(target.GetAllocSize(), 4096);
    EXPECT_EQ(target.IsEqual(source), 1);
    target.Copy(target);  // copying onto itself keeps the content
    EXPECT_EQ(Content(target), "payload");

    CBuffer a;
    CBuffer b;
    EXPECT_EQ(a.IsEqual(b), 1);
    b.SetBuf(Bytes("x"), 1);
    EXPECT_EQ(a.IsEqual(b), 0);
    a.SetBuf(Bytes("y"), 1);
    EXPECT_EQ(a.IsEqual(b), 0);
}

TEST(CBufferCopy, CopyConstructionAndAssignmentAreDeep) {
    CBuffer a(512);
    a.SetBuf(Bytes("abc"), 3);
    CBuffer b(a);
    EXPECT_NE(a.GetBuf(), b.GetBuf());
    EXPECT_EQ(b.IsEqual(a), 1);
    EXPECT_EQ(b.GetAllocSize(), a.GetAllocSize());
    CBuffer c;
    c = a;
    a.SetBuf(Bytes("xyz"), 3);
    EXPECT_EQ(Content(b), "abc");
    EXPECT_EQ(Content(c), "abc");
    CBuffer& alias = c;
    c = alias;
    EXPECT_EQ(Content(c), "abc");
}

TEST(CBufferLifecycle, ClearReleasesEmptyKeeps) {
    CBuffer b;
    b.SetBuf(Bytes("abc"), 3);
    b.Empty();
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_EQ(b.GetAllocSize(), 1024);
    EXPECT_EQ(b.GetBuf()[0], 0);
    b.Clear();
    EXPECT_EQ(b.GetBuf(), nullptr);
    EXPECT_EQ(b.GetAllocSize(), 0);
}

TEST(CBufferFiles, ReadFileSlicesAndFailures) {
    TempDir dir;
    CString path(dir.Path("digits.txt").c_str());
    testing_support::WriteFile(path.GetString(), "0123456789");
    CBuffer b;
    CString error("stale");
    ASSERT_EQ(b.ReadFile(path, 0, -1, error), 1);
    EXPECT_EQ(Content(b), "0123456789");
    EXPECT_EQ(error, "");
    ASSERT_EQ(b.ReadFile(path, 2, 3, error), 1);
    EXPECT_EQ(Content(b), "234");
    ASSERT_EQ(b.ReadFile(path, 10, 0, error), 1);
    EXPECT_EQ(b.GetSize(), 0);

    struct Case {
        int offset;
        int length;
    };
    for (const Case& c : {Case{5, -1}, Case{8, 3}, Case{-1, 2}, Case{0, -7}}) {
        b.SetBuf(Bytes("x"), 1);
        EXPECT_EQ(b.ReadFile(path, c.offset, c.length, error), 0);
        EXPECT_EQ(error, "Out of File length: " + path + "!\t");
        EXPECT_EQ(b.GetBuf(), nullptr);
        EXPECT_EQ(b.GetSize(), 0);
    }

    CString missing(dir.Path("missing.txt").c_str());
    EXPECT_EQ(b.ReadFile(missing, 0, -1, error), 0);
    EXPECT_EQ(error, missing + ": No such file or directory");
    EXPECT_EQ(b.GetAllocSize(), 0);
}

TEST(CBufferFiles, ReadFromAnOpenFile) {
    TempDir dir;
    const std::string path = dir.Path("f");
    testing_support::WriteFile(path, "abcdef");
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeRead));
    CBuffer b;
    EXPECT_EQ(b.ReadFile(f, 4), 1);
    EXPECT_EQ(Content(b), "abcd");
    EXPECT_EQ(b.ReadFile(f, 4), 0);  // two bytes left; the size stays 4
    EXPECT_EQ(b.GetSize(), 4);
    EXPECT_EQ(Content(b).substr(0, 2), "ef");
}

namespace {
std::string g_boxText;
void* g_boxOwner = nullptr;
int RecordBox(void* owner, const char* text, const char*, unsigned) {
    g_boxOwner = owner;
    g_boxText = text;
    return 1;
}
}  // namespace

TEST(CBufferFiles, WriteFileAndItsMessageBox) {
    TempDir dir;
    CBuffer b;
    b.SetBuf(Bytes("hello"), 5);
    ASSERT_EQ(b.WriteFile_ToDir(dir.path().c_str(), "out.txt", nullptr), 1);
    EXPECT_EQ(testing_support::ReadFile(dir.Path("out.txt")), "hello");

    msgbox::SetHandler(&RecordBox);
    g_boxText.clear();
    const std::string bad = dir.Path("no/such/dir/x");
    EXPECT_EQ(b.WriteFile(bad.c_str(), nullptr), 0);
    EXPECT_EQ(g_boxText, "");  // no owner, no box
    auto* owner = reinterpret_cast<CWnd*>(&b);
    EXPECT_EQ(b.WriteFile(bad.c_str(), owner), 0);
    EXPECT_EQ(g_boxText, "No such file or directory");
    EXPECT_EQ(g_boxOwner, owner);
    msgbox::SetHandler(nullptr);

    CBuffer empty;
    ASSERT_EQ(empty.WriteFile(dir.Path("empty").c_str(), nullptr), 1);
    EXPECT_EQ(testing_support::ReadFile(dir.Path("empty")), "");

    testing_support::ScopedEnv tmp("TMPDIR", dir.path().c_str());
    CGlobalInfo::GetInstance().Reload();
    EXPECT_EQ(b.WriteFile_ToTempDir("temp.txt", nullptr), 1);
    EXPECT_EQ(testing_support::ReadFile(dir.Path("temp.txt")), "hello");
    tmp.Restore();
    CGlobalInfo::GetInstance().Reload();
}
