#pragma once
// The value type of every late-bound call.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "com/object.h"

namespace pelorix::com {

// A point in time as automation dates count it: days since 30 December 1899,
// the fraction being the time of day.
struct DateTime {
  double days = 0;
  friend bool operator==(DateTime, DateTime) = default;
};

using ByteArray = std::vector<std::uint8_t>;

class Variant {
 public:
  enum class Type { Empty, Bool, Int16, Int32, Double, Text, Date, Bytes, Object };

  Variant() = default;
  Variant(bool v) : v_(v) {}
  Variant(std::int16_t v) : v_(v) {}
  Variant(std::int32_t v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(const char* v) : v_(std::string(v)) {}
  Variant(DateTime v) : v_(v) {}
  Variant(ByteArray v) : v_(std::move(v)) {}
  Variant(Ref<Object> v) : v_(std::move(v)) {}
  template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T>>>
  Variant(Ref<T> v) : v_(Ref<Object>(std::move(v))) {}

  Type type() const noexcept { return static_cast<Type>(v_.index()); }
  bool isEmpty() const noexcept { return type() == Type::Empty; }
  bool isNumeric() const noexcept;

  // Conversions as automation does them: numbers round to nearest with
  // halves to even, texts must hold a number, out of range is kOverflow,
  // anything else kTypeMismatch.
  bool toBool() const;
  std::int16_t toInt16() const;
  std::int32_t toInt32() const;
  double toDouble() const;
  std::string toText() const;
  DateTime toDate() const;
  const ByteArray& bytes() const;  // kTypeMismatch unless a byte array
  ByteArray& bytes();
  Ref<Object> toObject() const;  // kTypeMismatch unless an object

  // Unset, the number 0 or the empty text: a record id that the handheld has
  // not given yet.
  bool isUnsetZeroOrEmpty() const noexcept;

  friend bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

 private:
  std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, std::string, DateTime, ByteArray, Ref<Object>>
      v_;
};

// The COM Boolean values.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// Parses a decimal number with optional blanks around it, as a text-to-number
// conversion does; false when the text is not a number.
bool parseNumber(std::string_view text, double& out);

// Rounds to a whole number, halves to even.
double roundHalfEven(double value);

}  // namespace pelorix::com
