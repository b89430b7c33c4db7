#include "support/global_info.h"

#include "platform/code_page.h"

#include <cstdlib>

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

    const char* tmp = std::getenv("TMPDIR");
    m_strTempDir = tmp != nullptr && *tmp != '\0' ? FromSystem(tmp) : CString("/tmp");
}
