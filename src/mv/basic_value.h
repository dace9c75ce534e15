#pragma once
// Values of MultiValue BASIC: a text, or a number kept at full precision
// that becomes a text (PRECISION 4) only where a text is needed. Texts are
// UTF-8: functions count characters, and a byte that is not part of a valid
// sequence (a mark, say) counts as one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorix::mv {

// Character classes of source text and codes, whatever the locale.
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isLetterOrDigit(char c) { return isDigit(c) || isLetter(c); }

// For arithmetic: a decimal number with optional sign and fraction, blanks
// around it allowed; "" counts as 0.
std::optional<double> asNumber(std::string_view text);
// For comparisons and NUM(): no blanks, and "" is not a number.
std::optional<double> asStrictNumber(std::string_view text);
// -1, 0 or 1: numerically when both sides are numbers, otherwise as texts.
int compareValues(const std::string& a, const std::string& b);
// Whole numbers in full, others rounded to 4 decimals (PRECISION 4).
std::string formatNumber(double value);

class Value {
 public:
  Value() = default;
  Value(std::string text) : text_(std::move(text)), kind_(kText) {}
  Value(const char* text) : text_(text), kind_(kText) {}
  static Value number(double n) {
    Value v;
    v.kind_ = kNumber;
    v.number_ = n;
    return v;
  }
  static Value boolean(bool b) { return number(b ? 1 : 0); }

  // Never assigned: reads as "".
  bool unassigned() const { return kind_ == kUnassigned; }
  bool isNumber() const { return kind_ == kNumber; }

  // The text; a number is written once, when first asked for.
  const std::string& text() const {
    if (kind_ == kNumber && !textReady_) {
      text_ = formatNumber(number_);
      textReady_ = true;
    }
    return text_;
  }
  std::string takeText() {
    text();
    kind_ = kUnassigned;
    return std::move(text_);
  }
  // The text to change in place; the value is a text from now on.
  std::string& mutableText() {
    text();
    kind_ = kText;
    parsed_ = kUnparsed;
    return text_;
  }

  // For arithmetic: blanks around allowed, "" is 0.
  std::optional<double> arithmetic() const {
    if (kind_ == kNumber) return number_;
    parse();
    if (parsed_ == kNotNumber) return std::nullopt;
    return number_;
  }
  // For comparisons and NUM(): no blanks, "" is not a number.
  std::optional<double> strict() const {
    if (kind_ == kNumber) return number_;
    parse();
    if (parsed_ != kStrict) return std::nullopt;
    return number_;
  }

 private:
  void parse() const;
  enum Kind : std::uint8_t { kUnassigned, kText, kNumber };
  enum Parsed : std::uint8_t { kUnparsed, kStrict, kLoose, kNotNumber };
  mutable std::string text_;
  mutable double number_ = 0;
  Kind kind_ = kUnassigned;
  mutable bool textReady_ = false;
  mutable Parsed parsed_ = kUnparsed;  // of a text
};

// -1, 0 or 1: numerically when both sides are numbers (equal within the
// last digits a double holds, so 0.1 + 0.2 = 0.3), otherwise as texts.
int compareValues(const Value& a, const Value& b);

// ---- UTF-8 characters ----
// The length in bytes of the character starting at `at`.
size_t charLength(std::string_view text, size_t at);
size_t charCount(std::string_view text);
// The byte offset of character `index` (0-based), or text.size().
size_t byteOffset(std::string_view text, size_t index);
// The character index of byte offset `at`.
size_t charIndex(std::string_view text, size_t at);
std::string upperText(std::string_view text);
std::string lowerText(std::string_view text);

}  // namespace pelorix::mv
