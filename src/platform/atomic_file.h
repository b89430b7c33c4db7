// CAtomicFile: a file written beside its target and renamed over the target
// only when it is whole. A failure at any point, the process's own
// included, leaves the target as it was; a failed or abandoned file leaves
// nothing behind. Where the file system allows it the file has no name
// until it is whole (O_TMPFILE), so even a killed process leaves nothing;
// elsewhere it is written under a temporary name from the start.
#ifndef ORVEX_PLATFORM_ATOMIC_FILE_H
#define ORVEX_PLATFORM_ATOMIC_FILE_H

#include <orvex/cstring.h>
#include <orvex/file.h>

#include <cstddef>
#include <ctime>

class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile() { Abandon(); }
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file in the target's directory (through a
    // symbolic link, beside the file it names). A target that is a
    // directory or read-only (no owner write bit) is refused; a device or
    // pipe is written directly. On failure error is "<target>: <reason>".
    bool Create(const char* target, CString& error);
    // Throws CFileException naming the target (a full disk, a file-size limit).
    void Write(const void* bytes, size_t count);
    // The size the file will have when whole, -1 when not known. Disk space
    // is then reserved a window ahead of the writes, never past that size.
    void ExpectSize(long long bytes) { m_nExpected = bytes; }
    // The permission bits and modification time the file gets at Commit,
    // instead of an existing target's bits and the time of writing.
    void SetMode(unsigned mode) { m_nKeepMode = static_cast<int>(mode & 07777); }
    void SetModificationTime(const struct timespec& time) {
        m_ModificationTime = time;
        m_bSetTime = true;
    }
    // The temporary file's name as the file system knows it (UTF-8), for
    // writers that open by name: its /proc/self/fd link while it has no
    // name; empty when the target is written directly.
    const CString& TempPath() const { return m_bUnnamed ? m_strFdLink : m_strTemp; }
    // Closes, gives the file its permissions (and time), and renames it
    // over the target.
    bool Commit(CString& error);
    // Removes the temporary file; nothing to do after Commit.
    void Abandon();

    // For tests: false takes the named way everywhere, as on a file system
    // without unnamed files.
    static void AllowUnnamed(bool allowed);

private:
    bool OpenDirect(CString& error);
    bool OpenUnnamed(const CString& dir);
    bool OpenNamed(const CString& dir, const CString& base, CString& error);
    // Links the unnamed file into the directory under a temporary name.
    bool GiveName(CString& error);
    // Reserves the next window when `count` more bytes would pass the reserved end.
    void ReserveFor(size_t count);

    int m_hFile = -1;
    bool m_bDirect = false;
    CString m_strTarget;  // the name callers gave, in the code page, for messages
    // Where the rename goes and the temporary file, as the file system names them.
    CString m_strFinal;
    CString m_strTemp;
    bool m_bUnnamed = false;
    CString m_strDir;      // where an unnamed file gets its name
    CString m_strBase;     // the target's name, shortened, for the temporary name
    CString m_strFdLink;   // "/proc/self/fd/N" of an unnamed file
    int m_nKeepMode = -1;  // an existing target's permission bits
    struct timespec m_ModificationTime {};
    bool m_bSetTime = false;
    long long m_nExpected = -1;  // the whole file's size, -1: not known
    long long m_nWritten = 0;
    long long m_nReserved = 0;  // bytes from the start that have disk space set aside
};

#endif
