// Small PE files with or without a version resource, built at test time from
// the resource scripts in tests/data/pe/ by Debian's mingw-w64 binutils, so
// the format is the one real tools write.
#ifndef ORVEX_TESTS_PE_FIXTURE_H
#define ORVEX_TESTS_PE_FIXTURE_H

#include <string>

namespace testing_support {

// Runs a shell command with its output (stdout and stderr) in output; true when it exits 0.
bool RunShell(const std::string& command, std::string& output);
std::string ShellQuote(const std::string& text);

// The tools missing to build and check fixtures, "" when none is.
std::string MissingPeTools();

// Builds tests/data/pe/<rc>.rc for arch (i686: PE32, x86_64: PE32+) into
// path, a DLL without code; false with the tools' output in output.
bool BuildPe(const std::string& arch, const std::string& rc, const std::string& path, std::string& output);

}  // namespace testing_support

#endif
