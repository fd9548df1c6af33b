#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fullstack_rig.h"
#include "support/child_process.h"

namespace norvex::test {

// One poll as mbpoll printed it: the unit asked, the register values of its answer by reference
// number, or why it failed.
struct MbpollPoll {
    int unit = 0;
    std::map<int, long> values;
    std::string failure;
    bool Ok() const { return failure.empty() && !values.empty(); }
};

// mbpoll's output cut into polls ("-- Polling slave N..." opens one).
std::vector<MbpollPoll> ParseMbpollOutput(const std::string& text);

// Holding register 0 of each slave counts the requests it answered; a poll's answer is fresh
// when that count matches the number of polls of its unit so far, taking the first answered
// poll as the reference.  Returns, per poll of unit, whether it got a fresh answer.
std::vector<bool> FreshAnswers(const std::vector<MbpollPoll>& polls, int unit);

// A Modbus RTU slave of our own (modbus_slave) behind a pty line whose link a relay opens.
class ModbusSlave {
public:
    ModbusSlave(const std::string& link, int unit, const std::string& log);
    bool Ready();  // waits for its "ready" line
    // Holding registers as the slave holds them now (asked with SIGUSR1); empty on failure.
    std::vector<long> Registers();
    // The writes it carried out, "write REF COUNT: V..." lines.
    std::vector<std::string> Writes() const;
    const std::string& Link() const { return link_; }
    ChildProcess& Proc() { return proc_; }

private:
    std::string link_;
    std::string log_;
    ChildProcess proc_;
};

// What norvexd runs with besides its port: the request/response profile or the default rules.
struct ModbusRigOptions {
    std::vector<std::string> norvexdArgs;
};

// The whole chain: mosquitto, norvex-groupd, norvexd with a virtual port, two relays of one
// group, each on its own pty line, and behind relay N the slave with unit id N.
class ModbusRig {
public:
    explicit ModbusRig(const ModbusRigOptions& options);
    // Everything started, connected and subscribed.
    bool Ok() const { return ok_; }
    std::string Why() const;

    // The path a Modbus master opens: norvexd's virtual port.
    const std::string& Port() const { return port_; }
    GroupRig& Group() { return group_; }
    ModbusSlave& Slave(int unit) { return *slaves_.at(unit - 1); }
    ChildProcess& Relay(int unit) { return *relays_.at(unit - 1); }
    ChildProcess& Norvexd() { return norvexd_; }
    std::string NorvexdLog() const;
    // norvexd's broker connections since the rig started.
    size_t BrokerLinks() const;
    // Waits for norvexd's n-th broker connection since the rig started.
    bool WaitBrokerLink(size_t times, std::chrono::milliseconds limit);
    // Waits until both slaves answer a read through the whole chain (relays connected and
    // subscribed); the port must be free.
    bool WaitAnswers(std::chrono::milliseconds limit);

private:
    bool StartRelay(int unit);

    GroupRig group_;
    std::string port_;
    std::vector<std::unique_ptr<ModbusSlave>> slaves_;
    std::vector<std::unique_ptr<ChildProcess>> relays_;
    ChildProcess norvexd_;
    std::string why_;
    bool ok_ = false;
};

// mbpoll in RTU mode on port, line settings as norvexd's virtual port, the given options after
// them and the values to write (none: it reads) after the port.  RunMbpoll waits for its end
// (bounded) and returns its exit status, -1 when it did not end.
std::vector<std::string> MbpollCommand(const std::string& port,
                                       const std::vector<std::string>& options,
                                       const std::vector<long>& writeValues = {});
int RunMbpoll(const std::string& port, const std::vector<std::string>& options, std::string* output,
              const std::vector<long>& writeValues = {});

// mbpoll polling without end, its output in a file, stopped (SIGINT) on Stop or destruction.
class MbpollPoller {
public:
    MbpollPoller(const std::string& port, const std::vector<std::string>& args,
                 const std::string& log);
    ~MbpollPoller() { Stop(); }
    bool Started() const { return started_; }
    std::vector<MbpollPoll> Polls() const;
    // Waits until at least n polls have been printed in full.
    bool WaitPolls(size_t n, std::chrono::milliseconds limit) const;
    void Stop();

private:
    std::string log_;
    ChildProcess proc_;
    bool started_ = false;
};

}  // namespace norvex::test
