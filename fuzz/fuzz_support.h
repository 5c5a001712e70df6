#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the fuzz targets share: reading an input as lines, and stopping on a broken property
// so that libFuzzer keeps the input (and a replay of it fails).
namespace nv407::fuzz {

[[noreturn]] inline void Broken(const char* property, const std::string& detail) {
  std::fprintf(stderr, "property broken: %s\n%s\n", property, detail.c_str());
  std::abort();
}

inline void Check(bool holds, const char* property, const std::string& detail = {}) {
  if (!holds) Broken(property, detail);
}

// The input as it is.
inline std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input as its first `count - 1` lines and then the rest, which may hold line ends;
// missing lines are empty.
inline std::vector<std::string_view> Lines(const std::uint8_t* data, std::size_t size,
                                           std::size_t count) {
  std::string_view rest = Text(data, size);
  std::vector<std::string_view> lines;
  while (lines.size() + 1 < count) {
    const std::size_t end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  lines.push_back(rest);
  return lines;
}

// A whole number written in decimal; nothing for anything else.
inline std::optional<std::int64_t> Integer(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Text shown in quotes in a property's detail, its bytes escaped.
inline std::string Shown(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace nv407::fuzz
