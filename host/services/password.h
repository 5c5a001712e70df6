#pragma once

#include <string>
#include <string_view>

namespace nv407::host {

// Operators' passwords are kept only as Argon2id hashes in libsodium's text form
// ("$argon2id$v=19$m=65536,t=2,p=1$salt$hash"), each with a salt of its own, at libsodium's
// interactive cost (about 64 MiB and a tenth of a second per hash or check).
std::string HashPassword(std::string_view password);
// False for a wrong password and for a text that is not such a hash.
bool PasswordMatches(const std::string& hash, std::string_view password);
// The hash was made at another cost or by another algorithm than HashPassword's.
bool NeedsRehash(const std::string& hash);
// A hash of no operator's password, at HashPassword's cost, written out: checked against
// for a code no operator has, a sign-in costs what it costs for one it has.
inline constexpr const char* kStandInHash =
    "$argon2id$v=19$m=65536,t=2,p=1$MGjxpVGnQh8Q8Bvtg/tXIw$"
    "uUfIKsVsaj15DPKaRBvXwNYon2ckrRKV8k1WtA6kCEI";

// What a new password must be (UTF-8, no control characters nor accents written apart from
// their letter, at least 8 characters): a refusal in Spanish, or "" when it will do.
std::string PasswordProblem(std::string_view password);

}  // namespace nv407::host
