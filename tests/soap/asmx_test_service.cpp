#include "soap/asmx_test_service.h"

#include "common/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

AsmxTestService& AsmxTestService::Get() {
    static AsmxTestService* service = [] {
        BypassProxies();
        auto* s = new AsmxTestService();
        std::atexit([] { delete &AsmxTestService::Get(); });
        return s;
    }();
    return *service;
}

AsmxTestService::AsmxTestService() {
    const std::string line =
        m_Child.StartPython({SourceDir() + "/tests/servers/asmx_service.py", "--lifetime", "900"});
    const std::string missing = "MISSING ";
    if (line.compare(0, missing.size(), missing) == 0) {
        m_missing = "Mono's ASP.NET runtime is not installed: " + line.substr(missing.size());
        m_Child.Stop();
        return;
    }
    if (std::sscanf(line.c_str(), "PORT %d", &m_nPort) != 1 || m_nPort == 0)
        throw std::runtime_error("the .NET peer did not start: " + line);
}

std::string AsmxTestService::Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort) + "/"; }

}  // namespace testing_support
