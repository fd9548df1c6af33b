#pragma once
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/unique_fd.h"

namespace norvex::groupd {

struct FrontLimits {
    // Connections open at once; when full, the oldest one still sending its request is
    // dropped to make room, so that idle connections cannot keep a newcomer out.
    size_t maxConnections = 1024;
    // Connections open at once from one client address; a newcomer over it takes the place of
    // that address's oldest connection still sending its request (it is closed), so that idle
    // connections cannot lock their own address out.  Only when every one of them is being
    // answered is the newcomer closed at accept.
    size_t maxPerAddress = 32;
    // From accept to the end of the request's head, and to the end of its body.
    std::chrono::milliseconds headTimeout{5000};
    std::chrono::milliseconds requestTimeout{10000};
    // For a client that does not read its reply.
    std::chrono::milliseconds sendTimeout{5000};
    // Threads that answer complete requests.
    int workers = 4;
    // Threads of their own for the requests the front is told are slow (password hashing), so
    // that a burst of them never keeps the other pages waiting.
    int slowWorkers = 2;
};

// Serves HTTP/1.x for one answering function.  A single thread gathers every connection's
// request with poll(), so that a client that sends slowly or not at all holds no thread and
// costs only its bytes; only a complete request (head and body) goes to a worker, which
// answers it and closes the connection.
class RequestFront {
public:
    using Answer = std::function<void(const httplib::Request&, httplib::Response&)>;
    using IsSlow = std::function<bool(const httplib::Request&)>;

    // isSlow picks the requests for the slow workers; without it every request is fast.
    explicit RequestFront(Answer answer, FrontLimits limits = {}, IsSlow isSlow = {});
    RequestFront(const RequestFront&) = delete;
    RequestFront& operator=(const RequestFront&) = delete;

    // Listens on address:port (port 0 picks a free one); the port, or -1.
    int Bind(const std::string& address, int port);
    // Serves until Stop(); false when it cannot start.
    bool Run();
    // From any thread.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;

    // A connection whose request has not arrived whole yet.
    struct Pending {
        UniqueFd fd;
        std::string peer;  // the client's address, without the port
        Clock::time_point accepted;
        std::string bytes;
        int headLength = 0;  // 0 until the head has arrived
        size_t bodyLength = 0;
        httplib::Request request;
    };
    struct Job {
        UniqueFd fd;
        std::string peer;
        httplib::Request request;
    };

    struct JobQueue {
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<Job> jobs;
        bool closed = false;
    };

    enum class Progress { kWaiting, kHandedOver, kFinished };

    void AcceptAll();
    Progress ReadSome(Pending& p);
    bool Expired(const Pending& p, Clock::time_point now) const;
    // Takes a connection off the list; a finished one is closed and gives back its slot, a
    // handed-over one keeps its slot until its worker closes it.
    void Remove(size_t index, bool releaseSlot);
    int PollTimeoutMs(Clock::time_point now) const;

    bool TakeSlot(const std::string& peer);
    // Closes the oldest connection still sending (from peer, when given); false when none is.
    bool DropOldestPending(const std::string* peer);
    void ReleaseSlot(const std::string& peer);

    static void CloseQueue(JobQueue& queue);
    void Work(JobQueue& queue);
    void Respond(Job& job);

    Answer answer_;
    FrontLimits limits_;
    IsSlow isSlow_;
    UniqueFd listen_;
    UniqueFd wake_;
    std::atomic<bool> stop_{false};
    std::vector<Pending> pending_;  // owned by the polling thread

    std::mutex slotsMutex_;
    size_t open_ = 0;  // every connection not yet closed, pending, queued or with a worker
    std::unordered_map<std::string, size_t> perAddress_;

    JobQueue fastJobs_;
    JobQueue slowJobs_;
};

}  // namespace norvex::groupd
