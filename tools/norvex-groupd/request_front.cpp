#include "request_front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "reply_bytes.h"
#include "request_head.h"

namespace norvex::groupd {

namespace {

constexpr int kListenBacklog = 511;
constexpr size_t kReadChunk = 16 * 1024;
// Accepts per wake-up, so that a burst of connections cannot starve the waiting ones.
constexpr int kAcceptBatch = 64;
constexpr int kMaxPollWaitMs = 1000;

std::string PeerAddress(const sockaddr_storage& a) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
    } else if (a.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text,
                    sizeof text);
    }
    return text;
}

// One try, never waiting: the polling thread must not block on a client.
void SendNow(int fd, const std::string& bytes) {
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void SendAll(int fd, const std::string& bytes, std::chrono::milliseconds limit) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval tv{static_cast<time_t>(limit.count() / 1000),
               static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // gone, or not reading within the limit
        sent += static_cast<size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
}

}  // namespace

// The wake-up exists before any thread may call Stop().
RequestFront::RequestFront(Answer answer, FrontLimits limits, IsSlow isSlow)
    : answer_(std::move(answer)),
      limits_(limits),
      isSlow_(std::move(isSlow)),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

int RequestFront::Bind(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return -1;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    for (const addrinfo* ai = found; ai; ai = ai->ai_next) {
        UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        int yes = 1;
        if (!fd || ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
            ::bind(fd.Get(), ai->ai_addr, ai->ai_addrlen) != 0 ||
            ::listen(fd.Get(), kListenBacklog) != 0) {
            continue;
        }
        sockaddr_storage bound{};
        socklen_t len = sizeof bound;
        if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &len) != 0) continue;
        listen_ = std::move(fd);
        return ntohs(bound.ss_family == AF_INET6
                         ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                         : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    }
    return -1;
}

bool RequestFront::Run() {
    if (!listen_ || !wake_) return false;
    std::vector<std::thread> workers;
    for (int i = 0; i < std::max(1, limits_.workers); ++i) {
        workers.emplace_back([this] { Work(fastJobs_); });
    }
    for (int i = 0; isSlow_ && i < std::max(1, limits_.slowWorkers); ++i) {
        workers.emplace_back([this] { Work(slowJobs_); });
    }

    std::vector<pollfd> fds;
    while (!stop_.load(std::memory_order_acquire)) {
        fds.assign({{wake_.Get(), POLLIN, 0}, {listen_.Get(), POLLIN, 0}});
        for (const Pending& p : pending_) fds.push_back({p.fd.Get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), PollTimeoutMs(Clock::now())) < 0 && errno != EINTR) {
            break;
        }
        // backwards: Remove moves the last connection into the freed place
        const auto now = Clock::now();
        for (size_t i = pending_.size(); i-- > 0;) {
            const short ready = fds[i + 2].revents;
            Progress step = ready                       ? ReadSome(pending_[i])
                            : Expired(pending_[i], now) ? Progress::kFinished
                                                        : Progress::kWaiting;
            if (step != Progress::kWaiting) Remove(i, step == Progress::kFinished);
        }
        if (fds[1].revents) AcceptAll();
    }

    CloseQueue(fastJobs_);
    CloseQueue(slowJobs_);
    for (std::thread& t : workers) t.join();
    pending_.clear();
    return true;
}

void RequestFront::Stop() {
    stop_.store(true, std::memory_order_release);
    uint64_t one = 1;
    if (wake_) (void)!::write(wake_.Get(), &one, sizeof one);
}

int RequestFront::PollTimeoutMs(Clock::time_point now) const {
    auto soonest = now + std::chrono::milliseconds(kMaxPollWaitMs);
    for (const Pending& p : pending_) {
        auto limit = p.headLength ? limits_.requestTimeout : limits_.headTimeout;
        soonest = std::min(soonest, p.accepted + limit);
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(soonest - now).count();
    return static_cast<int>(std::clamp<int64_t>(wait + 1, 0, kMaxPollWaitMs));
}

bool RequestFront::Expired(const Pending& p, Clock::time_point now) const {
    return now - p.accepted >= (p.headLength ? limits_.requestTimeout : limits_.headTimeout);
}

void RequestFront::AcceptAll() {
    for (int i = 0; i < kAcceptBatch; ++i) {
        sockaddr_storage from{};
        socklen_t len = sizeof from;
        UniqueFd fd(::accept4(listen_.Get(), reinterpret_cast<sockaddr*>(&from), &len,
                              SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) return;  // nothing more waiting (or out of descriptors: tried again later)
        std::string peer = PeerAddress(from);
        if (!TakeSlot(peer)) continue;  // closed at once
        Pending& p = pending_.emplace_back();
        p.fd = std::move(fd);
        p.peer = std::move(peer);
        p.accepted = Clock::now();
    }
}

bool RequestFront::TakeSlot(const std::string& peer) {
    bool addressFull;
    bool full;
    {
        std::lock_guard lock(slotsMutex_);
        auto it = perAddress_.find(peer);
        addressFull = it != perAddress_.end() && it->second >= limits_.maxPerAddress;
        full = open_ >= limits_.maxConnections;
    }
    // every slot being answered: the newcomer waits for them by being closed
    if (addressFull && !DropOldestPending(&peer)) return false;
    if (!addressFull && full && !DropOldestPending(nullptr)) return false;
    std::lock_guard lock(slotsMutex_);
    ++open_;
    ++perAddress_[peer];
    return true;
}

bool RequestFront::DropOldestPending(const std::string* peer) {
    auto oldest = pending_.end();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (peer && it->peer != *peer) continue;
        if (oldest == pending_.end() || it->accepted < oldest->accepted) oldest = it;
    }
    if (oldest == pending_.end()) return false;
    Remove(static_cast<size_t>(oldest - pending_.begin()), true);
    return true;
}

void RequestFront::ReleaseSlot(const std::string& peer) {
    std::lock_guard lock(slotsMutex_);
    --open_;
    auto it = perAddress_.find(peer);
    if (it != perAddress_.end() && --it->second == 0) perAddress_.erase(it);
}

void RequestFront::Remove(size_t index, bool releaseSlot) {
    Pending gone = std::move(pending_[index]);
    if (index + 1 != pending_.size()) pending_[index] = std::move(pending_.back());
    pending_.pop_back();
    gone.fd.Close();
    if (releaseSlot) ReleaseSlot(gone.peer);
}

RequestFront::Progress RequestFront::ReadSome(Pending& p) {
    const size_t cap = kMaxHeadBytes + kMaxBodyBytes;
    char buf[kReadChunk];
    ssize_t n = ::recv(p.fd.Get(), buf, std::min(sizeof buf, cap - p.bytes.size()), 0);
    if (n < 0) {
        bool retry = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        return retry ? Progress::kWaiting : Progress::kFinished;
    }
    if (n == 0) return Progress::kFinished;  // the client gave up before its request was whole
    p.bytes.append(buf, static_cast<size_t>(n));
    if (p.headLength == 0) {
        int r = ParseRequestHead(p.bytes, &p.request, &p.bodyLength);
        if (r < 0) {
            SendNow(p.fd.Get(), StatusOnlyReply(HeadErrorStatus(r)));
            return Progress::kFinished;
        }
        if (r == 0) return Progress::kWaiting;
        p.headLength = r;
    }
    const size_t whole = static_cast<size_t>(p.headLength) + p.bodyLength;
    if (p.bytes.size() < whole) return Progress::kWaiting;
    p.request.body = p.bytes.substr(static_cast<size_t>(p.headLength), p.bodyLength);
    p.request.remote_addr = p.peer;
    JobQueue& queue = isSlow_ && isSlow_(p.request) ? slowJobs_ : fastJobs_;
    {
        std::lock_guard lock(queue.mutex);
        queue.jobs.push_back({std::move(p.fd), p.peer, std::move(p.request)});
    }
    queue.ready.notify_one();
    return Progress::kHandedOver;
}

void RequestFront::CloseQueue(JobQueue& queue) {
    {
        std::lock_guard lock(queue.mutex);
        queue.closed = true;
    }
    queue.ready.notify_all();
}

void RequestFront::Work(JobQueue& queue) {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(queue.mutex);
            queue.ready.wait(lock, [&queue] { return queue.closed || !queue.jobs.empty(); });
            if (queue.jobs.empty()) return;
            job = std::move(queue.jobs.front());
            queue.jobs.pop_front();
        }
        Respond(job);
    }
}

void RequestFront::Respond(Job& job) {
    httplib::Response res;
    answer_(job.request, res);
    SendAll(job.fd.Get(), ReplyBytes(res), limits_.sendTimeout);
    job.fd.Close();
    ReleaseSlot(job.peer);
}

}  // namespace norvex::groupd
