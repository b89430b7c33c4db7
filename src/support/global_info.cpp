#include "support/global_info.h"

#include "platform/code_page.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

CGlobalInfo& CGlobalInfo::GetInstance() {
    static CGlobalInfo instance;
    return instance;
}

namespace {

// The environment and the file system speak UTF-8; our texts are in the code page.
CString FromSystem(const char* text) { return CString(codepage::FromSystem(text)); }

}  // namespace

void CGlobalInfo::Reload() {
    const char* system = std::getenv("ORVEX_SYSTEM_DIR");
    m_strSystemDir = system != nullptr && *system != '\0' ? FromSystem(system) : CString("/usr/lib");
    if (m_strSystemDir.GetLength() > 1) m_strSystemDir.TrimRight('/');
    const int slash = m_strSystemDir.ReverseFind('/');
    m_strWindowsDir = slash > 0 ? m_strSystemDir.Left(slash) : CString("/");

    char cwd[PATH_MAX];
    m_strCurrentDir = getcwd(cwd, sizeof cwd) != nullptr ? FromSystem(cwd) : CString();
    const char* tmp = std::getenv("TMPDIR");
    m_strTempDir = tmp != nullptr && *tmp != '\0' ? FromSystem(tmp) : CString("/tmp");

    const struct passwd* pw = getpwuid(getuid());
    const char* user = std::getenv("USER");
    m_strUserName = FromSystem(pw != nullptr ? pw->pw_name : user);
    char host[256] = {};
    m_strComputerName = gethostname(host, sizeof host - 1) == 0 ? FromSystem(host) : CString();
}
