// The sample SOAP service (tests/servers/soap_service.py), started once per
// test process on first use and stopped by its pid at exit.
#ifndef ORVEX_TESTS_SOAP_TEST_SERVICE_H
#define ORVEX_TESTS_SOAP_TEST_SERVICE_H

#include "common/child_server.h"

#include <string>

namespace testing_support {

class SoapTestService {
public:
    static SoapTestService& Get();
    // "http://127.0.0.1:<port>/"
    std::string Url() const;
    static constexpr const char* kNamespace = "http://orvex.test/sample/";

private:
    SoapTestService();
    ChildServer m_Child;
    int m_nPort = 0;
};

}  // namespace testing_support

#endif
