// The local FTP test server (tests/servers/ftp_server.py), started once per
// test process on first use and stopped by its pid at exit.
#ifndef ORVEX_TESTS_FTP_TEST_SERVER_H
#define ORVEX_TESTS_FTP_TEST_SERVER_H

#include "common/child_server.h"

#include <string>

namespace testing_support {

class FtpTestServer {
public:
    // The running server; starts it on a fresh, empty root on first call.
    static FtpTestServer& Get();

    int Port() const { return m_nPort; }
    // The directory served as "/", read/write for anonymous and for User().
    const std::string& Root() const { return m_strRoot; }
    // "ftp://127.0.0.1:<port>/" + path.
    std::string Url(const std::string& path) const;
    // The named account; anonymous login works as well.
    static const char* User() { return "orvex"; }
    static const char* Password() { return "s3cret"; }

    void Stop();

private:
    FtpTestServer();
    ~FtpTestServer();

    ChildServer m_Child;
    int m_nPort = 0;
    std::string m_strDir;
    std::string m_strRoot;
};

}  // namespace testing_support

#endif
