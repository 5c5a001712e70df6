#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "host/db/statement_text.h"  // QuotedText
#include "host/db/text.h"            // UpperCaseText, CharacterCount

namespace nv407::host {

// What a text box does to typed text. Text is UTF-8; limits count characters, not bytes
// (FirstCharacters).
// What a one-line box of at most `max` characters (0: no limit) keeps of an edit by the user
// that turned `before` into `after`, leaving the cursor at byte `cursor` of it, just after
// what the edit inserted: the inserted text without its control characters, then as much of
// it as fits, where it went. Deleting is never refused, and a longer text that the program
// put in the box stays until the user shortens it: the limit is on typing and pasting.
// The one rule of every one-line box, the window's and the script host's.
struct KeptEdit {
  std::string text;
  std::size_t cursor;  // in bytes, just after the kept insertion
};
KeptEdit KeptOfEdit(std::string_view before, std::string_view after, std::size_t cursor, int max);
// What such a box keeps of a text typed or pasted whole in place of its own.
std::string KeptOfTyped(std::string_view text, int max);
// A one-line box holds text of one line: the control characters (NUL, line breaks, tabs, NEL
// and the like) and the line and paragraph separators typed or pasted into it are dropped. A
// NUL would otherwise cut the statement that quotes the text.
std::string OneLineOf(std::string_view text);
// Multi-line texts keep their line breaks; a NUL never stays.
std::string WithoutNul(std::string_view text);

// A look-up statement with each `?` replaced by the key, apostrophes doubled so that the
// key cannot end the literal it stands in.
std::string LookupStatement(std::string_view sql, std::string_view key);
// The look-up statement with each quoted '?' a place to bind the key instead, and how many
// places there are; {"", 0} when the key stands anywhere else, to be written in.
std::pair<std::string, std::size_t> KeyPlaces(std::string_view sql);

// The name under which a query returns its first column: its alias, or the column
// without its table. The component's results are read by column name only.
std::string FirstColumnName(std::string_view select);

}  // namespace nv407::host
