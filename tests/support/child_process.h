#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace norvex::test {

// A program started for a test; killed (SIGTERM, then SIGKILL) and reaped when destroyed.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program path.  env entries "NAME=value" are added to the inherited
    // environment.  When outputFile is not empty, stdout and stderr go there.  stdin is
    // inputFile, or /dev/null when it is empty.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& outputFile = {}, const std::string& inputFile = {});

    // Sends sig; returns false when no child runs.
    bool Signal(int sig) const;
    // Waits up to limit for the child to exit; returns its wait status, or -1 on time-out.
    int Wait(std::chrono::milliseconds limit);
    // SIGTERM, a short grace period, then SIGKILL; always reaps.
    void Stop();

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Runs a program to its end (at most limit) and returns its exit status, -1 when it did not
// start, did not end in time or was killed.  Its stdout and stderr land in *output if given.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               std::string* output = nullptr,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace norvex::test
