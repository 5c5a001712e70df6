#include "host/db/literal_lifter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace nv407::host {
namespace {

// SQL's characters are ASCII; anything beyond is part of a name. A table, not the C
// library's locale-aware tests: this runs over every character of every statement.
enum CharClass : unsigned char { kOther = 0, kBlank = 1, kDigit = 2, kLetter = 4, kNamePart = 8 };
constexpr auto kClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (char c : {' ', '\t', '\n', '\r', '\f', '\v'})
    classes[static_cast<unsigned char>(c)] = kBlank;
  for (int c = '0'; c <= '9'; ++c) classes[c] = kDigit | kNamePart;
  for (int c = 'a'; c <= 'z'; ++c) classes[c] = kLetter | kNamePart;
  for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kLetter | kNamePart;
  for (int c = 0x80; c < 0x100; ++c) classes[c] = kLetter | kNamePart;
  classes['_'] = kLetter | kNamePart;
  classes['$'] = kNamePart;
  return classes;
}();
bool Is(char c, unsigned char what) {
  return (kClasses[static_cast<unsigned char>(c)] & what) != 0;
}
bool IsDigit(char c) {
  return Is(c, kDigit);
}
bool IsBlank(char c) {
  return Is(c, kBlank);
}
bool IsWordStart(char c) {
  return Is(c, kLetter);
}
bool IsWordChar(char c) {
  return Is(c, kNamePart);
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameWord(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (Upper(word[i]) != keyword[i]) return false;
  }
  return true;
}

// The end (one past) of a run quoted by `close`, a doubled `close` standing for itself;
// npos when the run never closes.
std::size_t QuotedEnd(std::string_view sql, std::size_t start, char close) {
  for (std::size_t i = start + 1; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

std::string Unquoted(std::string_view quoted) {
  const std::string_view inside = quoted.substr(1, quoted.size() - 2);
  if (inside.find('\'') == std::string_view::npos) return std::string(inside);
  std::string text;
  text.reserve(inside.size());
  for (std::size_t i = 0; i < inside.size(); ++i) {
    text += inside[i];
    if (inside[i] == '\'') ++i;  // a doubled apostrophe stands for one
  }
  return text;
}

// What the clause being read at one depth of parentheses allows.
struct Clause {
  bool results = false;    // the result columns of a query
  bool positions = false;  // ORDER BY or GROUP BY
  bool inside = false;     // within parentheses of such a clause: an unnamed column's name
                           // is its whole text
};

class Lifter {
 public:
  explicit Lifter(std::string_view sql) : sql_(sql) {}

  std::optional<LiftedStatement> Run() {
    std::size_t i = 0;
    while (i < sql_.size()) {
      const char c = sql_[i];
      std::size_t end = i + 1;
      if (IsWordStart(c)) {
        while (end < sql_.size() && IsWordChar(sql_[end])) ++end;
        if (end - i == 1 && (c == 'x' || c == 'X') && end < sql_.size() && sql_[end] == '\'') {
          end = QuotedEnd(sql_, end, '\'');  // a blob literal stays written
          if (end == std::string_view::npos) return std::nullopt;
          Token("");
        } else if (!Word(i, end)) {
          return std::nullopt;
        }
      } else if (IsBlank(c)) {
        while (end < sql_.size() && IsBlank(sql_[end])) ++end;
      } else if (IsDigit(c) || (c == '.' && end < sql_.size() && IsDigit(sql_[end]))) {
        while (end < sql_.size() && (IsWordChar(sql_[end]) || sql_[end] == '.')) ++end;
        // An exponent's sign belongs to the number.
        while (end < sql_.size() && (sql_[end] == '+' || sql_[end] == '-') &&
               (sql_[end - 1] == 'e' || sql_[end - 1] == 'E')) {
          ++end;
          while (end < sql_.size() && IsWordChar(sql_[end])) ++end;
        }
        Number(i, end);
      } else {
        switch (c) {
          case '\'':
            end = QuotedEnd(sql_, i, '\'');
            if (end == std::string_view::npos) return std::nullopt;  // SQLite reports it
            Text(i, end);
            break;
          case '"':
          case '`':
          case '[':
            end = QuotedEnd(sql_, i, c == '[' ? ']' : c);
            if (end == std::string_view::npos) return std::nullopt;
            Token("");
            break;
          case '-':
            if (end < sql_.size() && sql_[end] == '-') {
              end = std::min(sql_.find('\n', i), sql_.size());
            } else {
              Token("-");
            }
            break;
          case '/':
            if (end < sql_.size() && sql_[end] == '*') {
              end = sql_.find("*/", i + 2);
              end = end == std::string_view::npos ? sql_.size() : end + 2;
            } else {
              Token("/");
            }
            break;
          case '?':
          case ':':
          case '@':
          case '$':
          case '#':
            return std::nullopt;  // a statement with parameters of its own binds them itself
          case '(':
            clauses_.push_back({.inside = clauses_.back().results || clauses_.back().positions ||
                                          clauses_.back().inside});
            Token("(");
            break;
          case ')':
            if (clauses_.size() > 1) clauses_.pop_back();
            Token(")");
            break;
          default:
            Token(std::string_view(&sql_[i], 1));
        }
      }
      i = end;
    }
    if (kind_ == Kind::kOther || lifted_.values.empty()) return std::nullopt;
    lifted_.shape.append(sql_.substr(copied_));
    return std::move(lifted_);
  }

 private:
  enum class Kind { kUnknown, kQuery, kWrite, kOther };

  void Token(std::string_view word) { previous_ = word; }
  static void EndClause(Clause& clause) {
    clause.results = false;
    clause.positions = false;
  }
  bool MayLift() const {
    const Clause& clause = clauses_.back();
    return kind_ != Kind::kOther && !clause.results && !clause.positions && !clause.inside &&
           !returning_ && !SameWord(previous_, "AS");
  }
  // The text since the last literal goes into the shape in one piece.
  void Lift(std::size_t from, std::size_t to, LiftedValue value) {
    if (lifted_.values.empty()) lifted_.shape.reserve(sql_.size());
    lifted_.shape.append(sql_.substr(copied_, from - copied_));
    lifted_.shape += '?';
    // A digit right after a text's closing quote starts a token of its own; after "?" it
    // would make a numbered parameter ("?1") of the two.
    if (to < sql_.size() && IsDigit(sql_[to])) lifted_.shape += ' ';
    copied_ = to;
    lifted_.values.push_back(std::move(value));
    previous_ = "?";
  }

  void Text(std::size_t from, std::size_t to) {
    if (!MayLift()) return Token("'");
    Lift(from, to, Unquoted(sql_.substr(from, to - from)));
  }

  void Number(std::size_t from, std::size_t to) {
    const std::string_view number = sql_.substr(from, to - from);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    // Only a plain whole number: a point, an exponent, hex or too many digits stay written.
    const bool whole = error == std::errc() && end == number.data() + number.size();
    if (!whole || !MayLift()) return Token("0");
    Lift(from, to, value);
  }

  // Reads a keyword or name; false when the statement is not one to lift.
  bool Word(std::size_t from, std::size_t to) {
    const std::string_view word = sql_.substr(from, to - from);
    // Most words are names: none of the keywords below is shorter than 2 or longer than 9.
    if (kind_ != Kind::kUnknown && (word.size() < 2 || word.size() > 9)) {
      previous_ = word;
      return true;
    }
    if (kind_ == Kind::kUnknown) {
      if (SameWord(word, "SELECT") || SameWord(word, "WITH") || SameWord(word, "VALUES")) {
        kind_ = Kind::kQuery;
      } else if (SameWord(word, "INSERT") || SameWord(word, "UPDATE") || SameWord(word, "DELETE") ||
                 SameWord(word, "REPLACE")) {
        kind_ = Kind::kWrite;
      } else {
        return false;
      }
    }
    Clause& clause = clauses_.back();
    switch (Upper(word.front())) {
      case 'S':
        if (SameWord(word, "SELECT")) {
          // The result columns of a query name its columns; those of an insert's rows do not.
          clause.results = kind_ == Kind::kQuery;
          clause.positions = false;
        } else if (SameWord(word, "SET")) {
          EndClause(clause);
        }
        break;
      case 'B':
        if (SameWord(word, "BY") && (SameWord(previous_, "ORDER") || SameWord(previous_, "GROUP")))
          clause.positions = true;
        break;
      case 'R':
        if (SameWord(word, "RETURNING") && clauses_.size() == 1) returning_ = true;
        break;
      case 'F':
      case 'W':
      case 'L':
      case 'H':
      case 'U':
      case 'E':
      case 'I':
      case 'V':
        // "IS [NOT] DISTINCT FROM" is an operator; "window" may be a column's name (SQLite
        // takes the word as one), and a WINDOW clause never stands inside the result
        // columns or an ORDER BY: where it might, positions stay written, which is safe.
        if ((SameWord(word, "FROM") && !SameWord(previous_, "DISTINCT")) ||
            SameWord(word, "WHERE") || SameWord(word, "LIMIT") || SameWord(word, "HAVING") ||
            (SameWord(word, "WINDOW") && !clause.results && !clause.positions) ||
            SameWord(word, "UNION") || SameWord(word, "EXCEPT") || SameWord(word, "INTERSECT") ||
            SameWord(word, "VALUES"))
          EndClause(clause);
        break;
      default:
        break;
    }
    Token(word);
    return true;
  }

  std::string_view sql_;
  LiftedStatement lifted_;
  Kind kind_ = Kind::kUnknown;
  std::vector<Clause> clauses_{Clause{}};
  bool returning_ = false;
  std::string_view previous_;  // the last token, blanks and comments left out
  std::size_t copied_ = 0;     // how much of the text the shape holds
};

}  // namespace

std::optional<LiftedStatement> LiftLiterals(std::string_view sql) {
  return Lifter(sql).Run();
}

std::shared_ptr<const KeptLift> LiftedTexts::Lift(const std::string& sql) {
  const HashedText key = HashedText::Of(sql);
  if (const auto found = lifted_.find(key); found != lifted_.end()) return found->second;
  std::shared_ptr<const KeptLift> lifted;
  if (std::optional<LiftedStatement> made = LiftLiterals(sql)) {
    const std::size_t shape_hash = HashedText::Of(made->shape).hash;
    lifted = std::make_shared<const KeptLift>(KeptLift{std::move(*made), shape_hash});
  }
  std::size_t& seen = seen_once_[key.hash % kSeenOnce];
  if (seen != key.hash) {
    seen = key.hash;
    return lifted;
  }
  if (lifted_.size() >= kCapacity) lifted_.clear();
  lifted_.emplace(KeptText{key.hash, sql}, lifted);
  return lifted;
}

}  // namespace nv407::host
