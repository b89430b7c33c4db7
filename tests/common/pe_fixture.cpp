#include "common/pe_fixture.h"

#include "common/test_support.h"

#include <cstdio>

namespace testing_support {

bool RunShell(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
    return pclose(pipe) == 0;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string MissingPeTools() {
    std::string missing;
    std::string ignored;
    for (const char* tool : {"x86_64-w64-mingw32-windres", "x86_64-w64-mingw32-ld",
                             "i686-w64-mingw32-windres", "i686-w64-mingw32-ld", "cpp", "/usr/bin/python3"})
        if (!RunShell("command -v " + ShellQuote(tool), ignored))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    if (missing.empty() && !RunShell("/usr/bin/python3 -c 'import pefile'", ignored))
        missing = "the pefile module of /usr/bin/python3";
    return missing;
}

bool BuildPe(const std::string& arch, const std::string& rc, const std::string& path, std::string& output) {
    const std::string tools = arch + "-w64-mingw32-";
    const std::string script = SourceDir() + "/tests/data/pe/" + rc + ".rc";
    const std::string object = path + ".o";
    // The host's cpp stands in for the cross compiler windres would call to preprocess.
    return RunShell(tools + "windres --preprocessor=cpp -O coff -i " + ShellQuote(script) + " -o " +
                        ShellQuote(object),
                    output) &&
           RunShell(tools + "ld --dll -e 0 -s -o " + ShellQuote(path) + " " + ShellQuote(object), output);
}

}  // namespace testing_support
