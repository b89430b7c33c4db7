#include <orvex/file.h>

#include "common/test_support.h"
#include "platform/atomic_file.h"
#include "platform/file_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testing_support::ScopedCodePage;
using testing_support::TempDir;

TEST(CFile, WritesReadsAndSeeks) {
    TempDir dir;
    const std::string path = dir.Path("f.bin");
    CFile out;
    ASSERT_TRUE(out.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    out.Write("0123456789", 10);
    out.Close();

    CFile in;
    ASSERT_TRUE(in.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    EXPECT_EQ(in.GetLength(), 10u);
    EXPECT_EQ(in.Seek(4, CFile::begin), 4);
    char buf[16] = {};
    EXPECT_EQ(in.Read(buf, sizeof buf), 6u);
    EXPECT_STREQ(buf, "456789");
}

TEST(CFile, OpenFailureNamesFileAndReason) {
    TempDir dir;
    const std::string missing = dir.Path("missing.txt");
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(missing.c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(e.GetErrorMessage(), CString((missing + ": No such file or directory").c_str()));
    char small[8];
    e.GetErrorMessage(small, sizeof small);
    EXPECT_EQ(std::strlen(small), 7u);

    EXPECT_FALSE(f.Open(dir.path().c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
}

TEST(CFile, FailingReadThrows) {
    TempDir dir;
    const std::string path = dir.Path("w.bin");
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    char c;
    EXPECT_THROW(f.Read(&c, 1), CFileException);  // opened for writing only
}

TEST(CFile, NamesInTheCodePageReachTheFileSystemAsUtf8) {
    ScopedCodePage cp("CP1252");
    TempDir dir;
    testing_support::WriteFile(dir.Path("caf\xC3\xA9.xml"), "<a/>");  // the file system's names are UTF-8
    const std::string cafe = dir.Path("caf\xE9.xml");                 // the same name in CP1252
    CFile in;
    ASSERT_TRUE(in.Open(cafe.c_str(), CFile::modeRead));
    char text[8] = {};
    EXPECT_EQ(in.Read(text, sizeof text), 4u);
    CFile out;
    ASSERT_TRUE(out.Open(dir.Path("\xE9t\xE9.txt").c_str(), CFile::modeCreate | CFile::modeWrite));
    out.Close();

    CAtomicFile whole;
    CString error;
    ASSERT_TRUE(whole.Create(dir.Path("\xFC"
                                      "ber.txt")
                                 .c_str(),
                             error))
        << error.str();
    whole.Write("u", 1);
    ASSERT_TRUE(whole.Commit(error)) << error.str();
    int osError = 0;
    ASSERT_TRUE(filecopy::CopyFile(cafe.c_str(), dir.Path("copie de caf\xE9.xml").c_str(), error, osError))
        << error.str();
    EXPECT_EQ(
        testing_support::FileNames(dir.path()),
        (std::vector<std::string>{"caf\xC3\xA9.xml", "copie de caf\xC3\xA9.xml", "\xC3\xA9t\xC3\xA9.txt",
                                  "\xC3\xBC"
                                  "ber.txt"}));

    // Messages name the file as the caller did.
    CFileException e;
    EXPECT_FALSE(in.Open(dir.Path("m\xE9").c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.GetErrorMessage().str(), dir.Path("m\xE9") + ": No such file or directory");
}
