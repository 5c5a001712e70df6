#include "host/db/hashed_text.h"

#include <cstdint>
#include <cstring>

namespace nv407::host {
namespace {

__extension__ using Wide = unsigned __int128;

// Both halves of the full product: every bit of either factor reaches the result.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t Read(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Odd constants with their bits spread; any such will do.
constexpr std::uint64_t kSpread[] = {0xa0761d6478bd642f, 0xe7037ed1a0b428db, 0x8ebc6af09c88c6e3,
                                     0x589965cc75374cc3};

}  // namespace

std::size_t TextHash(std::string_view text) {
  const char* at = text.data();
  std::size_t left = text.size();
  // Two lanes that do not wait for each other.
  std::uint64_t first = kSpread[0] ^ left, second = kSpread[1] ^ left;
  for (; left >= 32; at += 32, left -= 32) {
    first = Mix(Read(at) ^ kSpread[1], Read(at + 8) ^ first);
    second = Mix(Read(at + 16) ^ kSpread[2], Read(at + 24) ^ second);
  }
  std::uint64_t state = first ^ Mix(second, kSpread[3]);
  for (; left >= 16; at += 16, left -= 16) state = Mix(Read(at) ^ kSpread[1], Read(at + 8) ^ state);
  // The last 0 to 15 bytes, padded with zeros; the length taken in at the start tells
  // "ab" from "ab\0".
  char tail[16] = {};
  if (left > 0) std::memcpy(tail, at, left);
  state = Mix(Read(tail) ^ kSpread[2], Read(tail + 8) ^ state);
  return static_cast<std::size_t>(Mix(state ^ kSpread[3], kSpread[0]));
}

}  // namespace nv407::host
