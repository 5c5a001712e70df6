#include "host/services/password.h"

#include <sodium.h>

#include "component/error.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

constexpr unsigned long long kOperations = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr std::size_t kMemory = crypto_pwhash_MEMLIMIT_INTERACTIVE;
constexpr int kShortest = 8;  // characters

void Initialise() {
  static const int initialised = sodium_init();
  if (initialised < 0) throw Error("libsodium cannot be initialised");
}

}  // namespace

std::string HashPassword(std::string_view password) {
  Initialise();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(), kOperations, kMemory,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw Error("the password cannot be hashed: not enough memory");
  }
  return hash;
}

bool PasswordMatches(const std::string& hash, std::string_view password) {
  Initialise();
  if (!hash.starts_with(crypto_pwhash_argon2id_STRPREFIX)) return false;
  return crypto_pwhash_argon2id_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool NeedsRehash(const std::string& hash) {
  Initialise();
  return !hash.starts_with(crypto_pwhash_argon2id_STRPREFIX) ||
         crypto_pwhash_argon2id_str_needs_rehash(hash.c_str(), kOperations, kMemory) != 0;
}

std::string PasswordProblem(std::string_view password) {
  // The window's sign-in sends what is typed as UTF-8: another text could never sign in there.
  if (!IsUtf8(password))
    return "La contraseña debe ser texto UTF-8, como la envía la ventana al iniciar sesión";
  for (char c : password) {
    if (static_cast<unsigned char>(c) < 0x20)
      return "La contraseña no puede llevar caracteres de control";
  }
  // The window sends ñ as one character, as the keyboard types it: one written as n and a
  // tilde apart would never match it.
  for (std::size_t i = 0; i < password.size();) {
    const DecodedCharacter character = DecodeAt(password, i);
    if (GoesOnThePrevious(character.code))
      return "La contraseña no puede llevar un acento ni otro signo escrito aparte de su letra (" +
             CodePointName(character.code) +
             "): escriba la letra acentuada como una sola, que es como la envía la ventana al "
             "iniciar sesión";
    i += character.length;
  }
  if (CharacterCount(password) < kShortest)
    return "La contraseña debe tener al menos " + std::to_string(kShortest) + " caracteres";
  return {};
}

}  // namespace nv407::host
