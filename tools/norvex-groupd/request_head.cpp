#include "request_head.h"

#include <string>

namespace norvex::groupd {

namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";

bool IsTokenChar(char c) {
    if (c >= 'a' && c <= 'z') return true;
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!IsTokenChar(c)) return false;
    }
    return true;
}

// Visible bytes only: a target with blanks or control bytes is not one.
bool IsTarget(std::string_view s) {
    if (s.empty() || s[0] != '/') return false;
    for (unsigned char c : s) {
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "METHOD SP /target SP HTTP/1.x"
bool ParseRequestLine(std::string_view line, httplib::Request* out) {
    size_t sp1 = line.find(' ');
    if (sp1 == std::string_view::npos) return false;
    size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos) return false;
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    if (!IsToken(method) || !IsTarget(target)) return false;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
    out->method = method;
    out->target = target;
    out->version = version;
    size_t query = target.find('?');
    out->path = httplib::detail::decode_url(std::string(target.substr(0, query)), false);
    if (query != std::string_view::npos) {
        httplib::detail::parse_query_text(std::string(target.substr(query + 1)), out->params);
    }
    return true;
}

// Digits only, at most kMaxBodyBytes; -1 malformed, -2 too large.
long ParseLength(std::string_view v) {
    if (v.empty() || v.size() > 10) return v.empty() ? -1 : -2;
    long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n > static_cast<long>(kMaxBodyBytes) ? -2 : n;
}

}  // namespace

int HeadErrorStatus(int code) {
    switch (code) {
        case kHeadTooLarge:
            return 431;
        case kBodyTooLarge:
            return 413;
        case kBodyNotCounted:
            return 411;
        default:
            return 400;
    }
}

int ParseRequestHead(std::string_view bytes, httplib::Request* out, size_t* bodyLength) {
    size_t end = bytes.substr(0, kMaxHeadBytes).find(kBlankLine);
    if (end == std::string_view::npos) return bytes.size() >= kMaxHeadBytes ? kHeadTooLarge : 0;
    std::string_view head = bytes.substr(0, end + 2);  // every line with its CR LF
    httplib::Request req;
    long length = 0;
    bool lengthSeen = false;
    for (bool first = true; !head.empty(); first = false) {
        size_t eol = head.find("\r\n");
        std::string_view line = head.substr(0, eol);
        head.remove_prefix(eol + 2);
        if (first) {
            if (!ParseRequestLine(line, &req)) return kHeadMalformed;
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            return kHeadMalformed;  // folded lines included
        }
        std::string name(line.substr(0, colon));
        std::string_view value = Trim(line.substr(colon + 1));
        if (SameName(name, "Transfer-Encoding")) return kBodyNotCounted;
        if (SameName(name, "Content-Length")) {
            long n = ParseLength(value);
            if (n == -2) return kBodyTooLarge;
            if (n < 0 || (lengthSeen && n != length)) return kHeadMalformed;
            length = n;
            lengthSeen = true;
        }
        req.headers.emplace(std::move(name), std::string(value));
    }
    *out = std::move(req);
    *bodyLength = static_cast<size_t>(length);
    return static_cast<int>(end + kBlankLine.size());
}

}  // namespace norvex::groupd
