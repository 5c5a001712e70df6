#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/schema.h"

namespace nv407::host {

inline constexpr int kFolioWidth = schema::kFolioWidth;

// A folio is BRANCH "-" NUMBER, the number zero-padded so that the whole folio is `width`
// characters wide (at least one digit). The branch is kept trimmed and upper-cased as key
// fields upper-case it (ñ -> Ñ), the
// form FormatFolio brings typed folios to, so every issued folio is already in stored form.
std::string FolioBranch(std::string_view branch);
int FolioDigits(std::string_view branch, int width);
// The largest number that fits the digits of the branch's folios.
std::int64_t LargestFolioNumber(std::string_view branch, int width);
// Empty when the number does not fit.
std::optional<std::string> MakeFolio(std::string_view branch, std::int64_t number, int width);

// What a user typed, in stored form: trimmed, upper-cased as the branch, and when it reads
// PREFIX-DIGITS the digits padded (or stripped of surplus leading zeros) to the width.
std::string FormatFolio(std::string_view typed, int width = kFolioWidth);

}  // namespace nv407::host
