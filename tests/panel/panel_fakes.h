#pragma once
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "panel/ui_ports.h"

namespace norvex::test {

struct ShownBox {
    QString caption, text;
    bool stopIcon = false;
};

// Message boxes that never block: they are recorded, and a question gets the next answer.
class RecordingBoxes : public MessageBoxes {
public:
    void Inform(QWidget*, const QString& caption, const QString& text, bool stopIcon) override {
        shown.push_back({caption, text, stopIcon});
        if (onInform) onInform();
    }
    bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
        asked.push_back({caption, text});
        if (onAsk) onAsk();
        return answer;
    }
    std::vector<ShownBox> shown;
    std::vector<ShownBox> asked;
    bool answer = true;
    std::function<void()> onInform;
    std::function<void()> onAsk;  // runs while the question is "open"
};

class FakeTray : public TrayIcon {
public:
    bool Available() const override { return available; }
    TrayHost Host() const override { return host; }
    void Show() override { ++shows, visible = true; }
    void Hide() override { visible = false; }
    void ShowBalloon(const QString& title, const QString& text) override {
        balloons.push_back({title, text});
    }
    bool available = true;
    TrayHost host = TrayHost::kXEmbed;
    bool visible = false;
    int shows = 0;
    std::vector<ShownBox> balloons;
};

class FakeDialogs : public GroupDialogs {
public:
    std::optional<GroupRecord> Login(QWidget*) override {
        ++logins;
        return loginAnswer;
    }
    void Details(QWidget*, const std::string& id, const std::string& password) override {
        details.push_back({id, "", password});
    }
    std::optional<GroupRecord> loginAnswer;
    int logins = 0;
    std::vector<GroupRecord> details;
};

// A service that never runs: the window's tray and keys without a control behind them.
class IdleService : public ServicePort {
public:
    bool StartAtLaunch(const PanelConfig&, int) override { return false; }
    bool StartStopClicked(const PanelConfig&, int) override { return false; }
    void ConfirmStop() override {}
    void OnTimer() override {}
    bool RunActive() const override { return false; }
    void StopAndWait() override {}
    void SetInTray(bool) override {}
};

// Runs `act` on the first modal dialog of type T once it shows (bounded).
template <typename T>
void WhenModal(std::function<void(T*)> act, int triesLeft = 500) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft] {
        if (auto* d = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            act(d);
        } else if (triesLeft > 0) {
            WhenModal<T>(act, triesLeft - 1);
        }
    });
}

}  // namespace norvex::test
