#include "soap/soap_test_service.h"

#include "common/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

SoapTestService& SoapTestService::Get() {
    static SoapTestService* service = [] {
        BypassProxies();
        auto* s = new SoapTestService();
        std::atexit([] { delete &SoapTestService::Get(); });
        return s;
    }();
    return *service;
}

SoapTestService::SoapTestService() {
    const std::string line =
        m_Child.StartPython({SourceDir() + "/tests/servers/soap_service.py", "--lifetime", "900"});
    if (std::sscanf(line.c_str(), "PORT %d", &m_nPort) != 1 || m_nPort == 0)
        throw std::runtime_error("the sample SOAP service did not start: " + line);
}

std::string SoapTestService::Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort) + "/"; }

}  // namespace testing_support
