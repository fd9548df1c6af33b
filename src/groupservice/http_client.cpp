#include "groupservice/http_client.h"

#include <poll.h>

#include "common/deadline.h"
#include "common/utf8.h"
#include "groupservice/curl_handles.h"
#include "groupservice/url_encode.h"

namespace norvex {

namespace {

using Clock = std::chrono::steady_clock;

// The group service's Accept block: two header lines, the first with two runs of six tabs.
constexpr const char* kAcceptLine =
    "Accept: audio/x-aiff, audio/basic, audio/midi,\t\t\t\t\t\t audio/mpeg, audio/wav, "
    "image/jpeg, image/gif, image/jpg, image/png,\t\t\t\t\t\t image/mng, image/bmp, text/plain, "
    "text/html, text/htm";
constexpr const char* kAcceptCharsetLine = "Accept-Charset:UTF-8";

struct Sink {
    std::string bytes;
    bool capped = false;  // the reply had more than the cap; the rest was not read
};

size_t WriteCapped(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    size_t room = HttpClient::kReplyCap - sink->bytes.size();
    if (n <= room) {
        sink->bytes.append(data, n);
        return n;
    }
    sink->bytes.append(data, room);
    sink->capped = true;
    return 0;  // ends the transfer; the capped body is still the reply
}

struct Attempt {
    CURLcode code = CURLE_OK;
    long status = 0;
    Sink sink;
    std::string error;
};

// Longest single wait: libcurl's own timers are due sooner when it has any.
constexpr int kMaxWaitMs = 1000;

// Waits up to waitMs for fd to become readable; without a descriptor, simply waits.
bool Readable(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};  // poll() ignores a negative descriptor
    return ::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN) != 0;
}

// The result of the one transfer of m, once it has ended.
CURLcode Finished(CURLM* m) {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
        if (msg->msg == CURLMSG_DONE) return msg->data.result;
    }
    return CURLE_FAILED_INIT;
}

// Runs h to its end, or until cancelFd becomes readable (CURLE_ABORTED_BY_CALLBACK): the wait
// watches the transfer's sockets and the descriptor together, so a cancel ends it at once.
CURLcode Drive(CURL* h, int cancelFd) {
    curlx::Multi m = curlx::NewMulti();
    if (!m || curl_multi_add_handle(m.get(), h) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode code = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m.get(), &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            code = Finished(m.get());
            break;
        }
        curl_waitfd cancel{cancelFd, CURL_WAIT_POLLIN, 0};
        unsigned extra = cancelFd >= 0 ? 1u : 0u;
        if (curl_multi_poll(m.get(), extra ? &cancel : nullptr, extra, kMaxWaitMs, nullptr) !=
            CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (cancel.revents & CURL_WAIT_POLLIN) {
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
    }
    curl_multi_remove_handle(m.get(), h);
    return code;
}

// One transfer on a configured handle, within the deadline.
Attempt Perform(CURL* h, Clock::time_point deadline, int cancelFd) {
    Attempt a;
    char errbuf[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteCapped);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &a.sink);
    const long left = MsLeft(deadline);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, left > 0 ? left : 1L);
    a.code = left > 0 ? Drive(h, cancelFd) : CURLE_OPERATION_TIMEDOUT;
    if (a.code == CURLE_WRITE_ERROR && a.sink.capped) a.code = CURLE_OK;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &a.status);
    a.error = errbuf[0] ? errbuf : curl_easy_strerror(a.code);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    return a;
}

void SetCommon(CURL* h, const std::string& url, const curlx::HeaderList& headers) {
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // report threads: no SIGALRM for time-outs
    curl_easy_setopt(h, CURLOPT_USERAGENT, HttpClient::kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
}

std::string HostUrl(const std::string& host, uint16_t port) {
    return "http://" + FormatHostPort(HostPort{host, port});
}

}  // namespace

bool SplitHttpUrl(std::string_view url, HttpUrlParts* out) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() < kScheme.size()) return false;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != kScheme[i]) return false;
    }
    url.remove_prefix(kScheme.size());
    size_t slash = url.find_first_of("/?");
    std::string_view authority = url.substr(0, slash);
    std::string object = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    if (!object.empty() && object[0] == '?') object.insert(object.begin(), '/');
    auto hp = ParseHostPort(authority, 80);
    if (!hp) return false;
    out->host = hp->host;
    out->port = hp->port;
    out->object = std::move(object);
    return true;
}

HttpClient::HttpClient(HostPort groupService) : groupService_(std::move(groupService)) {}

std::string HttpClient::HttpGet(const std::string& path) const {
    HttpReply r = Get(path);
    return r.answered ? std::move(r.body) : std::string();
}

HttpReply HttpClient::Get(const std::string& path) const {
    HttpReply reply;
    const auto deadline = Clock::now() + totalTimeout_;
    const std::string url = HostUrl(groupService_.host, groupService_.port) + UrlEncodeUtf8(path);
    // A failed connect is tried once more after the back-off, as long as time is left.
    for (int attempt = 0; attempt < 2; ++attempt) {
        curlx::Easy h = curlx::NewEasy();
        if (!h) return reply;
        curlx::HeaderList headers;
        headers.AddIfNew(kAcceptLine);
        headers.AddIfNew(kAcceptCharsetLine);
        SetCommon(h.get(), url, headers);
        curl_easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(kConnectTimeout.count()));
        curl_easy_setopt(h.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h.get(), CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(h.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http");
        Attempt a = Perform(h.get(), deadline, cancelFd_);
        if (a.code == CURLE_COULDNT_CONNECT && attempt == 0 &&
            MsLeft(deadline) > kConnectBackoff.count()) {
            // the back-off is a wait like any other: a cancel ends it
            if (!Readable(cancelFd_, static_cast<int>(kConnectBackoff.count()))) continue;
            a.code = CURLE_ABORTED_BY_CALLBACK;
        }
        reply.cancelled = a.code == CURLE_ABORTED_BY_CALLBACK;
        reply.status = a.status;
        reply.answered = a.code == CURLE_OK && a.status == 200;
        if (reply.answered) reply.body = ToValidUtf8(BeforeNul(a.sink.bytes));
        return reply;
    }
    return reply;
}

HttpPostResult HttpClient::HttpPost(const std::string& url, std::string_view body) const {
    HttpPostResult result;
    HttpUrlParts parts;
    if (!SplitHttpUrl(url, &parts)) {
        result.transportError = true;
        result.error = "URL using bad/illegal format or missing URL";
        return result;
    }
    curlx::Easy h = curlx::NewEasy();
    if (!h) {
        result.transportError = true;
        result.error = "Failed initialization";
        return result;
    }
    curlx::HeaderList headers;
    // libcurl writes these itself; the extra block must not duplicate them.
    for (const char* own : {"Host", "User-Agent", "Content-Length"}) headers.Reserve(own);
    headers.AddIfNew("Content-Type: application/x-www-form-urlencoded");
    headers.AddIfNew("Accept: */*");
    headers.AddBlockIfNew(extraHeaders_);
    headers.AddIfNew("Expect:");  // send the body at once, never wait for "100 Continue"
    SetCommon(h.get(), HostUrl(parts.host, parts.port) + parts.object, headers);
    curl_easy_setopt(h.get(), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h.get(), CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h.get(), CURLOPT_POST, 1L);
    curl_easy_setopt(h.get(), CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    curl_easy_setopt(h.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    Attempt a = Perform(h.get(), Clock::now() + totalTimeout_, cancelFd_);
    result.status = a.status;
    if (a.code != CURLE_OK) {
        result.transportError = true;
        result.error = a.error;
        return result;
    }
    result.body = ToValidUtf8(BeforeNul(a.sink.bytes));
    return result;
}

}  // namespace norvex
