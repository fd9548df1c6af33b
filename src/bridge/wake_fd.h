#pragma once

namespace norvex {

// An eventfd that wakes a thread sleeping in poll(): Raise() from any thread, and the
// descriptor stays readable until Clear().
class WakeFd {
public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Raise();
    void Clear();

private:
    int fd_ = -1;
};

}  // namespace norvex
