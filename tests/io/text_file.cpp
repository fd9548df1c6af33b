#include "text_file.h"

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

TempDir::TempDir() {
    char tmpl[] = "/tmp/norvex-io-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace norvex::test
