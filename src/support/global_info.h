// CGlobalInfo: facts about the machine and the process, read once.
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
    const CString& GetCurrentDir() const { return m_strCurrentDir; }
    const CString& GetTempDir() const { return m_strTempDir; }
    const CString& GetUserName() const { return m_strUserName; }
    const CString& GetComputerName() const { return m_strComputerName; }
    int IsWindowsNT() const { return m_bWindowsNT; }
    int IsWindowsXP() const { return m_bWindowsXP; }
    int GetColorDepth() const { return m_nColorDepth; }
    int GetLanguage() const { return m_nLanguage; }
    int IsShowError() const { return m_bShowError; }

    // Reads the environment again; for tests that change it.
    void Reload();

private:
    CGlobalInfo() { Reload(); }

    CString m_strSystemDir;
    CString m_strWindowsDir;
    CString m_strCurrentDir;
    CString m_strTempDir;
    CString m_strUserName;
    CString m_strComputerName;
    int m_bWindowsNT = 1;
    int m_bWindowsXP = 1;
    int m_nColorDepth = 24;
    int m_nLanguage = 0x0409;
    int m_bShowError = 0;
};

#endif
