#include "shell/trace_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "shell/trace_line.h"

namespace norvex {

TraceWriter::TraceWriter(int fd, size_t capacity) : lines_(capacity), fd_(fd) {
    thread_ = std::thread([this] { Run(); });
}

TraceWriter::~TraceWriter() {
    lines_.Close();
    thread_.join();
}

namespace {

// The engine thread only copies the record; the writer thread turns it into text.
struct RecordHead {
    TraceDirection direction;
    uint16_t sequence;
    int32_t devid;
    uint32_t senderKey;
    int64_t unixUs;
};

std::string Pack(const TraceRecord& r) {
    RecordHead head{r.direction, r.sequence, r.devid, r.senderKey, r.unixUs};
    std::string packed(reinterpret_cast<const char*>(&head), sizeof head);
    if (r.data) packed.append(reinterpret_cast<const char*>(r.data), r.length);
    return packed;
}

std::string Unpack(const std::string& packed) {
    RecordHead head{};
    std::memcpy(&head, packed.data(), sizeof head);
    TraceRecord r;
    r.direction = head.direction;
    r.sequence = head.sequence;
    r.devid = head.devid;
    r.senderKey = head.senderKey;
    r.unixUs = head.unixUs;
    r.data = reinterpret_cast<const uint8_t*>(packed.data()) + sizeof head;
    r.length = packed.size() - sizeof head;
    return FormatTraceLine(r);
}

}  // namespace

TraceHook TraceWriter::Hook() {
    return [this](const TraceRecord& r) { lines_.Push(Pack(r)); };
}

void TraceWriter::WriteLine(const std::string& line) {
    std::string out = line + '\n';
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a trace that cannot be written is not worth stopping for
        done += static_cast<size_t>(n);
    }
}

void TraceWriter::Run() {
    std::vector<std::string> batch;
    uint64_t droppedShown = 0;
    for (;;) {
        lines_.WaitForLines();
        const bool closed = lines_.Closed();
        batch.clear();
        lines_.PopAll(batch);
        for (const std::string& packed : batch) WriteLine(Unpack(packed));
        const uint64_t dropped = lines_.Dropped();
        if (dropped != droppedShown) {
            WriteLine("trace: " + std::to_string(dropped - droppedShown) +
                      " lines dropped (the trace could not keep up)");
            droppedShown = dropped;
        }
        if (closed && batch.empty()) return;
    }
}

}  // namespace norvex
