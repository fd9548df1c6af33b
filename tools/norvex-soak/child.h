#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace norvex::soak {

// A program the soak started; killed and reaped when destroyed.
class Child {
public:
    Child() = default;
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // argv[0] is the program path; env entries "NAME=value" override the inherited environment;
    // stdout and stderr go to outputFile (appended) when it is not empty.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& outputFile = {});
    bool Signal(int sig) const;
    // The wait status once the child has ended (and is reaped), -1 while it runs or none was
    // started.
    int Poll();
    // Polls until the child ends or the limit passes.
    int WaitFor(std::chrono::milliseconds limit);
    // SIGTERM, up to grace for the end, then SIGKILL.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    void Kill();

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

}  // namespace norvex::soak
