#include <orvex/file.h>

#include "platform/code_page.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int CauseOf(int osError) {
    switch (osError) {
        case ENOENT:
            return CFileException::fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
            return CFileException::badPath;
        case EMFILE:
        case ENFILE:
            return CFileException::tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return CFileException::accessDenied;
        case EBADF:
            return CFileException::invalidFile;
        case ENOSPC:
            return CFileException::diskFull;
        case EINVAL:
            return CFileException::badSeek;
        case EIO:
            return CFileException::hardIO;
        default:
            return CFileException::genericException;
    }
}

}  // namespace

CFileException::CFileException(int cause, int osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

CFileException::~CFileException() = default;

CString CFileException::GetErrorMessage() const {
    CString text;
    const char* reason = m_lOsError != 0 ? std::strerror(m_lOsError) : "Unknown error";
    if (m_strFileName.IsEmpty())
        text = reason;
    else
        text.Format("%s: %s", m_strFileName.GetString(), reason);
    return text;
}

int CFileException::GetErrorMessage(char* text, unsigned maxLength) const {
    if (text == nullptr || maxLength == 0) return 0;
    const CString message = GetErrorMessage();
    const size_t n = std::min<size_t>(static_cast<size_t>(message.GetLength()), maxLength - 1);
    std::memcpy(text, message.GetString(), n);
    text[n] = '\0';
    return 1;
}

CFile::~CFile() {
    if (m_hFile >= 0) ::close(m_hFile);
}

bool CFile::Open(const char* fileName, unsigned openFlags, CFileException* error) {
    Close();
    m_strFileName = fileName;
    int flags = O_CLOEXEC;
    switch (openFlags & 3u) {
        case modeWrite:
            flags |= O_WRONLY;
            break;
        case modeReadWrite:
            flags |= O_RDWR;
            break;
        default:
            flags |= O_RDONLY;
            break;
    }
    if (openFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(openFlags & modeNoTruncate)) flags |= O_TRUNC;
    }
    const int fd = fileName != nullptr ? ::open(codepage::SystemName(fileName), flags, 0666) : -1;
    const int osError = fileName != nullptr ? errno : ENOENT;
    if (fd < 0) {
        if (error != nullptr) *error = CFileException(CauseOf(osError), osError, fileName);
        return false;
    }
    // open() succeeds on a directory for reading; reading it would fail later.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error != nullptr) *error = CFileException(CFileException::accessDenied, EISDIR, fileName);
        return false;
    }
    m_hFile = fd;
    return true;
}

unsigned CFile::Read(void* buffer, unsigned count) {
    auto* p = static_cast<char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Throw(errno);
        }
        if (n == 0) break;
        done += static_cast<unsigned>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, unsigned count) {
    const auto* p = static_cast<const char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Throw(errno);
        }
        done += static_cast<unsigned>(n);
    }
}

int64_t CFile::Seek(int64_t offset, unsigned from) {
    const int whence = from == current ? SEEK_CUR : (from == end ? SEEK_END : SEEK_SET);
    const off_t r = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (r < 0) Throw(errno);
    return r;
}

uint64_t CFile::GetLength() const {
    struct stat st {};
    if (::fstat(m_hFile, &st) != 0) Throw(errno);
    return static_cast<uint64_t>(st.st_size);
}

void CFile::Close() {
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
}

void CFile::Throw(int osError) const {
    throw CFileException(CauseOf(osError), osError, m_strFileName.GetString());
}
