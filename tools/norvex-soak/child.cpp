#include "child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace norvex::soak {

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> out;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        std::string prefix = entry.substr(0, entry.find('=') + 1);
        bool overridden = false;
        for (const auto& o : overrides) overridden |= o.compare(0, prefix.size(), prefix) == 0;
        if (!overridden) out.push_back(entry);
    }
    out.insert(out.end(), overrides.begin(), overrides.end());
    return out;
}

}  // namespace

bool Child::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& outputFile) {
    if (pid_ > 0 || argv.empty()) return false;
    // Everything is built before fork: the child only makes async-signal-safe calls.
    std::vector<std::string> envStore = MergedEnvironment(env);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (!outputFile.empty()) {
            int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::close(fd);
            }
        }
        int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool Child::Signal(int sig) const {
    return pid_ > 0 && ::kill(pid_, sig) == 0;
}

int Child::Poll() {
    if (pid_ <= 0) return -1;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return -1;
    pid_ = -1;
    return status;
}

int Child::WaitFor(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = Poll();
        if (status != -1 || pid_ <= 0) return status;
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Child::Stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    Signal(SIGCONT);  // a stopped child could not act on SIGTERM
    Signal(SIGTERM);
    if (WaitFor(grace) != -1) return;
    Kill();
}

void Child::Kill() {
    if (pid_ <= 0) return;
    Signal(SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

}  // namespace norvex::soak
