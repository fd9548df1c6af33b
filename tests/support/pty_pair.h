#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace norvex::test {

// A pseudo-terminal standing in for a virtual serial-port pair: the slave path plays the
// network-side port (opened by the code under test), the master is the application side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Writes every byte to the application side; false on error.
    bool Write(const void* data, size_t len);
    bool Write(const std::vector<uint8_t>& data) { return Write(data.data(), data.size()); }
    // Reads what arrives on the application side until `len` bytes came or `timeoutMs` passed.
    std::vector<uint8_t> Read(size_t len, int timeoutMs);
    // Closes the application side: the network side sees a hang-up.
    void CloseMaster();
    // Opens the network side once more, before the code under test locks it, so that a test can
    // see how many bytes still wait there for the code under test to read (-1 on error).
    bool WatchSlave();
    int SlaveInputPending() const;

private:
    int master_ = -1;
    int watch_ = -1;
    std::string slavePath_;
};

}  // namespace norvex::test
