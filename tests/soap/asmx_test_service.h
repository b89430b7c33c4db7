// The .NET peer (tests/servers/asmx_service.py, on Mono), started once per
// test process on first use and stopped by its pid at exit. Without Mono it
// is not running, and says what is missing, for the test to skip.
#ifndef ORVEX_TESTS_SOAP_ASMX_TEST_SERVICE_H
#define ORVEX_TESTS_SOAP_ASMX_TEST_SERVICE_H

#include "common/child_server.h"

#include <string>

namespace testing_support {

class AsmxTestService {
public:
    static AsmxTestService& Get();
    bool Running() const { return m_nPort != 0; }
    // What of Mono is not installed, when it is not running.
    const std::string& Missing() const { return m_missing; }
    // "http://127.0.0.1:<port>/", where Service.asmx, DataSets.asmx and Encoded.asmx are.
    std::string Url() const;

private:
    AsmxTestService();
    ChildServer m_Child;
    int m_nPort = 0;
    std::string m_missing;
};

}  // namespace testing_support

#endif
