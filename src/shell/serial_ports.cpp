#include "shell/serial_ports.h"

#include <glob.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>

namespace norvex {
namespace fs = std::filesystem;
namespace {

// How far up from a tty's device we look for the driver that owns the hardware.
constexpr int kMaxDriverHops = 4;

// "ttyS2" before "ttyS10": runs of digits compare by value.
bool NaturalLess(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            while (na.size() > 1 && na[0] == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb[0] == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The driver that owns the port's hardware.  Recent kernels put a generic serial-base "port"
// device between the tty and the UART; its driver says nothing, so we climb past it.
std::string DriverName(const fs::path& ttyDir) {
    std::error_code ec;
    fs::path dev = fs::canonical(ttyDir / "device", ec);
    if (ec) return {};
    for (int hop = 0; hop < kMaxDriverHops && !dev.empty(); ++hop, dev = dev.parent_path()) {
        fs::path driver = fs::canonical(dev / "driver", ec);
        if (ec) continue;
        if (driver.parent_path().parent_path().filename() == "serial-base") continue;
        return driver.filename().string();
    }
    return {};
}

// A ttyS entry exists for every legacy port slot; only those with a UART detected report a
// nonzero type.
bool HasRealUart(const fs::path& ttyDir) {
    std::ifstream in(ttyDir / "type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

// The null-modem pair driver registers its ttys without a parent device, so no driver link
// tells them apart from consoles; their name does.
bool IsNullModemEnd(std::string_view name) {
    if (name.size() <= 3 || name.substr(0, 3) != "tnt") return false;
    return std::all_of(name.begin() + 3, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Kernel tty name -> its by-id link; of several links to one tty the first in name order.
std::map<std::string, std::string> StableNames(const fs::path& devRoot) {
    std::error_code ec;
    std::vector<fs::path> links;
    for (fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        links.push_back(it->path());
    }
    std::sort(links.begin(), links.end());
    std::map<std::string, std::string> names;
    for (const fs::path& link : links) {
        fs::path target = fs::read_symlink(link, ec);
        if (!ec) names.emplace(target.filename().string(), link.string());
    }
    return names;
}

SerialPortEntry KernelEntry(const std::string& driver, const std::string& name,
                            const std::string& devRoot,
                            const std::map<std::string, std::string>& stable) {
    std::string node = devRoot + "/" + name;
    auto link = stable.find(name);
    if (link == stable.end()) return {driver, node, {}};
    return {driver, link->second, node};
}

void AddKernelPorts(const std::string& sysfsRoot, const std::string& devRoot,
                    std::vector<SerialPortEntry>& out) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "tty", ec), end;
         !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    const std::map<std::string, std::string> stable = StableNames(devRoot);
    for (const std::string& name : names) {
        if (out.size() >= kMaxSerialPorts) return;
        fs::path dir = fs::path(sysfsRoot) / "class" / "tty" / name;
        std::string driver = IsNullModemEnd(name) ? "null-modem" : DriverName(dir);
        if (driver.empty()) continue;  // consoles, ptys and other ttys without hardware
        if (name.rfind("ttyS", 0) == 0 && !HasRealUart(dir)) continue;
        out.push_back(KernelEntry(driver, name, devRoot, stable));
    }
}

bool IsCharacterDevice(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

std::string ResolvedPath(const char* path) {
    char* real = ::realpath(path, nullptr);
    if (!real) return path;
    std::string s(real);
    ::free(real);
    return s;
}

void AddPatternPorts(const std::string& patterns, std::vector<SerialPortEntry>& out) {
    size_t start = 0;
    while (start <= patterns.size() && out.size() < kMaxSerialPorts) {
        size_t colon = patterns.find(':', start);
        if (colon == std::string::npos) colon = patterns.size();
        std::string pattern = patterns.substr(start, colon - start);
        start = colon + 1;
        if (pattern.empty()) continue;
        glob_t g{};
        if (::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &g) == 0) {
            std::vector<std::string> paths(g.gl_pathv, g.gl_pathv + g.gl_pathc);
            std::sort(paths.begin(), paths.end(),
                      [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
            for (const std::string& p : paths) {
                if (out.size() >= kMaxSerialPorts) break;
                if (!IsCharacterDevice(p.c_str())) continue;
                std::string node = ResolvedPath(p.c_str());
                out.push_back({node, p, node == p ? std::string() : node});
            }
        }
        ::globfree(&g);
    }
}

}  // namespace

std::vector<SerialPortEntry> EnumSerialPorts(const std::string& sysfsRoot,
                                             const std::string& devRoot,
                                             const std::string& extraPatterns) {
    std::vector<SerialPortEntry> ports;
    AddKernelPorts(sysfsRoot, devRoot, ports);
    AddPatternPorts(extraPatterns, ports);
    return ports;
}

std::vector<SerialPortEntry> EnumSerialPorts(const std::string& extraPatterns) {
    return EnumSerialPorts("/sys", "/dev", extraPatterns);
}

}  // namespace norvex
