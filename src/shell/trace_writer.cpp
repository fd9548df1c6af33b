#include "shell/trace_writer.h"

#include <unistd.h>

#include <cerrno>
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

TraceHook TraceWriter::Hook() {
    return [this](const TraceRecord& r) { lines_.Push(FormatTraceLine(r)); };
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
        for (const std::string& line : batch) WriteLine(line);
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
