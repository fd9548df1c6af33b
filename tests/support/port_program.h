#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace norvex::test {

// A user's program on a serial port: a Python process that opens, writes, reads and closes the
// port with os and termios as an application would, one command at a time over a pipe.  Each
// call returns once the program has done the step (or failed: false / empty).
class PortProgram {
public:
    explicit PortProgram(std::string path);
    ~PortProgram();  // ends the program
    PortProgram(const PortProgram&) = delete;
    PortProgram& operator=(const PortProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    bool Open();  // O_RDWR | O_NOCTTY, blocking, as a terminal program opens it
    bool Close();
    bool Write(const std::vector<uint8_t>& bytes);
    // Up to len bytes, waiting until len came or limitMs passed.
    std::vector<uint8_t> Read(size_t len, int limitMs);
    // What termios reports on the open port: "ispeed ospeed raw" ("115200 115200 1" for raw 8N1).
    std::string LineSettings();

private:
    std::string Ask(const std::string& line, int limitMs = 10000);

    std::string path_;
    pid_t pid_ = -1;
    int toProgram_ = -1;
    int fromProgram_ = -1;
    std::string pending_;  // read from the program past the last answer
};

}  // namespace norvex::test
