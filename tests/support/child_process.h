#pragma once
// A program started by a test, with its standard output in a file; killed
// and reaped at the end of the scope at the latest.
#include <string>
#include <vector>

namespace hcytest {

class ChildProcess {
public:
    // Starts argv[0] (a path) with argv; throws when it cannot.
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends SIGKILL (or `signal`) and waits for the end; the exit status, or
    // -1 when it had already been reaped.
    int Kill(int signal = 9);

private:
    int pid_ = -1;
};

}  // namespace hcytest
