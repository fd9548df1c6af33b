#pragma once
#include <cstddef>
#include <cstdint>
#include <thread>

#include "bridge/engine_counters.h"
#include "shell/line_buffer.h"

namespace norvex {

// Writes the trace lines of the relay engine to a descriptor (stderr or a trace file) on a
// thread of its own, so that a slow disk or terminal never holds the engine back: the engine
// thread only copies the record and hands it over (the writer formats it); records the writer
// cannot take in time are dropped, and the writer says how many in a line of its own.
class TraceWriter {
public:
    // fd stays the caller's; capacity: lines that may wait.
    explicit TraceWriter(int fd, size_t capacity = 4096);
    ~TraceWriter();  // writes what waits, then ends the thread
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // The engine's trace hook: quick, never blocks.
    TraceHook Hook();
    uint64_t Dropped() const { return lines_.Dropped(); }

private:
    void Run();
    void WriteLine(const std::string& line);

    LineBuffer lines_;
    int fd_;
    std::thread thread_;
};

}  // namespace norvex
