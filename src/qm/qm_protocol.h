#pragma once
// The QMClient wire format, as ScarletDME, the GPL line of OpenQM and OpenQM
// speak it. Every number is little-endian whatever the machine. A request is
// its length (4 bytes, counting its 6-byte header), the action (2) and the
// data; a reply is its length (4, counting its 10-byte header), the server's
// outcome (2), STATUS() (4) and the data. Texts inside a request are padded
// to an even length.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pelorix::qm {

enum class Action : std::uint16_t {
  Quit = 1,
  GetError = 2,
  Account = 3,
  Call = 20,
  Login = 24,
  LocalLogin = 25,
};

enum class Outcome : std::uint16_t {
  Ok = 0,
  Aborted = 1,  // the action ended in an abort; the data is its message
  Else = 2,
  Error = 3,  // GetError fetches the text
  Locked = 4,
  Prompt = 5,  // the program waits for input
};

inline constexpr size_t kRequestHeaderBytes = 6;
inline constexpr size_t kReplyHeaderBytes = 10;
// Limits the server enforces; checked here so that the user hears why.
inline constexpr size_t kMaxLoginText = 32;
inline constexpr size_t kMaxCallName = 63;
inline constexpr size_t kMaxAccountName = 32;

// A reply that breaks the format: the byte stream can no longer be trusted.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string requestHeader(Action action, size_t dataBytes);
std::string loginData(std::string_view user, std::string_view password);
std::string callData(std::string_view subroutine, std::span<const std::string_view> arguments);

struct ReplyHeader {
  size_t dataBytes = 0;
  Outcome outcome = Outcome::Ok;
  std::int32_t status = 0;
};
ReplyHeader parseReplyHeader(std::string_view tenBytes);

// The value a call left in argument n (from 1), when it changed it.
std::optional<std::string> changedArgument(std::string_view replyData, int n);

// An abort message without the code address that the server puts before it.
std::string abortMessage(std::string_view replyData);

}  // namespace pelorix::qm
