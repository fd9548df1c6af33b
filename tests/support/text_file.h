#pragma once
#include <string>

namespace norvex::test {

// The whole content of a file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

// How often part stands in text (overlapping matches count).
size_t CountOf(const std::string& text, const std::string& part);

// A fresh directory under /tmp, removed with what it holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace norvex::test
