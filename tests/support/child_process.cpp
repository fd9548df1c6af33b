#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "support/text_file.h"

extern char** environ;

namespace norvex::test {

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputFile, const std::string& inputFile) {
    if (pid_ > 0 || argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The environment is built before fork: only async-signal-safe calls are made in the child.
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        bool overridden = false;
        for (const auto& o : env) overridden |= o.compare(0, name.size() + 1, name + "=") == 0;
        if (!overridden) envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* input = inputFile.empty() ? "/dev/null" : inputFile.c_str();
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (!outputFile.empty()) {
            int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::close(fd);
            }
        }
        int in = ::open(input, O_RDONLY | O_CLOEXEC);
        if (in >= 0) ::dup2(in, 0);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool ChildProcess::Signal(int sig) const {
    return pid_ > 0 && ::kill(pid_, sig) == 0;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    Signal(SIGTERM);
    if (Wait(std::chrono::milliseconds(3000)) != -1) return;
    Signal(SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               std::string* output, std::chrono::milliseconds limit) {
    char tmpl[] = "/tmp/norvex-run-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd >= 0) ::close(fd);
    ChildProcess p;
    if (!p.Start(argv, env, tmpl)) return -1;
    int status = p.Wait(limit);
    if (output) *output = ReadTextFile(tmpl);
    ::unlink(tmpl);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace norvex::test
