// The wire trace switched on for the scope of a test, into a file of its own.
#ifndef ORVEX_TESTS_TRACE_TEST_UTIL_H
#define ORVEX_TESTS_TRACE_TEST_UTIL_H

#include "common/test_support.h"

#include "net/trace.h"

#include <string>

namespace testing_support {

class ScopedTrace {
public:
    // A trace into a fresh file that Text() reads.
    ScopedTrace() : m_path(m_dir.Path("trace")), m_env("ORVEX_TRACE", m_path.c_str()) { net::Reload(); }
    // ORVEX_TRACE set to `value` (null unsets it) and read afresh.
    explicit ScopedTrace(const char* value) : m_env("ORVEX_TRACE", value) { net::Reload(); }
    ~ScopedTrace() {
        m_env.Restore();
        net::Reload();
    }
    ScopedTrace(const ScopedTrace&) = delete;
    ScopedTrace& operator=(const ScopedTrace&) = delete;

    std::string Text() const { return ReadFile(m_path); }

private:
    TempDir m_dir;
    std::string m_path;
    ScopedEnv m_env;
};

}  // namespace testing_support

#endif
