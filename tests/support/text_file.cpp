#include "support/text_file.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace norvex::test {

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/norvex-test-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace norvex::test
