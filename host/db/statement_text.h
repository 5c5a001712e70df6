#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nv407::host {

// A value that a statement's `?` stands for: a text or a whole number.
using StatementValue = std::variant<std::string, std::int64_t>;

// A text as a statement literal: between apostrophes, each apostrophe doubled, so that it
// cannot end the literal it stands in.
std::string QuotedText(std::string_view text);

// The statement with each `?` outside quoted texts and names replaced by its value as a
// literal, in order: what runs where values are not bound, and what the trace shows.
std::string WithValuesInPlace(std::string_view sql, const std::vector<StatementValue>& values);

}  // namespace nv407::host
