// Helpers shared by the test suites.
#ifndef ORVEX_TESTS_TEST_SUPPORT_H
#define ORVEX_TESTS_TEST_SUPPORT_H

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// A fresh directory under the temporary directory, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
// The names in a directory, sorted.
std::vector<std::string> FileNames(const std::string& dir);
std::string ReadFile(const std::string& path);
// The project's source tree (set by the build for every test).
std::string SourceDir();

// Sets an environment variable for the scope, restoring the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // value null unsets
    ~ScopedEnv() { Restore(); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void Restore();

private:
    std::string m_name;
    std::optional<std::string> m_old;
    bool m_restored = false;
};

// Switches the library's 8-bit code page for the scope.
class ScopedCodePage {
public:
    explicit ScopedCodePage(const char* name);
    ~ScopedCodePage();
    ScopedCodePage(const ScopedCodePage&) = delete;
    ScopedCodePage& operator=(const ScopedCodePage&) = delete;

private:
    ScopedEnv m_env;
};

// Switches the process's time zone (TZ) for the scope.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    ScopedEnv m_env;
};

}  // namespace testing_support

#endif
