#include "host/db/hashed_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace nv407::host {
namespace {

// Every byte counts, wherever it falls: in the 32-byte steps, the 16-byte ones or the tail;
// so does the length, where the tail's padding would hide it.
TEST(TextHash, EveryByteAndTheLengthChangeIt) {
  std::string text;
  std::set<std::size_t> seen;
  for (std::size_t length = 0; length <= 100; ++length) {
    EXPECT_TRUE(seen.insert(TextHash(text)).second) << "length " << length;
    EXPECT_EQ(TextHash(text), TextHash(std::string(text))) << "a copy, length " << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::string changed = text;
      changed[at] = static_cast<char>(changed[at] ^ 0x20);
      EXPECT_NE(TextHash(changed), TextHash(text)) << "byte " << at << " of " << length;
    }
    text += static_cast<char>(length % 3 == 0 ? '\0' : 'a' + length % 26);
  }
  EXPECT_EQ(TextHash({}), TextHash(""));
}

}  // namespace
}  // namespace nv407::host
