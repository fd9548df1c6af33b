#pragma once
#include <chrono>
#include <string>
#include <string_view>

#include "groupservice/endpoints.h"

namespace norvex {

// What a GET learned, for callers that must tell "the service answered" from "it did not".
struct HttpReply {
    bool answered = false;   // the transfer worked and the final status was 200
    bool cancelled = false;  // the cancel descriptor became readable: the request was cut short
    long status = 0;         // 0 when no status line came
    std::string body;        // valid UTF-8, at most kReplyCap bytes of the reply
};

// A POST either got a reply (of any status) or failed in transport.
struct HttpPostResult {
    bool transportError = false;
    std::string error;  // the transport's own text when transportError
    long status = 0;
    std::string body;  // valid UTF-8, at most kReplyCap bytes of the reply
};

struct HttpUrlParts {
    std::string host;
    uint16_t port = 80;
    std::string object;  // path and query, "/" when the URL has none
};

// "http://host[:port][/object]"; false for anything else.
bool SplitHttpUrl(std::string_view url, HttpUrlParts* out);

// The system's one HTTP client.  Each request opens and closes its own handles; an object
// holds nothing but the extra header block and may be used from any thread (one object per
// thread).  No request ever runs longer than TotalTimeout().
class HttpClient {
public:
    static constexpr size_t kReplyCap = 32767;
    static constexpr const char* kUserAgent = "NorvexPanel";
    static constexpr std::chrono::milliseconds kConnectTimeout{20000};
    static constexpr std::chrono::milliseconds kConnectBackoff{1000};
    static constexpr std::chrono::milliseconds kDefaultTotalTimeout{30000};

    explicit HttpClient(HostPort groupService);

    // GET path (it begins with "/" and carries the query; values already escaped with
    // EscapeQueryValue) from the group service.  Empty text for every failure and every status
    // other than 200.
    std::string HttpGet(const std::string& path) const;
    // The same request, with the outcome spelled out.
    HttpReply Get(const std::string& path) const;

    // POST body to an absolute "http://" URL; redirects are not followed, the body of any
    // status is returned, and a transport failure is reported as such.
    HttpPostResult HttpPost(const std::string& url, std::string_view body) const;

    // Header lines separated by CR LF, added to every POST after the fixed ones.
    void SetExtraHeaders(std::string headers) { extraHeaders_ = std::move(headers); }

    // A descriptor that becomes readable when every request of this object is to end at once
    // (an eventfd, a signalfd); -1 for none.  The caller owns it; it is only polled, never read.
    // A cut-short GET is not answered and says cancelled; a cut-short POST is a transport error.
    void SetCancelFd(int fd) { cancelFd_ = fd; }

    // The bound on one whole request, connect retry included.
    void SetTotalTimeout(std::chrono::milliseconds limit) { totalTimeout_ = limit; }
    std::chrono::milliseconds TotalTimeout() const { return totalTimeout_; }

    const HostPort& GroupService() const { return groupService_; }

private:
    HostPort groupService_;
    std::string extraHeaders_;
    std::chrono::milliseconds totalTimeout_ = kDefaultTotalTimeout;
    int cancelFd_ = -1;
};

}  // namespace norvex
