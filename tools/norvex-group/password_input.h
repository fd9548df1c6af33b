#pragma once
#include <optional>
#include <string>

namespace norvex {

// Passwords reach norvex-group only through a terminal, standard input or a file, never the
// command line, where every user of the machine can read them.

// The first line read from fd, without its line ending (LF or CR LF); text that ends without
// a line ending counts whole.  nullopt when fd gives nothing at all or fails.  Reads byte by
// byte, so nothing after the line is taken from fd.
std::optional<std::string> ReadPasswordLine(int fd);

// The first line of the file at path, by the same rule.
std::optional<std::string> ReadPasswordFile(const std::string& path);

// Shows prompt on the controlling terminal and reads a line there with echo off; nullopt
// when the process has no terminal.
std::optional<std::string> ReadPasswordFromTerminal(const char* prompt);

}  // namespace norvex
