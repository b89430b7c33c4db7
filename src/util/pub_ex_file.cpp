#include <orvex/buffer.h>
#include <orvex/pub_ex.h>

#include "platform/code_page.h"
#include "platform/file_copy.h"
#include "platform/message_box.h"
#include "platform/pe_version.h"
#include "support/global_info.h"
#include "support/pub.h"
#include "support/reg_item.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

thread_local CString CPubEx::m_LastError;

namespace {

constexpr int kAttempts = 5;
constexpr auto kRetryPause = std::chrono::milliseconds(200);
// Only the first and last KiB of files this large are compared.
constexpr long long kWholeCompareBelow = 2048;
constexpr unsigned kEdgeBytes = 1024;
// Deeper trees are not listed further: a bind mount can make a tree endless.
constexpr int kMaxDepth = 1000;

CString Text(const char* text) { return CString(text != nullptr ? text : ""); }

void Pause() { std::this_thread::sleep_for(kRetryPause); }

// The names in a directory but "." and "..", in the code page and in byte
// order, so that listings do not depend on the file system's own order.
std::vector<std::string> Entries(const CString& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.IsEmpty() ? "." : codepage::SystemName(dir).c_str());
    if (d == nullptr) return names;
    while (const dirent* entry = ::readdir(d)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(codepage::FromSystem(entry->d_name));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// A real directory: a symbolic link to one is not entered.
bool IsDirectory(const CString& path) {
    struct stat st {};
    return ::lstat(codepage::SystemName(path), &st) == 0 && S_ISDIR(st.st_mode);
}

CString WithoutTrailingSlashes(const char* dir) {
    CString text = Text(dir);
    while (text.GetLength() > 1 && text.Right(1) == "/") text.Delete(text.GetLength() - 1);
    return text;
}

void ListSubDirs(const CString& dir, CStringArray& dirs, int depth) {
    if (depth > kMaxDepth) return;
    for (const std::string& name : Entries(dir)) {
        const CString path = CPub::AppendPath(dir, name.c_str());
        if (!IsDirectory(path)) continue;
        dirs.Add(path);
        ListSubDirs(path, dirs, depth + 1);
    }
}

// The first and last kEdgeBytes of a file; false when it cannot be read.
bool ReadEdges(const char* path, std::string& edges) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return false;
    try {
        edges.assign(2 * kEdgeBytes, '\0');
        const unsigned head = file.Read(edges.data(), kEdgeBytes);
        file.Seek(-static_cast<int64_t>(kEdgeBytes), CFile::end);
        const unsigned tail = file.Read(edges.data() + kEdgeBytes, kEdgeBytes);
        return head == kEdgeBytes && tail == kEdgeBytes;
    } catch (const CFileException&) {
        return false;
    }
}

// A directory of our own under the temporary directory, for an expansion
// that must not meet whatever others left in the shared one.
CString MakePrivateTempDir() {
    const CString pattern = CPub::AppendPath(CGlobalInfo::GetInstance().GetTempDir(), "orvex-XXXXXX");
    std::string name = codepage::SystemName(pattern).c_str();
    if (::mkdtemp(name.data()) == nullptr) return CString();
    // Only the six X changed, to ASCII letters and digits.
    return pattern.Left(pattern.GetLength() - 6) + name.substr(name.size() - 6).c_str();
}

// Versions compared field by field: negative when a is lower.
int CompareVersions(const int (&a)[4], const int (&b)[4]) {
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

// "%NAME%rest" as a directory: NAME's value joined with the rest, "" when
// there is no second '%' or no value.
CString ResolveVariable(const CString& entry, const CRegItem& environment) {
    const int second = entry.Find('%', 1);
    if (second < 0) return CString();
    const CString name = entry.Mid(1, second - 1);
    int type = 0;
    const CString value =
        name.CompareNoCase("SystemRoot") == 0 ? CPubEx::GetWindowDir() : environment.Env_Get(name, &type);
    return value.IsEmpty() ? value : CPub::AppendPath(value, entry.Mid(second + 1));
}

void FillSearchPath(CStringArray& dirs) {
    const CRegItem environment(HKEY_LOCAL_MACHINE);
    int type = 0;
    CPub::CString2Array(dirs, environment.Env_Get("Path", &type), ":", 1);
    for (int i = 0; i < dirs.GetSize();) {
        CString entry = dirs[i];
        if (!entry.IsEmpty() && entry.GetAt(0) == '%') entry = ResolveVariable(entry, environment);
        if (entry.IsEmpty()) {
            dirs.RemoveAt(i);
            continue;
        }
        dirs[i++] = entry;
    }
    const CGlobalInfo& info = CGlobalInfo::GetInstance();
    if (CPub::ArrayCompareNoCase(dirs, CPubEx::GetWindowDir(), 0) < 0)
        dirs.InsertAt(0, CPubEx::GetWindowDir());
    if (CPub::ArrayCompareNoCase(dirs, info.GetWindowsDir(), 0) < 0) dirs.InsertAt(0, info.GetWindowsDir());
    dirs.InsertAt(0, info.GetSystemDir());
}

}  // namespace

int CPubEx::Copy1File(const char* src, const char* dstDir, CString& dstPath, CString& error, int bNoExpand,
                      int bSkipSame) {
    dstPath.Empty();
    error.Empty();
    CString source = Text(src);
    CString dir = Text(dstDir);
    source.Trim();
    dir.Trim();
    if (source.IsEmpty()) {
        error = "Null source file to copy!\t";
        return 0;
    }
    if (dir.IsEmpty()) {
        error.Format("File %s copy to null directory!\t", Text(src).GetString());
        return 0;
    }
    if (!CPub::FileExists(source)) {
        error.Format("File %s not found!\t", Text(src).GetString());
        return 0;
    }
    CString name;
    CString rest;
    CPub::parseFilename(source, name, rest);
    dstPath = CPub::AppendPath(dir, name);
    if (bSkipSame && bNoExpand && CPub::FileExists(dstPath) &&
        CPub::CompareFileTimeSize(source, dstPath, 1, 1) == 0 && CompareFiles_Header_End(source, dstPath))
        return 1;

    const CGlobalInfo& info = CGlobalInfo::GetInstance();
    const bool inSystemDir = CPub::FindNoCase(dir, info.GetSystemDir()) == 0;
    bool expandInLoop = !bNoExpand && source.Right(1) == "_" && CPub::IsLZCompressedFile(source);
    CString expandedDir;  // a temporary expansion, removed at the end
    if (expandInLoop && inSystemDir) {
        expandedDir = MakePrivateTempDir();
        CString expanded;
        if (expandedDir.IsEmpty() || !CPub::LZCopyFile2Dir(source, expandedDir, expanded)) {
            error = expandedDir.IsEmpty() ? CString(std::strerror(errno)) : CPub::GetLastError();
            if (!expandedDir.IsEmpty()) ::rmdir(codepage::SystemName(expandedDir));
            return 0;
        }
        // The target is named as the expanded file, not as the compressed one.
        source = expanded;
        CPub::parseFilename(source, name, rest);
        dstPath = CPub::AppendPath(dir, name);
        expandInLoop = false;
    }

    bool done = false;
    for (int attempt = 0; attempt < kAttempts && !done; ++attempt) {
        if (attempt > 0) Pause();
        // An installed system file of the same time and size, or a newer one, stays.
        if (inSystemDir && CPub::FileExists(dstPath) &&
            (CPub::CompareFileTimeSize(source, dstPath, 1, 1) == 0 ||
             CPub::CompareFileTimeSize(source, dstPath, 0, 1) < 0)) {
            done = true;
            break;
        }
        if (expandInLoop) {
            if (CPub::LZCopyFile2Dir(source, dir, dstPath))
                done = true;
            else
                error = CPub::GetLastError();
            continue;
        }
        if (attempt > 0 && CPub::IsFileReadOnly(dstPath)) CPub::SetFileReadOnly(dstPath, 0);
        CString reason;
        int osError = 0;
        if (filecopy::CopyFile(source, dstPath, reason, osError)) {
            CPub::SetFileReadOnly(dstPath, 0);
            done = true;
        } else {
            CPub::SetLastError(osError);
            error.Format("File %s Copy Error!\t", source.GetString());
        }
    }
    if (!expandedDir.IsEmpty()) {
        Delete1File(source);
        ::rmdir(codepage::SystemName(expandedDir));
    }
    if (done) error.Empty();
    return done ? 1 : 0;
}

int CPubEx::Copy1FileWithAbortRetryIgnor(const char* src, const char* dstDir, CString& dstPath, int bNoExpand,
                                         int bSkipSame) {
    for (;;) {
        CString error;
        if (Copy1File(src, dstDir, dstPath, error, bNoExpand, bSkipSame)) return 1;
        const int answer =
            msgbox::Show(nullptr, error, nullptr, msgbox::kAbortRetryIgnore | msgbox::kIconExclamation);
        if (answer == msgbox::kIdIgnore) return 1;
        // Anything but Retry and Ignore ends it as Abort does.
        if (answer != msgbox::kIdRetry) return 0;
    }
}

int CPubEx::Copy1FileByVersion(const char* src, const char* dstDir, int bForce) {
    CString source = Text(src);
    source.Trim();
    CString name;
    CString rest;
    CPub::parseFilename(source, name, rest);
    const CString target = CPub::AppendPath(dstDir, name);
    if (!CPub::FileExists(source)) {
        CString text;
        text.Format("File %s not Found!\t", Text(src).GetString());
        msgbox::Show(nullptr, text, nullptr, msgbox::kOk);
        return 0;
    }
    const auto copy = [&] {
        CString dstPath;
        return Copy1FileWithAbortRetryIgnor(src, dstDir, dstPath, 1, 0);
    };
    if (!CPub::FileExists(target)) return copy() ? 2 : 0;
    int mine[4];
    int theirs[4];
    GetFileVersion(source, mine[0], mine[1], mine[2], mine[3]);
    GetFileVersion(target, theirs[0], theirs[1], theirs[2], theirs[3]);
    const int order = CompareVersions(mine, theirs);
    if (order > 0) return copy() ? 1 : 0;
    if (order < 0) return -2;
    if (!bForce) return -1;
    return copy() ? -1 : 0;
}

int CPubEx::GetFileVersion(const char* path, int& major, int& minor, int& build, int& revision) {
    major = minor = build = revision = 0;
    pe::FixedFileInfo info;
    if (path == nullptr || !pe::ReadFixedFileInfo(codepage::SystemName(path), info)) return 0;
    major = static_cast<int>(info.fileVersionMS >> 16);
    minor = static_cast<int>(info.fileVersionMS & 0xFFFF);
    build = static_cast<int>(info.fileVersionLS >> 16);
    revision = static_cast<int>(info.fileVersionLS & 0xFFFF);
    return 1;
}

int CPubEx::CompareFiles_Header_End(const char* a, const char* b) {
    CString sizeText;
    CString timeText;
    const long long size = CPub::GetFileTimeSize(a, sizeText, timeText);
    if (size < 0) return 0;
    if (size < kWholeCompareBelow) {
        CString first;
        CString second;
        return CPub::File2CString(first, a) && CPub::File2CString(second, b) && first == second ? 1 : 0;
    }
    std::string first;
    std::string second;
    return ReadEdges(a, first) && ReadEdges(b, second) && first == second ? 1 : 0;
}

CString CPubEx::GetWindowDir() { return CGlobalInfo::GetInstance().GetWindowsDir(); }

int CPubEx::File2CString(CString& text, const char* path) {
    CBuffer buffer(1024);
    CString name = Text(path);
    CString error;
    if (!buffer.ReadFile(name, 0, -1, error)) {
        m_LastError = error;
        return 0;
    }
    buffer.GetText(text);
    return 1;
}

int CPubEx::File2Array(CStringArray& lines, const char* path) {
    lines.RemoveAll();
    CString text;
    if (!File2CString(text, path)) return 0;
    // CR LF ends a line, and so does a lone LF, as files written here have it.
    // A line end closes its line: one at the end of the file starts no other.
    const std::string& s = text.str();
    for (size_t start = 0; start < s.size();) {
        const size_t end = s.find('\n', start);
        size_t stop = end == std::string::npos ? s.size() : end;
        if (end != std::string::npos && stop > start && s[stop - 1] == '\r') --stop;
        lines.Add(CString(s.substr(start, stop - start)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return 1;
}

int CPubEx::DeleteDirFiles(const char* dir, const char* pattern) {
    CString folder = Text(dir);
    CString mask = Text(pattern);
    // A pattern may name a folder below dir: "logs/*.txt".
    const int slash = mask.ReverseFind('/');
    if (slash >= 0) {
        folder = CPub::AppendPath(folder, mask.Left(slash));
        mask = mask.Mid(slash + 1);
    }
    const bool every = mask.IsEmpty() || mask == "*.*";
    int count = 0;
    for (const std::string& name : Entries(folder)) {
        const CString path = CPub::AppendPath(folder, name.c_str());
        if (IsDirectory(path)) continue;
        if (!every && ::fnmatch(mask, name.c_str(), FNM_CASEFOLD) != 0) continue;
        Delete1File(path);
        ++count;
    }
    return count;
}

int CPubEx::Delete1File(const char* path) {
    struct stat st {};
    // What is not there counts as deleted; so does a directory, which this never removes.
    const codepage::SystemName name(path);
    if (path == nullptr || ::lstat(name, &st) != 0 || S_ISDIR(st.st_mode)) return 1;
    // The link itself goes, never what it names; its mode is not touched either.
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) CPub::SetFileReadOnly(path, 0);
    int osError = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) Pause();
        if (::unlink(name) == 0 || errno == ENOENT) return 1;
        osError = errno;
    }
    CPub::SetLastError(osError);
    m_LastError.Format("%s: %s", path, CPub::GetLastError().GetString());
    return 0;
}

void CPubEx::GetSubDirs(const char* dir, CStringArray& dirs) {
    ListSubDirs(WithoutTrailingSlashes(dir), dirs, 0);
}

int CPubEx::DeleteDirOnly(const char* dir) {
    CStringArray dirs;
    const CString top = WithoutTrailingSlashes(dir);
    dirs.Add(top);
    ListSubDirs(top, dirs, 0);
    std::vector<CString> order(dirs.begin(), dirs.end());
    // Longest paths first, the first of equal lengths first: children go before parents.
    std::stable_sort(order.begin(), order.end(),
                     [](const CString& a, const CString& b) { return a.GetLength() > b.GetLength(); });
    int result = 1;
    for (const CString& path : order)
        if (::rmdir(codepage::SystemName(path)) != 0) result = 0;
    return result;
}

void CPubEx::GetPath(CStringArray& dirs) {
    // Read once per process; the environment's later changes are not seen.
    static CStringArray* cache = new CStringArray;
    static std::once_flag once;
    std::call_once(once, [] { FillSearchPath(*cache); });
    dirs.Copy(*cache);
}

const char* CPubEx::GetLastError() { return m_LastError.GetString(); }
