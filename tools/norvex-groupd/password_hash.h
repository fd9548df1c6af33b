#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace norvex::groupd {

// Group passwords are kept as Argon2id strings ("$argon2id$v=19$m=...,t=...,p=...$salt$hash"),
// each with its own random salt.  The cost is read back from the string, so stronger settings
// later still verify the older hashes.
//
// Hashing and checking are slow on purpose and take about 19 MiB each; at most two run at
// once, whatever the number of threads asking, so that a burst of logins cannot exhaust memory.

// Call once before the first hash; false when libsodium cannot start.
bool StartPasswordHashing();

// The storable hash of password; nullopt when hashing fails (out of memory).
std::optional<std::string> HashPassword(std::string_view password);

// True when password is the one hashed in stored.  A stored text that is not a hash never
// matches.
bool PasswordMatches(const std::string& stored, std::string_view password);

// True when stored has the form HashPassword writes.
bool LooksHashed(std::string_view stored);

}  // namespace norvex::groupd
