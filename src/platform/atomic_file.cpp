#include "platform/atomic_file.h"

#include "platform/code_page.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 100;
// How far disk space is reserved ahead of the writes: a few calls a GiB, and
// never much more set aside than has arrived.
constexpr long long kReserveWindow = 64LL * 1024 * 1024;
constexpr int kMaxBaseInTempName = 200;

std::atomic<bool> g_bUnnamedAllowed{true};

CString ErrorText(const CString& path, int osError) {
    CString text;
    text.Format("%s: %s", path.GetString(), std::strerror(osError));
    return text;
}

// Six letters that make a name nobody else is using (O_EXCL checks it).
CString RandomSuffix() {
    static thread_local std::mt19937 generator(std::random_device{}());
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    CString suffix;
    for (int i = 0; i < 6; ++i) suffix += kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
}

// "DIR/.BASE.part-XXXXXX", a name nobody is using yet.
CString TempName(const CString& dir, const CString& base) {
    CString temp = dir;
    if (temp.Right(1) != "/") temp += "/";
    temp += "." + base + ".part-" + RandomSuffix();
    return temp;
}

// Tries fresh temporary names beside the target until `take` takes one, or
// fails for another reason than the name being in use.
template <typename Take>
bool TakeFreshName(const CString& dir, const CString& base, const CString& target, Take&& take,
                   CString& error) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const CString temp = TempName(dir, base);
        if (take(temp)) return true;
        if (errno != EEXIST) {
            error = ErrorText(target, errno);
            return false;
        }
    }
    error = ErrorText(target, EEXIST);
    return false;
}

}  // namespace

bool CAtomicFile::Create(const char* target, CString& error) {
    Abandon();
    m_bDirect = false;
    m_bSetTime = false;
    m_nExpected = -1;
    m_nWritten = 0;
    m_nReserved = 0;
    m_strTarget = target;
    m_strFinal = codepage::SystemName(target);
    m_nKeepMode = -1;
    if (m_strTarget.IsEmpty()) {
        error = ErrorText(m_strTarget, ENOENT);
        return false;
    }
    struct stat st {};
    if (::lstat(m_strFinal, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(m_strFinal, resolved) != nullptr) m_strFinal = resolved;
    }
    if (::stat(m_strFinal, &st) == 0) {
        // Read-only means the owner may not write, whoever runs us.
        const int refusal = S_ISDIR(st.st_mode) ? EISDIR : ((st.st_mode & S_IWUSR) == 0 ? EACCES : 0);
        if (refusal != 0) {
            error = ErrorText(m_strTarget, refusal);
            return false;
        }
        m_nKeepMode = static_cast<int>(st.st_mode & 07777);
        if (!S_ISREG(st.st_mode)) return OpenDirect(error);
    }
    const int slash = m_strFinal.ReverseFind('/');
    const CString dir = slash < 0 ? CString(".") : (slash == 0 ? CString("/") : m_strFinal.Left(slash));
    // A long name is shortened in the temporary name, which must fit where the target fits.
    const CString base = m_strFinal.Mid(slash + 1).Left(kMaxBaseInTempName);
    if (g_bUnnamedAllowed.load(std::memory_order_relaxed) && OpenUnnamed(dir)) {
        m_strBase = base;
        return true;
    }
    return OpenNamed(dir, base, error);
}

bool CAtomicFile::OpenUnnamed(const CString& dir) {
    // 0666: the umask makes it the mode any new file gets. Any refusal (no
    // O_TMPFILE on this file system, or an error the named way will word)
    // sends us the named way.
    const int fd = ::open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // The name is given through /proc, which linkat needs no privilege for.
    CString link;
    link.Format("/proc/self/fd/%d", fd);
    if (::access(link, F_OK) != 0) {
        ::close(fd);
        return false;
    }
    m_hFile = fd;
    m_bUnnamed = true;
    m_strDir = dir;
    m_strFdLink = link;
    return true;
}

bool CAtomicFile::OpenNamed(const CString& dir, const CString& base, CString& error) {
    return TakeFreshName(
        dir, base, m_strTarget,
        [&](const CString& temp) {
            // 0666: the umask makes it the mode any new file gets.
            const int fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) return false;
            m_hFile = fd;
            m_strTemp = temp;
            return true;
        },
        error);
}

bool CAtomicFile::GiveName(CString& error) {
    return TakeFreshName(
        m_strDir, m_strBase, m_strTarget,
        [&](const CString& temp) {
            if (::linkat(AT_FDCWD, m_strFdLink, AT_FDCWD, temp, AT_SYMLINK_FOLLOW) != 0) return false;
            m_strTemp = temp;
            return true;
        },
        error);
}

bool CAtomicFile::OpenDirect(CString& error) {
    // A device or pipe holds nothing a failure could spoil, and renaming a
    // file over it would put an end to it (think of /dev/null). Without a
    // reader a pipe refuses at once instead of blocking.
    const int fd = ::open(m_strFinal, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = ErrorText(m_strTarget, errno);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_hFile = fd;
    m_nKeepMode = -1;
    m_bDirect = true;
    return true;
}

// Writes into reserved space skip ext4's per-block delayed allocation: its
// bookkeeping fell from 16-19% of a 1 GiB download's processor time to 6-7%
// (perf, nginx serving). Best effort: where the file system cannot, or the
// disk is full, the writes go on as before and fail, or not, as before.
void CAtomicFile::ReserveFor(size_t count) {
    const long long end = m_nWritten + static_cast<long long>(count);
    if (m_bDirect || m_nExpected <= m_nReserved || end <= m_nReserved) return;
    const long long upTo = std::min(m_nExpected, std::max(end, m_nReserved + kReserveWindow));
    // KEEP_SIZE: the size grows only with the writes, and no file-size limit is met early.
    if (::fallocate(m_hFile, FALLOC_FL_KEEP_SIZE, m_nReserved, upTo - m_nReserved) != 0) {
        m_nExpected = -1;
        return;
    }
    m_nReserved = upTo;
}

void CAtomicFile::Write(const void* bytes, size_t count) {
    ReserveFor(count);
    m_nWritten += static_cast<long long>(count);
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::write(m_hFile, p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int osError = errno;
            throw CFileException(
                osError == ENOSPC || osError == EFBIG ? CFileException::diskFull : CFileException::hardIO,
                osError, m_strTarget);
        }
        p += n;
        count -= static_cast<size_t>(n);
    }
}

bool CAtomicFile::Commit(CString& error) {
    if (m_hFile < 0) {
        error = ErrorText(m_strTarget, EBADF);
        return false;
    }
    // Space reserved past the end (a body shorter than announced) goes back.
    if (m_nReserved > m_nWritten) (void)::ftruncate(m_hFile, m_nWritten);
    if (m_nKeepMode >= 0 && !m_bDirect) ::fchmod(m_hFile, static_cast<mode_t>(m_nKeepMode));
    if (m_bSetTime && !m_bDirect) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, m_ModificationTime};
        ::futimens(m_hFile, times);
    }
    // Whole now: the unnamed file gets its temporary name, renamed at once below.
    if (m_bUnnamed && !GiveName(error)) {
        Abandon();
        return false;
    }
    // close() is where some file systems report a write that did not land.
    const int closed = ::close(m_hFile);
    const int closeError = errno;
    m_hFile = -1;
    if (closed != 0) {
        error = ErrorText(m_strTarget, closeError);
        Abandon();
        return false;
    }
    if (m_bDirect) return true;
    if (::rename(m_strTemp, m_strFinal) != 0) {
        error = ErrorText(m_strTarget, errno);
        Abandon();
        return false;
    }
    m_strTemp.Empty();
    return true;
}

void CAtomicFile::Abandon() {
    // An unnamed file goes with its last descriptor.
    if (m_hFile >= 0) ::close(m_hFile);
    m_hFile = -1;
    if (!m_strTemp.IsEmpty()) ::unlink(m_strTemp);
    m_strTemp.Empty();
    m_bUnnamed = false;
}

void CAtomicFile::AllowUnnamed(bool allowed) { g_bUnnamedAllowed.store(allowed, std::memory_order_relaxed); }
