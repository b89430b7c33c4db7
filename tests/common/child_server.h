// A test server run as a child process: started with its arguments, read
// until it prints its first line (the ports it took), stopped by pid.
#ifndef ORVEX_TESTS_CHILD_SERVER_H
#define ORVEX_TESTS_CHILD_SERVER_H

#include <string>
#include <vector>

namespace testing_support {

// Requests must reach 127.0.0.1 directly, whatever proxy the machine names.
void BypassProxies();

class ChildServer {
public:
    ChildServer() = default;
    ~ChildServer() { Stop(); }
    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;

    // Runs /usr/bin/python3 with the arguments and returns the child's first
    // output line; throws when it prints none within 30 s.
    std::string StartPython(const std::vector<std::string>& arguments);
    // The same for a program given by its path.
    std::string StartProgram(const std::string& path, const std::vector<std::string>& arguments);
    void Stop();

private:
    int m_nPid = -1;
};

}  // namespace testing_support

#endif
