// CGlobalInfo: the directories the library reads, taken from the
// environment once.
#ifndef ORVEX_SUPPORT_GLOBAL_INFO_H
#define ORVEX_SUPPORT_GLOBAL_INFO_H

#include <orvex/cstring.h>

class CGlobalInfo {
public:
    static CGlobalInfo& GetInstance();

    // The system directory is /usr/lib unless ORVEX_SYSTEM_DIR names another;
    // the "Windows" directory is its parent; the temporary one is $TMPDIR or /tmp.
    const CString& GetSystemDir() const { return m_strSystemDir; }
    const CString& GetWindowsDir() const { return m_strWindowsDir; }
    const CString& GetTempDir() const { return m_strTempDir; }

    // Reads the environment again; for tests that change it.
    void Reload();

private:
    CGlobalInfo() { Reload(); }

    CString m_strSystemDir;
    CString m_strWindowsDir;
    CString m_strTempDir;
};

#endif
