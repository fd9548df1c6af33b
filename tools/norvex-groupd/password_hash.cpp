#include "password_hash.h"

#include <sodium.h>

#include <semaphore>

namespace norvex::groupd {

namespace {

// The Argon2id floor commonly recommended for interactive logins (19 MiB, two passes): strong
// enough against offline guessing, cheap enough for a small service on a shared machine.
constexpr unsigned long long kHashPasses = 2;
constexpr size_t kHashMemoryBytes = 19 * 1024 * 1024;
constexpr std::ptrdiff_t kHashersAtOnce = 2;

constexpr std::string_view kPrefix = "$argon2id$";

std::counting_semaphore<kHashersAtOnce>& Hashers() {
    static std::counting_semaphore<kHashersAtOnce> hashers(kHashersAtOnce);
    return hashers;
}

class HasherSlot {
public:
    HasherSlot() { Hashers().acquire(); }
    ~HasherSlot() { Hashers().release(); }
    HasherSlot(const HasherSlot&) = delete;
    HasherSlot& operator=(const HasherSlot&) = delete;
};

}  // namespace

bool StartPasswordHashing() {
    return sodium_init() >= 0;
}

std::optional<std::string> HashPassword(std::string_view password) {
    char out[crypto_pwhash_STRBYTES];
    HasherSlot slot;
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), kHashPasses, kHashMemoryBytes,
                              crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(out);
}

bool PasswordMatches(const std::string& stored, std::string_view password) {
    if (!LooksHashed(stored) || stored.size() >= crypto_pwhash_STRBYTES) return false;
    HasherSlot slot;
    return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool LooksHashed(std::string_view stored) {
    return stored.substr(0, kPrefix.size()) == kPrefix;
}

}  // namespace norvex::groupd
