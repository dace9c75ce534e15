#pragma once
// COM errors: every failure that crosses an object boundary is one of these.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pelorix::com {

using HRESULT = std::int32_t;

constexpr HRESULT hr(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

namespace err {
inline constexpr HRESULT kOk = 0;
inline constexpr HRESULT kFalse = 1;
inline constexpr HRESULT kFail = hr(0x80004005);
inline constexpr HRESULT kNotImplemented = hr(0x80004001);
inline constexpr HRESULT kNoInterface = hr(0x80004002);
inline constexpr HRESULT kInvalidArgument = hr(0x80070057);
inline constexpr HRESULT kAccessDenied = hr(0x80070005);
inline constexpr HRESULT kMemberNotFound = hr(0x80020003);
inline constexpr HRESULT kTypeMismatch = hr(0x80020005);
inline constexpr HRESULT kUnknownName = hr(0x80020006);
inline constexpr HRESULT kOverflow = hr(0x8002000A);
inline constexpr HRESULT kSubscriptOutOfRange = hr(0x8002000B);
inline constexpr HRESULT kBadParamCount = hr(0x8002000E);
inline constexpr HRESULT kClassNotRegistered = hr(0x80040154);
inline constexpr HRESULT kDllNotFound = hr(0x800401F8);
// The component's own error: source is the operation, description the database.
inline constexpr HRESULT kPelorix = hr(0x80040065);
// The handheld has no record with the id asked for.
inline constexpr HRESULT kRecordNotFound = hr(0x80042010);
}  // namespace err

class ComError : public std::runtime_error {
 public:
  ComError(HRESULT number, std::string source, std::string description, std::string helpFile = {},
           std::int32_t helpContext = 0);

  HRESULT number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& helpFile() const noexcept { return helpFile_; }
  std::int32_t helpContext() const noexcept { return helpContext_; }

 private:
  HRESULT number_;
  std::string source_;
  std::string description_;
  std::string helpFile_;
  std::int32_t helpContext_;
};

// "0x80020005" style, for messages.
std::string hresultText(HRESULT number);

[[noreturn]] void raise(HRESULT number, std::string source, std::string description);

}  // namespace pelorix::com
