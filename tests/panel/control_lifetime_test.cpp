// The service control's start-up requests run on Qt's thread pool and use the gateway that the
// panel owns: the control may only go, and the gateway after it, once no request uses it any
// more.  Under AddressSanitizer a request that outlived its gateway is a use after free.
#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "panel/control_port.h"
#include "shell/group_gateway.h"
#include "support/recording_view.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;

// The group check waits until the test lets it answer; the gateway notes whether it was
// destroyed while a check was still under way.
struct Hold {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false, destroyedBusy = false;
};

class HeldGateway : public GroupGateway {
public:
    explicit HeldGateway(Hold& hold) : hold_(hold) {}
    ~HeldGateway() override {
        std::lock_guard lock(hold_.mutex);
        hold_.destroyedBusy = busy_;
    }
    std::optional<std::string> FetchGroupSerial(const std::string&, const std::string&) override {
        std::unique_lock lock(hold_.mutex);
        busy_ = true;
        hold_.entered = true;
        hold_.changed.notify_all();
        hold_.changed.wait_for(lock, 10s, [this] { return hold_.released; });
        busy_ = false;  // a write into the gateway after the wait
        return std::nullopt;
    }
    DeviceListOutcome FetchDevices(const std::string&, std::vector<RelayRecord>&) override {
        return DeviceListOutcome::kNoDevices;
    }
    void ReportDevice(const RelayRecord&) override {}

private:
    Hold& hold_;
    bool busy_ = false;
};

}  // namespace

class ControlLifetimeTest : public QObject {
    Q_OBJECT

private slots:
    // as when SIGTERM ends the panel while the start action waits for the group service
    void controlGoingDuringAStartWaitsForTheRequest() {
        Hold hold;
        QObject receiver;
        test::RecordingView view;
        auto gateway = std::make_unique<HeldGateway>(hold);
        auto control = std::make_unique<ServiceControl>(
            view, *gateway, "app", ServiceSite{}, SystemTickClock(), MakeQtOffThread(&receiver));
        PanelConfig config;
        config.groups.push_back({"7", "g", "pw"});
        QCOMPARE(control->Start(config, 0), StartOutcome::kPending);
        {
            std::unique_lock lock(hold.mutex);
            QVERIFY(hold.changed.wait_for(lock, 10s, [&] { return hold.entered; }));
        }
        std::thread answer([&] {
            std::this_thread::sleep_for(100ms);  // the control's end is under way meanwhile
            std::lock_guard lock(hold.mutex);
            hold.released = true;
            hold.changed.notify_all();
        });
        control.reset();
        gateway.reset();
        answer.join();
        QVERIFY(!hold.destroyedBusy);
    }
};

}  // namespace norvex

QTEST_GUILESS_MAIN(norvex::ControlLifetimeTest)
#include "control_lifetime_test.moc"
