// A bounded random-mutation driver for LLVMFuzzerTestOneInput targets, for builds without
// libFuzzer.  Seeds come from the files of the corpus folders given on the command line; each
// input is handed over in a heap block of exactly its size, so that a sanitizer sees any read
// past its end.  Deterministic: the same seeds and --runs give the same inputs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kMaxLen = 8192;

void RunOne(const Bytes& in) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[in.size() ? in.size() : 1]);
    if (!in.empty()) std::memcpy(copy.get(), in.data(), in.size());
    LLVMFuzzerTestOneInput(copy.get(), in.size());
}

Bytes Mutate(Bytes b, const std::vector<Bytes>& seeds, std::mt19937_64& rng) {
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    static const uint8_t kInteresting[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0x81, 0xFF, 0xFE,
                                           0x30, 0x32, 0x34, 0x62, 0x82, 0x90, 0xB0, 0xC0};
    int steps = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < steps; ++i) {
        switch (rng() % 8) {
            case 0:
                if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:
                if (!b.empty()) b[pick(b.size())] = kInteresting[pick(sizeof kInteresting)];
                break;
            case 2:
                if (!b.empty()) b[pick(b.size())] = static_cast<uint8_t>(rng());
                break;
            case 3:
                if (b.size() < kMaxLen)
                    b.insert(b.begin() + pick(b.size() + 1), static_cast<uint8_t>(rng()));
                break;
            case 4:
                if (!b.empty()) b.erase(b.begin() + pick(b.size()));
                break;
            case 5:
                if (!b.empty()) b.resize(pick(b.size()));
                break;
            case 6: {  // splice in a piece of another seed
                const Bytes& o = seeds[pick(seeds.size())];
                if (o.empty()) break;
                size_t from = pick(o.size()), n = 1 + pick(o.size() - from);
                size_t at = pick(b.size() + 1);
                b.insert(b.begin() + at, o.begin() + from, o.begin() + from + n);
                if (b.size() > kMaxLen) b.resize(kMaxLen);
                break;
            }
            default: {  // repeat a piece of the input itself
                if (b.empty()) break;
                size_t from = pick(b.size()), n = 1 + pick(std::min<size_t>(b.size() - from, 64));
                Bytes piece(b.begin() + from, b.begin() + from + n);
                b.insert(b.begin() + pick(b.size() + 1), piece.begin(), piece.end());
                if (b.size() > kMaxLen) b.resize(kMaxLen);
                break;
            }
        }
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    long runs = 100000;
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--runs=", 0) == 0) {
            runs = std::strtol(a.c_str() + 7, nullptr, 10);
            continue;
        }
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(a, ec)) {
            std::ifstream in(f.path(), std::ios::binary);
            Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (b.size() > kMaxLen) b.resize(kMaxLen);
            seeds.push_back(std::move(b));
        }
    }
    if (seeds.empty()) seeds.push_back({});
    for (const auto& s : seeds) RunOne(s);
    std::mt19937_64 rng(0x4E52565846555A5AULL);
    for (long i = 0; i < runs; ++i) {
        RunOne(Mutate(seeds[rng() % seeds.size()], seeds, rng));
    }
    std::printf("fuzz: %zu seeds, %ld mutated inputs, no failure\n", seeds.size(), runs);
    return 0;
}
