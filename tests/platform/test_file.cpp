#include <orvex/file.h>

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

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
