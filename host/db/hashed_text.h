#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nv407::host {

// A hash of a text, for the maps below: every statement the screen runs is hashed whole,
// hundreds of characters, so it reads 32 bytes a step where std::hash reads 8.
std::size_t TextHash(std::string_view text);

// A text with its hash worked out once: statement texts run to hundreds of characters, and
// the maps that keep statements look each one up more than once.
struct HashedText {
  std::size_t hash;
  std::string_view text;
  static HashedText Of(std::string_view text) { return {TextHash(text), text}; }
};

// The same, owning its text: a map's key.
struct KeptText {
  std::size_t hash;
  std::string text;
};

struct HashedTextHash {
  using is_transparent = void;
  std::size_t operator()(const HashedText& key) const { return key.hash; }
  std::size_t operator()(const KeptText& key) const { return key.hash; }
};
struct SameHashedText {
  using is_transparent = void;
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    const std::string_view x(a.text), y(b.text);
    // A text shared with the map's key is the same text: it is not read again.
    return a.hash == b.hash && x.size() == y.size() && (x.data() == y.data() || x == y);
  }
};

// A map by text, looked up with a HashedText without copying the text.
template <typename Value>
using TextMap = std::unordered_map<KeptText, Value, HashedTextHash, SameHashedText>;

}  // namespace nv407::host
