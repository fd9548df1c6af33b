#pragma once
#include <chrono>
#include <functional>

namespace norvex::test {

// A TCP port on 127.0.0.1 that was free a moment ago (bound to port 0, then released).
int FreeLoopbackPort();

// A blocking TCP connection to 127.0.0.1:port that the caller owns, or -1.
int ConnectLoopback(int port);

// True once a TCP connect to 127.0.0.1:port succeeds, false when the limit passes first.
bool WaitForListener(int port, std::chrono::milliseconds limit);

// A blocking TCP connection to 127.0.0.1:port from the loopback address source (e.g.
// "127.0.0.2", so that many clients can be told apart); the descriptor, or -1.
int ConnectLoopbackFrom(const char* source, int port);

// Polls pred every few milliseconds until it holds or the limit passes; returns its last value.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit);

}  // namespace norvex::test
