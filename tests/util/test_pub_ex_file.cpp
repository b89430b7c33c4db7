// CPubEx's file operations in a temporary directory per test, the system
// directory pointed into it. CI runs as root, where permission bits stop
// nothing: failures are made with paths that cannot work for anyone (a path
// below a regular file), a file-size limit, or a child process that drops to
// an unprivileged user.
#include "common/pe_fixture.h"
#include "common/test_support.h"

#include <orvex.h>
#include <orvex/pub_ex.h>

#include "support/global_info.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

using testing_support::FileNames;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

// A temporary directory holding the system directory sys/lib (so the
// "Windows" directory is sys) and a temporary directory tmp.
class PubExFiles : public ::testing::Test {
protected:
    PubExFiles()
        : m_system("ORVEX_SYSTEM_DIR", (m_dir.path() + "/sys/lib").c_str()),
          m_tmp("TMPDIR", (m_dir.path() + "/tmp").c_str()) {
        fs::create_directories(Path("sys/lib"));
        fs::create_directories(Path("tmp"));
        CGlobalInfo::GetInstance().Reload();
    }
    ~PubExFiles() override {
        m_system.Restore();
        m_tmp.Restore();
        CGlobalInfo::GetInstance().Reload();
    }
    std::string Path(const std::string& name) const { return m_dir.Path(name); }
    // Writes a file dated `age` seconds ago.
    std::string Make(const std::string& name, const std::string& bytes, long age = 100) {
        fs::create_directories(fs::path(Path(name)).parent_path());
        WriteFile(Path(name), bytes);
        const time_t when = time(nullptr) - age;
        const utimbuf times{when, when};
        utime(Path(name).c_str(), &times);
        return Path(name);
    }

    TempDir m_dir;
    ScopedEnv m_system;
    ScopedEnv m_tmp;
};

// Answers the message boxes from a script of answers and keeps their texts.
struct Boxes {
    static std::vector<int>& Answers() {
        static std::vector<int> answers;
        return answers;
    }
    static std::vector<std::string>& Texts() {
        static std::vector<std::string> texts;
        return texts;
    }
    static int Answer(void* /*owner*/, const char* text, const char* /*caption*/, unsigned style) {
        Texts().push_back(std::to_string(style) + ":" + text);
        if (Answers().empty()) return 3;  // Abort
        const int answer = Answers().front();
        Answers().erase(Answers().begin());
        return answer;
    }
    explicit Boxes(std::vector<int> answers) {
        Answers() = std::move(answers);
        Texts().clear();
        Orvex_SetMessageBoxHandler(Answer);
    }
    ~Boxes() { Orvex_SetMessageBoxHandler(nullptr); }
};

TEST_F(PubExFiles, Copy1FileRefusesWhatItCannotCopy) {
    const std::string missing = Path("missing.txt");
    const struct {
        std::string src;
        std::string dir;
        std::string error;
    } cases[] = {
        {"   ", Path("out"), "Null source file to copy!\t"},
        {Make("a.txt", "a"), " \t", "File " + Path("a.txt") + " copy to null directory!\t"},
        {missing, Path("out"), "File " + missing + " not found!\t"},
    };
    for (const auto& c : cases) {
        CString dstPath = "old";
        CString error;
        EXPECT_EQ(CPubEx::Copy1File(c.src.c_str(), c.dir.c_str(), dstPath, error, 1, 0), 0);
        EXPECT_EQ(std::string(error), c.error);
        EXPECT_STREQ(dstPath, "");
    }
}

TEST_F(PubExFiles, Copy1FileKeepsTimeAndModeAndOvercomesReadOnly) {
    const std::string src = Make("src/data.bin", std::string("a\0b", 3), 5000);
    chmod(src.c_str(), 0640);
    fs::create_directories(Path("out"));
    WriteFile(Path("out/data.bin"), "old target");
    chmod(Path("out/data.bin").c_str(), 0444);  // read-only: the first attempt fails
    CString dstPath;
    CString error;
    ASSERT_EQ(CPubEx::Copy1File((" " + src + " ").c_str(), (Path("out") + " ").c_str(), dstPath, error, 1, 0),
              1)
        << error.GetString();
    EXPECT_EQ(std::string(dstPath), Path("out/data.bin"));
    EXPECT_EQ(ReadFile(Path("out/data.bin")), std::string("a\0b", 3));
    struct stat in {};
    struct stat out {};
    stat(src.c_str(), &in);
    stat(Path("out/data.bin").c_str(), &out);
    EXPECT_EQ(out.st_mtime, in.st_mtime);
    EXPECT_EQ(out.st_mode & 0777, 0640u);  // the source's mode, left writable
    EXPECT_EQ(FileNames(Path("out")), std::vector<std::string>{"data.bin"});
}

TEST_F(PubExFiles, AFailedCopyLeavesTheOldTargetAndNothingElse) {
    const std::string src = Make("big.bin", std::string(200000, 'n'));
    fs::create_directories(Path("out"));
    WriteFile(Path("out/big.bin"), "old");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    // A file-size limit in a child process: the disk is full for it alone.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        CString dstPath;
        CString error;
        const int result = CPubEx::Copy1File(src.c_str(), Path("out").c_str(), dstPath, error, 1, 0);
        (void)!write(out[1], error.GetString(), static_cast<size_t>(error.GetLength()));
        _exit(result);
    }
    close(out[1]);
    char text[512] = {};
    (void)!read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::string(text), "File " + src + " Copy Error!\t");
    EXPECT_EQ(ReadFile(Path("out/big.bin")), "old");
    EXPECT_EQ(FileNames(Path("out")), std::vector<std::string>{"big.bin"});

    // A directory below a regular file cannot be made by anyone.
    CString dstPath;
    CString error;
    EXPECT_EQ(CPubEx::Copy1File(src.c_str(), Path("big.bin/below").c_str(), dstPath, error, 1, 0), 0);
    EXPECT_EQ(std::string(error), "File " + src + " Copy Error!\t");
}

TEST_F(PubExFiles, Copy1FileSkipsAnIdenticalTarget) {
    // Same size and time, same first and last KiB: the middle is not compared.
    std::string bytes(5000, 'h');
    const std::string src = Make("src/same.bin", bytes);
    bytes[2500] = 'M';
    Make("out/same.bin", bytes);
    CString dstPath;
    CString error;
    ASSERT_EQ(CPubEx::Copy1File(src.c_str(), Path("out").c_str(), dstPath, error, 1, 1), 1);
    EXPECT_EQ(ReadFile(Path("out/same.bin")), bytes);
    // Without bSkipSame, or with a different head, it copies.
    bytes[0] = 'X';
    Make("out/same.bin", bytes);
    ASSERT_EQ(CPubEx::Copy1File(src.c_str(), Path("out").c_str(), dstPath, error, 1, 1), 1);
    EXPECT_EQ(ReadFile(Path("out/same.bin")), std::string(5000, 'h'));
}

TEST_F(PubExFiles, TheSystemDirectoryKeepsItsSameOrNewerFiles) {
    const std::string src = Make("src/lib.so", "new!", 1000);
    const struct {
        const char* name;
        std::string target;
        long age;
        bool replaced;
    } cases[] = {
        {"same time and size", "old!", 1000, false},
        {"newer target", "older and longer", 10, false},
        {"older target", "old", 5000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make("sys/lib/sub/lib.so", c.target, c.age);
        CString dstPath;
        CString error;
        ASSERT_EQ(CPubEx::Copy1File(src.c_str(), Path("sys/lib/sub").c_str(), dstPath, error, 1, 0), 1);
        EXPECT_EQ(ReadFile(Path("sys/lib/sub/lib.so")), c.replaced ? "new!" : c.target);
    }
}

TEST_F(PubExFiles, CompressedFilesAreExpanded) {
    // Compressed by Debian's mscompress, which appends '_' to the name.
    const std::string plain = std::string(3000, 'z') + "setup data\r\n";
    Make("src/setup.exe", plain);
    ASSERT_EQ(std::system(("mscompress " + Path("src/setup.exe")).c_str()), 0) << "mscompress is missing";
    const std::string packed = Path("src/setup.exe_");

    CString dstPath;
    CString error;
    fs::create_directories(Path("out"));
    ASSERT_EQ(CPubEx::Copy1File(packed.c_str(), Path("out").c_str(), dstPath, error, 0, 0), 1)
        << error.GetString();
    EXPECT_EQ(std::string(dstPath), Path("out/setup.exe"));
    EXPECT_EQ(ReadFile(Path("out/setup.exe")), plain);

    // Into the system directory through a temporary expansion that leaves nothing.
    ASSERT_EQ(CPubEx::Copy1File(packed.c_str(), Path("sys/lib").c_str(), dstPath, error, 0, 0), 1)
        << error.GetString();
    EXPECT_EQ(std::string(dstPath), Path("sys/lib/setup.exe"));
    EXPECT_EQ(ReadFile(Path("sys/lib/setup.exe")), plain);
    EXPECT_TRUE(fs::is_empty(Path("tmp")));

    // bNoExpand copies the compressed bytes as they are.
    fs::create_directories(Path("raw"));
    ASSERT_EQ(CPubEx::Copy1File(packed.c_str(), Path("raw").c_str(), dstPath, error, 1, 0), 1);
    EXPECT_EQ(ReadFile(Path("raw/setup.exe_")), ReadFile(packed));
}

TEST_F(PubExFiles, TheMessageBoxDecidesAfterAFailure) {
    const std::string missing = Path("missing.dll");
    const struct {
        std::vector<int> answers;
        int result;
        size_t boxes;
    } cases[] = {
        {{4, 5}, 1, 2},  // Retry, then Ignore
        {{4, 3}, 0, 2},  // Retry, then Abort
        {{3}, 0, 1},     // Abort
    };
    for (const auto& c : cases) {
        Boxes boxes(c.answers);
        CString dstPath;
        EXPECT_EQ(CPubEx::Copy1FileWithAbortRetryIgnor(missing.c_str(), Path("out").c_str(), dstPath, 1, 0),
                  c.result);
        ASSERT_EQ(Boxes::Texts().size(), c.boxes);
        EXPECT_EQ(Boxes::Texts().front(), "50:File " + missing + " not found!\t");
    }
    {
        Boxes boxes({});
        EXPECT_EQ(CPubEx::Copy1FileByVersion(missing.c_str(), Path("out").c_str(), 0), 0);
        EXPECT_EQ(Boxes::Texts(), std::vector<std::string>{"0:File " + missing + " not Found!\t"});
    }
    // Without a handler of the host's, the text goes to stderr and the answer is Abort.
    testing::internal::CaptureStderr();
    CString dstPath;
    EXPECT_EQ(CPubEx::Copy1FileWithAbortRetryIgnor(missing.c_str(), Path("out").c_str(), dstPath, 1, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "File " + missing + " not found!\t\n");
}

TEST_F(PubExFiles, FilesWithoutVersionsCompareEqual) {
    const std::string src = Make("src/tool.txt", "new");
    fs::create_directories(Path("out"));
    EXPECT_EQ(CPubEx::Copy1FileByVersion(src.c_str(), Path("out").c_str(), 0), 2);
    EXPECT_EQ(ReadFile(Path("out/tool.txt")), "new");
    WriteFile(Path("out/tool.txt"), "installed");
    EXPECT_EQ(CPubEx::Copy1FileByVersion(src.c_str(), Path("out").c_str(), 0), -1);
    EXPECT_EQ(ReadFile(Path("out/tool.txt")), "installed");
    EXPECT_EQ(CPubEx::Copy1FileByVersion(src.c_str(), Path("out").c_str(), 1), -1);
    EXPECT_EQ(ReadFile(Path("out/tool.txt")), "new");
    int v[4] = {9, 9, 9, 9};
    EXPECT_EQ(CPubEx::GetFileVersion(src.c_str(), v[0], v[1], v[2], v[3]), 0);
    EXPECT_EQ(v[0] + v[1] + v[2] + v[3], 0);
}

// A copy of a PE file with another file version written into its fixed
// file information (found by its signature).
std::string WithVersion(const std::string& pe, uint32_t ms, uint32_t ls) {
    std::string bytes = pe;
    const size_t at = bytes.find("\xBD\x04\xEF\xFE");
    if (at == std::string::npos || at + 16 > bytes.size()) return {};
    for (int i = 0; i < 4; ++i) {
        bytes[at + 8 + i] = static_cast<char>(ms >> (8 * i));
        bytes[at + 12 + i] = static_cast<char>(ls >> (8 * i));
    }
    return bytes;
}

TEST_F(PubExFiles, VersionsDecideTheCopy) {
    const std::string missing = testing_support::MissingPeTools();
    if (!missing.empty()) GTEST_SKIP() << "PE fixtures need " << missing;
    std::string output;
    for (const char* arch : {"i686", "x86_64"}) {
        ASSERT_TRUE(testing_support::BuildPe(arch, "version", Path(std::string(arch) + ".dll"), output))
            << output;
        int v[4];
        ASSERT_EQ(CPubEx::GetFileVersion(Path(std::string(arch) + ".dll").c_str(), v[0], v[1], v[2], v[3]),
                  1);
        EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{1, 2, 3, 4})) << arch;
    }
    ASSERT_TRUE(testing_support::BuildPe("i686", "no_version", Path("plain.dll"), output)) << output;
    const std::string pe = ReadFile(Path("i686.dll"));
    const std::string v1234 = WithVersion(pe, 0x00010002, 0x00030004);
    const struct {
        const char* name;
        std::string source;
        std::string target;  // "" for none
        int bForce;
        int result;
        bool copied;
    } cases[] = {
        {"no target", v1234, "", 0, 2, true},
        {"higher", WithVersion(pe, 0x00010002, 0x00030005), v1234, 0, 1, true},
        {"lower", v1234, WithVersion(pe, 0x00010003, 0), 0, -2, false},
        {"equal", v1234, v1234, 0, -1, false},
        {"equal, forced", v1234, v1234, 1, -1, true},
        {"target without a version", v1234, ReadFile(Path("plain.dll")), 0, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        // Sources newer than targets, so that a copy shows in the time too.
        const std::string src = Make("src/lib.dll", c.source, 10);
        // Bytes after the image mark the installed file without touching its version.
        if (!c.target.empty()) WriteFile(out.Path("lib.dll"), c.target + "installed");
        EXPECT_EQ(CPubEx::Copy1FileByVersion(src.c_str(), out.path().c_str(), c.bForce), c.result);
        EXPECT_EQ(ReadFile(out.Path("lib.dll")) == c.source, c.copied);
    }
}

TEST_F(PubExFiles, NamesInTheCodePageReachTheFileSystemAsUtf8) {
    // The file system and the environment speak UTF-8; the library's texts are CP1252.
    fs::create_directories(Path("t\xC3\xA9mp"));
    ScopedEnv tmp("TMPDIR", Path("t\xC3\xA9mp").c_str());
    testing_support::ScopedCodePage cp("CP1252");
    CGlobalInfo::GetInstance().Reload();
    Make("d/caf\xC3\xA9.txt", "x");
    Make("d/sub\xC3\xA9/x.txt", "y");
    CStringArray dirs;
    CPubEx::GetSubDirs(Path("d").c_str(), dirs);
    EXPECT_EQ(std::vector<CString>(dirs.begin(), dirs.end()),
              std::vector<CString>{Path("d/sub\xE9").c_str()});
    EXPECT_EQ(CPubEx::DeleteDirFiles(Path("d").c_str(), "caf*"), 1);
    EXPECT_EQ(CPubEx::Delete1File(Path("d/sub\xE9/x.txt").c_str()), 1);
    EXPECT_EQ(CPubEx::DeleteDirOnly(Path("d").c_str()), 1);
    EXPECT_FALSE(fs::exists(Path("d")));

    // Into the system directory through an expansion in a directory of its own under TMPDIR.
    const std::string plain = std::string(3000, 'z') + "expanded\r\n";  // mscompress mangles tiny files
    Make("src/r\xC3\xA9.dat", plain);
    ASSERT_EQ(std::system(("mscompress " + testing_support::ShellQuote(Path("src/r\xC3\xA9.dat"))).c_str()),
              0);
    CString dstPath;
    CString error;
    ASSERT_EQ(
        CPubEx::Copy1File(Path("src/r\xE9.dat_").c_str(), Path("sys/lib").c_str(), dstPath, error, 0, 0), 1)
        << error.GetString();
    EXPECT_EQ(std::string(dstPath), Path("sys/lib/r\xE9.dat"));
    EXPECT_EQ(ReadFile(Path("sys/lib/r\xC3\xA9.dat")), plain);
    EXPECT_TRUE(fs::is_empty(Path("t\xC3\xA9mp")));

    const std::string missing = testing_support::MissingPeTools();
    if (!missing.empty()) GTEST_SKIP() << "PE fixtures need " << missing;
    std::string output;
    ASSERT_TRUE(testing_support::BuildPe("i686", "version", Path("v\xC3\xA9.dll"), output)) << output;
    int v[4];
    EXPECT_EQ(CPubEx::GetFileVersion(Path("v\xE9.dll").c_str(), v[0], v[1], v[2], v[3]), 1);
}

TEST_F(PubExFiles, WholeFilesAndLines) {
    // One entry per line: a line end at the end of the file starts no other line.
    const struct {
        const char* name;
        std::string bytes;
        std::vector<CString> lines;
    } files[] = {
        {"crlf.txt", "one\r\ntwo\r\n\r\nlast", {"one", "two", "", "last"}},
        {"crlf-end.txt", "one\r\ntwo\r\nthree\r\n", {"one", "two", "three"}},
        {"lf.txt", "\xEF\xBB\xBFone\ntwo\n", {"one", "two"}},
        {"utf16.txt", std::string("\xFF\xFEo\0n\0e\0\r\0\n\0t\0w\0o\0\r\0\n\0", 18), {"one", "two"}},
        {"blank-lines.txt", "\r\n\r\n", {"", ""}},
        {"empty.txt", "", {}},
    };
    CStringArray lines;
    for (const auto& f : files) {
        Make(f.name, f.bytes);
        ASSERT_EQ(CPubEx::File2Array(lines, Path(f.name).c_str()), 1) << f.name;
        EXPECT_EQ(std::vector<CString>(lines.begin(), lines.end()), f.lines) << f.name;
    }

    CString text = "kept";
    EXPECT_EQ(CPubEx::File2CString(text, Path("none.txt").c_str()), 0);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(std::string(CPubEx::GetLastError()), Path("none.txt") + ": No such file or directory");
    EXPECT_EQ(CPubEx::File2Array(lines, Path("none.txt").c_str()), 0);
    EXPECT_EQ(lines.GetSize(), 0);
    // A success leaves the last failure's text.
    EXPECT_EQ(CPubEx::File2CString(text, Path("crlf.txt").c_str()), 1);
    EXPECT_EQ(std::string(CPubEx::GetLastError()), Path("none.txt") + ": No such file or directory");
}

TEST_F(PubExFiles, Delete1FileRemovesFilesAndLinksOnly) {
    Make("keep/target.txt", "stays");
    Make("d/ro.txt", "read-only");
    chmod(Path("d/ro.txt").c_str(), 0444);
    symlink(Path("keep/target.txt").c_str(), Path("d/link").c_str());
    symlink(Path("nowhere").c_str(), Path("d/dangling").c_str());
    for (const char* name : {"d/ro.txt", "d/link", "d/dangling", "d/never-there"})
        EXPECT_EQ(CPubEx::Delete1File(Path(name).c_str()), 1) << name;
    EXPECT_TRUE(fs::is_empty(Path("d")));
    EXPECT_EQ(ReadFile(Path("keep/target.txt")), "stays");
}

// Runs Delete1File as user nobody on a file in a directory root owns; the
// directory is opened to everyone after `openAfterMs` (never when negative).
std::pair<int, std::string> DeleteAsNobody(const std::string& dir, const std::string& file, int openAfterMs) {
    int out[2];
    if (pipe(out) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        const int result = CPubEx::Delete1File(file.c_str());
        const std::string text = CPubEx::GetLastError();
        (void)!write(out[1], text.data(), text.size());
        _exit(result);
    }
    close(out[1]);
    if (openAfterMs >= 0) {
        usleep(static_cast<useconds_t>(openAfterMs) * 1000);
        chmod(dir.c_str(), 0777);
    }
    std::string text(512, '\0');
    text.resize(static_cast<size_t>(std::max<ssize_t>(0, read(out[0], text.data(), text.size()))));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(PubExFiles, Delete1FileRetriesThenReportsTheReason) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    chmod(m_dir.path().c_str(), 0755);
    Make("locked/f.txt", "x");
    chmod(Path("locked").c_str(), 0755);
    const auto [failed, text] = DeleteAsNobody(Path("locked"), Path("locked/f.txt"), -1);
    ASSERT_NE(failed, 99) << "cannot become nobody";
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(text, Path("locked/f.txt") + ": Permission denied");
    EXPECT_TRUE(fs::exists(Path("locked/f.txt")));
    // Opened while the retries run: a later try succeeds.
    const auto [done, ignored] = DeleteAsNobody(Path("locked"), Path("locked/f.txt"), 300);
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(fs::exists(Path("locked/f.txt")));
}

TEST_F(PubExFiles, DeleteDirFilesLeavesDirectoriesAndLinkedFiles) {
    Make("keep/outside.txt", "stays");
    for (const char* name : {"d/a.txt", "d/B.TXT", "d/c.log", "d/.hidden", "d/sub/inner.txt"})
        Make(name, name);
    symlink(Path("keep/outside.txt").c_str(), Path("d/link.txt").c_str());
    symlink(Path("keep").c_str(), Path("d/linked-dir").c_str());
    EXPECT_EQ(CPubEx::DeleteDirFiles(Path("d").c_str(), "*.txt"), 3);  // a.txt, B.TXT, link.txt
    EXPECT_EQ(FileNames(Path("d")), (std::vector<std::string>{".hidden", "c.log", "linked-dir", "sub"}));
    EXPECT_EQ(CPubEx::DeleteDirFiles(Path("d").c_str(), ""), 3);
    EXPECT_EQ(FileNames(Path("d")), std::vector<std::string>{"sub"});
    EXPECT_EQ(FileNames(Path("keep")), std::vector<std::string>{"outside.txt"});
    EXPECT_EQ(CPubEx::DeleteDirFiles(Path("d").c_str(), "sub/*.*"), 1);
    EXPECT_TRUE(fs::is_empty(Path("d/sub")));
}

TEST_F(PubExFiles, SubDirectoriesAreListedWithoutFollowingLinks) {
    for (const char* name : {"t/b/c", "t/a", "t/b/d"}) fs::create_directories(Path(name));
    Make("t/b/file.txt", "f");
    symlink(Path("t").c_str(), Path("t/b/c/loop").c_str());
    symlink(Path("keep").c_str(), Path("t/out").c_str());
    CStringArray dirs;
    dirs.Add("kept");
    CPubEx::GetSubDirs((Path("t") + "//").c_str(), dirs);
    EXPECT_EQ(std::vector<CString>(dirs.begin(), dirs.end()),
              (std::vector<CString>{"kept", Path("t/a").c_str(), Path("t/b").c_str(), Path("t/b/c").c_str(),
                                    Path("t/b/d").c_str()}));
}

TEST_F(PubExFiles, DeleteDirOnlyRemovesEmptyDirectoriesOnly) {
    for (const char* name : {"e/x/y/z", "e/w"}) fs::create_directories(Path(name));
    EXPECT_EQ(CPubEx::DeleteDirOnly(Path("e").c_str()), 1);
    EXPECT_FALSE(fs::exists(Path("e")));

    for (const char* name : {"f/x/y", "f/w"}) fs::create_directories(Path(name));
    Make("f/x/file.txt", "stays");
    EXPECT_EQ(CPubEx::DeleteDirOnly(Path("f").c_str()), 0);
    EXPECT_EQ(FileNames(Path("f")), std::vector<std::string>{"x"});
    EXPECT_EQ(FileNames(Path("f/x")), std::vector<std::string>{"file.txt"});
}

TEST_F(PubExFiles, ThePathPutsTheSystemDirectoriesFirst) {
    ScopedEnv path("PATH", " /usr/bin ::%ORVEX_T%/x:%SystemRoot%/sbin:%ORVEX_NONE%/y:%bad:/opt/bin");
    ScopedEnv variable("ORVEX_T", "/t");
    const std::string sys = Path("sys");
    EXPECT_EQ(std::string(CPubEx::GetWindowDir()), sys);
    CStringArray dirs;
    dirs.Add("replaced");
    CPubEx::GetPath(dirs);
    const std::vector<CString> expected{(sys + "/lib").c_str(),  sys.c_str(), "/usr/bin", "/t/x",
                                        (sys + "/sbin").c_str(), "/opt/bin"};
    EXPECT_EQ(std::vector<CString>(dirs.begin(), dirs.end()), expected);
    // Read once: a changed environment is not seen.
    path.Restore();
    CPubEx::GetPath(dirs);
    EXPECT_EQ(std::vector<CString>(dirs.begin(), dirs.end()), expected);
}

}  // namespace
