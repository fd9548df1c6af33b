#include "reply_bytes.h"

namespace norvex::groupd {

namespace {

const char* StatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Internal Server Error";
    }
}

}  // namespace

std::string ReplyBytes(const httplib::Response& res) {
    int status = res.status > 0 ? res.status : 500;
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
    for (const auto& [name, value] : res.headers) {
        if (name == "Content-Length" || name == "Connection") continue;
        out += name + ": " + value + "\r\n";
    }
    out += "Content-Length: " + std::to_string(res.body.size()) + "\r\nConnection: close\r\n\r\n";
    out += res.body;
    return out;
}

std::string StatusOnlyReply(int status) {
    httplib::Response res;
    res.status = status;
    return ReplyBytes(res);
}

}  // namespace norvex::groupd
