#include "platform/file_copy.h"

#include "platform/atomic_file.h"
#include "platform/code_page.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace filecopy {
namespace {

constexpr size_t kBlockBytes = 1u << 20;

// Closes the source however the copy ends.
struct Source {
    int fd = -1;
    ~Source() {
        if (fd >= 0) ::close(fd);
    }
};

bool Fail(CString& error, int& osError, const char* path, int code) {
    osError = code;
    error.Format("%s: %s", path != nullptr ? path : "", std::strerror(code));
    return false;
}

}  // namespace

bool CopyFile(const char* source, const char* target, CString& error, int& osError) {
    Source in;
    in.fd = source != nullptr ? ::open(codepage::SystemName(source), O_RDONLY | O_CLOEXEC) : -1;
    if (in.fd < 0) return Fail(error, osError, source, source != nullptr ? errno : ENOENT);
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) return Fail(error, osError, source, errno);
    if (S_ISDIR(st.st_mode)) return Fail(error, osError, source, EISDIR);

    CAtomicFile out;
    if (!out.Create(target, error)) {
        osError = errno != 0 ? errno : EIO;
        return false;
    }
    std::vector<char> block(kBlockBytes);
    try {
        for (;;) {
            const ssize_t n = ::read(in.fd, block.data(), block.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(error, osError, source, errno);
            if (n == 0) break;
            out.Write(block.data(), static_cast<size_t>(n));
        }
    } catch (const CFileException& e) {
        osError = e.m_lOsError;
        error = e.GetErrorMessage();
        return false;
    }
    out.SetMode(st.st_mode);
    out.SetModificationTime(st.st_mtim);
    if (!out.Commit(error)) {
        osError = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

}  // namespace filecopy
