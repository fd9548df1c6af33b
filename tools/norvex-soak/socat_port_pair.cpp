#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "child.h"
#include "port_pair.h"

namespace norvex::soak {

namespace {

class SocatPortPair : public PortPair {
public:
    SocatPortPair(const std::string& socat, const std::string& dir, int index)
        : socat_(socat),
          app_(dir + "/ttyApp" + std::to_string(index)),
          net_(dir + "/ttyNet" + std::to_string(index)),
          log_(dir + "/socat" + std::to_string(index) + ".log") {}

    bool Start() override {
        proc_.Kill();
        ::unlink(app_.c_str());
        ::unlink(net_.c_str());
        if (!proc_.Start({socat_, "pty,raw,echo=0,link=" + app_, "pty,raw,echo=0,link=" + net_}, {},
                         log_)) {
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        struct stat st {};
        while (::stat(app_.c_str(), &st) != 0 || ::stat(net_.c_str(), &st) != 0) {
            if (std::chrono::steady_clock::now() > deadline || proc_.Poll() != -1) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void HangUp() override { proc_.Kill(); }
    std::string AppPath() const override { return app_; }
    std::string NetPath() const override { return net_; }
    int Pid() const override { return proc_.Pid(); }

private:
    std::string socat_;
    std::string app_;
    std::string net_;
    std::string log_;
    Child proc_;
};

}  // namespace

std::unique_ptr<PortPair> MakeSocatPortPair(const std::string& socat, const std::string& dir,
                                            int index) {
    return std::make_unique<SocatPortPair>(socat, dir, index);
}

}  // namespace norvex::soak
