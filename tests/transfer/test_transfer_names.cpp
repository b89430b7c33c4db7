// Names and the texts of failures found before any network access; a
// derived class replacing one step of the transfers.
#include "common/test_support.h"
#include "transfer/transfer_functions.h"

#include <orvex.h>
#include <orvex/internet.h>

#include <gtest/gtest.h>

#include <string>

using testing_support::TempDir;

namespace {

struct UrlCase {
    const char* url;
    int result;
    const char* fileName;
    const char* dir;
};

TEST(TransferNames, ParseUrlNameSplitsAtTheLastSlash) {
    const UrlCase cases[] = {
        {"http://host/dir/file.txt", 1, "file.txt", "http://host/dir"},
        {"  http://host/a.zip \t", 1, "a.zip", "http://host"},
        {"C:\\dir\\sub\\setup.exe", 1, "setup.exe", "C:/dir/sub"},
        {"http://host/get?f=a/b", 1, "b", "http://host/get?f=a"},
        {"http://host/dir/", 0, "", ""},
        {"noslash", 0, "", ""},
        {"   ", 0, "", ""},
        {nullptr, 0, "", ""},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(c.url != nullptr ? c.url : "(null)");
        CString fileName = "old";
        CString dir = "old";
        EXPECT_EQ(CInternet::parseURLname(c.url, fileName, dir), c.result);
        EXPECT_STREQ(fileName, c.fileName);
        EXPECT_STREQ(dir, c.dir);
    }
}

struct FtpCase {
    const char* name;
    int result;
    const char* fileName;
    const char* path;
    const char* server;
};

TEST(TransferNames, ParseFtpNameTakesServerPathAndFile) {
    const FtpCase cases[] = {
        {"ftp://srv/dir/f.bin", 1, "f.bin", "dir/f.bin", "srv"},
        {"ftp://u:p@srv:2121/f.bin", 1, "f.bin", "f.bin", "u:p@srv:2121"},
        {"anything://srv//abs/f", 1, "f", "/abs/f", "srv"},
        {"ftp://srv/", 1, "", "", "srv"},
        // On failure the outputs keep what they held.
        {"ftp://srv", 0, "kept", "kept", "kept"},
        {"ftp.example.com/f", 0, "kept", "kept", "kept"},
        {"", 0, "kept", "kept", "kept"},
    };
    for (const FtpCase& c : cases) {
        SCOPED_TRACE(c.name);
        CString fileName = "kept";
        CString path = "kept";
        CString server = "kept";
        EXPECT_EQ(CInternet::parseFtpname(c.name, fileName, path, server), c.result);
        EXPECT_STREQ(fileName, c.fileName);
        EXPECT_STREQ(path, c.path);
        EXPECT_STREQ(server, c.server);
    }
}

TEST(TransferNames, OnlyTheFirstThreeLettersChooseFtp) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {nullptr, 0},
        {"ftp://host/f", 0},
        {"FTP://host/f", 0},
        {"ftp.example.com/f", 0},
        {"http://ftp.example.com/f", 1},
        {"file:///tmp/f", 1},
        {"gopher://host/f", 1},
    };
    CInternet internet;
    for (const auto& [name, result] : cases)
        EXPECT_EQ(internet.IsHttp(name), result) << (name ? name : "(null)");
}

TEST(TransferNames, FailuresFoundBeforeTheNetworkHaveTheirTexts) {
    TempDir dir;
    const std::string target = dir.Path("t");
    const std::pair<const char*, const char*> cases[] = {
        {"", "Invalid Ftp filename: "},
        {"ftp.example.com/f", "Invalid Ftp filename: ftp.example.com/f"},
        {"ftp://server-without-path", "Invalid Ftp filename: ftp://server-without-path"},
        {"gopher://host/f", "gopher://host/f load failure!\t"},
        {"file://otherhost/etc/hostname", "file://otherhost/etc/hostname load failure!\t"},
        {"relative/name", "relative/name load failure!\t"},
    };
    for (const auto& [name, text] : cases) EXPECT_STREQ(DownloadFile(name, target.c_str(), 0), text) << name;
    EXPECT_STREQ(DownloadFile(nullptr, target.c_str(), 0), "Invalid Ftp filename: ");
    EXPECT_STREQ(UploadFile("ftp:/x", target.c_str()), "Invalid Ftp filename: ftp:/x");

    CInternet internet;
    CString localFile = "untouched";
    CString error;
    EXPECT_EQ(internet.Http_Download_ToDir_SameFilename("http://host/dir/", dir.path().c_str(), localFile,
                                                        error, 0),
              0);
    EXPECT_STREQ(error, "Invalid URL filename: http://host/dir/");
    EXPECT_STREQ(localFile, "untouched");
    EXPECT_EQ(internet.Ftp_Download("ftp://h/f", target.c_str(), error, nullptr, nullptr, 70000), 0);
    EXPECT_STREQ(error, "Ftp Server \"h\" connection failure:\r\nPort 70000 is not a port number (0-65535)");
    // A port in the name is read as in http(s) URLs.
    EXPECT_EQ(internet.Ftp_Download("ftp://h:21x/f", target.c_str(), error, nullptr, nullptr, 21), 0);
    EXPECT_STREQ(error,
                 "Ftp Server \"h:21x\" connection failure:\r\nPort \"21x\" is not a port number (1-65535)");
}

// Serves "mem://NAME" from a directory of local files by handing the base
// class a local path instead: the composite operations follow the override.
class DirectoryInternet : public CInternet {
public:
    explicit DirectoryInternet(std::string dir) : m_dir(std::move(dir)) {}
    int m_nOpened = 0;

protected:
    CStdioFile* OpenURL(CInternetSession& session, const char* url, CString& error) override {
        ++m_nOpened;
        const std::string name = url;
        if (name.rfind("mem://", 0) != 0) return nullptr;  // fails without a text
        return CInternet::OpenURL(session, (m_dir + "/" + name.substr(6)).c_str(), error);
    }

private:
    std::string m_dir;
};

TEST(TransferNames, ADerivedOpenUrlCarriesEveryDownloadForm) {
    TempDir source;
    TempDir target;
    testing_support::WriteFile(source.Path("data.bin"), std::string("a\0b\r\nc", 6));
    DirectoryInternet internet(source.path());

    CString localFile;
    CString error = "old";
    ASSERT_EQ(internet.Download_ToDir_SameFilename("mem://data.bin", target.path().c_str(), localFile, error),
              1)
        << error.GetString();
    EXPECT_EQ(std::string(localFile), target.Path("data.bin"));
    EXPECT_EQ(testing_support::ReadFile(target.Path("data.bin")), std::string("a\0b\r\nc", 6));
    EXPECT_STREQ(error, "");

    CBuffer buffer;
    ASSERT_EQ(internet.Http_Download("mem://data.bin", buffer, error), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.GetBuf()), static_cast<size_t>(buffer.GetSize())),
              std::string("a\0b\r\nc", 6));

    // A step that fails without a text leaves the call's own text.
    EXPECT_STREQ(DownloadFileText(internet, "http://elsewhere/x", target.Path("x").c_str(), 0),
                 "DownloadFile( http://elsewhere/x ) cause an unknown Error!\t");
    EXPECT_EQ(internet.m_nOpened, 3);
}

class NoServerInternet : public CInternet {
protected:
    CFtpConnection* OpenFtpServer(CInternetSession&, const char*, const char*, const char*, int,
                                  CString&) override {
        return nullptr;
    }
};

TEST(TransferNames, AnUploadStepFailingWithoutATextLeavesTheCallsText) {
    NoServerInternet internet;
    EXPECT_STREQ(UploadFileText(internet, "ftp://h/f", "/nonexistent"),
                 "UploadFile( ftp://h/f ) cause an unknown Error!\t");
}

}  // namespace
