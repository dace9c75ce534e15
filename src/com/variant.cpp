#include "com/variant.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "com/com_error.h"
#include "com/datetime.h"
#include "com/dispatch.h"

namespace pelorix::com {

namespace {
[[noreturn]] void mismatch() { raise(err::kTypeMismatch, "Variant", "Type mismatch"); }
[[noreturn]] void overflow() { raise(err::kOverflow, "Variant", "Overflow"); }

template <class Int>
Int toWhole(double value) {
  if (std::isnan(value)) overflow();
  double r = roundHalfEven(value);
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    overflow();
  return static_cast<Int>(r);
}
}  // namespace

double roundHalfEven(double value) {
  double lower = std::floor(value);
  double diff = value - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

bool parseNumber(std::string_view text, double& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  // Only plain decimal forms: no "inf", "nan" or hexadecimal.
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
      return false;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return false;
  out = value;
  return true;
}

bool Variant::isNumeric() const noexcept {
  switch (type()) {
    case Type::Bool:
    case Type::Int16:
    case Type::Int32:
    case Type::Double: return true;
    default: return false;
  }
}

double Variant::toDouble() const {
  switch (type()) {
    case Type::Empty: return 0;
    case Type::Bool: return std::get<bool>(v_) ? -1 : 0;
    case Type::Int16: return std::get<std::int16_t>(v_);
    case Type::Int32: return std::get<std::int32_t>(v_);
    case Type::Double: return std::get<double>(v_);
    case Type::Date: return std::get<DateTime>(v_).days;
    case Type::Text: {
      double value;
      if (!parseNumber(std::get<std::string>(v_), value)) mismatch();
      return value;
    }
    default: mismatch();
  }
}

std::int32_t Variant::toInt32() const {
  if (type() == Type::Int32) return std::get<std::int32_t>(v_);
  return toWhole<std::int32_t>(toDouble());
}

std::int16_t Variant::toInt16() const {
  if (type() == Type::Int16) return std::get<std::int16_t>(v_);
  return toWhole<std::int16_t>(toDouble());
}

bool Variant::toBool() const {
  if (type() == Type::Bool) return std::get<bool>(v_);
  if (type() == Type::Text) {
    const std::string& s = std::get<std::string>(v_);
    if (namesEqual(s, "True")) return true;
    if (namesEqual(s, "False")) return false;
  }
  return toDouble() != 0;
}

std::string Variant::toText() const {
  switch (type()) {
    case Type::Empty: return {};
    case Type::Bool: return std::get<bool>(v_) ? "True" : "False";
    case Type::Int16: return std::to_string(std::get<std::int16_t>(v_));
    case Type::Int32: return std::to_string(std::get<std::int32_t>(v_));
    case Type::Double: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.15g", std::get<double>(v_));
      return buffer;
    }
    case Type::Text: return std::get<std::string>(v_);
    case Type::Date: return formatDateTime(std::get<DateTime>(v_));
    default: mismatch();
  }
}

DateTime Variant::toDate() const {
  switch (type()) {
    case Type::Date: return std::get<DateTime>(v_);
    case Type::Text: {
      DateTime d;
      if (!parseDateTime(std::get<std::string>(v_), d)) mismatch();
      return d;
    }
    case Type::Bytes:
    case Type::Object: mismatch();
    default: return DateTime{toDouble()};
  }
}

const ByteArray& Variant::bytes() const {
  if (type() != Type::Bytes) mismatch();
  return std::get<ByteArray>(v_);
}

ByteArray& Variant::bytes() {
  if (type() != Type::Bytes) mismatch();
  return std::get<ByteArray>(v_);
}

Ref<Object> Variant::toObject() const {
  if (type() != Type::Object) mismatch();
  return std::get<Ref<Object>>(v_);
}

bool Variant::isUnsetZeroOrEmpty() const noexcept {
  switch (type()) {
    case Type::Empty: return true;
    case Type::Text: return std::get_if<std::string>(&v_)->empty();
    case Type::Bool: return !*std::get_if<bool>(&v_);
    case Type::Int16: return *std::get_if<std::int16_t>(&v_) == 0;
    case Type::Int32: return *std::get_if<std::int32_t>(&v_) == 0;
    case Type::Double: return *std::get_if<double>(&v_) == 0;
    default: return false;
  }
}

}  // namespace pelorix::com
