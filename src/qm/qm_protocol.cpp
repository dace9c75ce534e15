#include "qm/qm_protocol.h"

#include <cctype>
#include <limits>

namespace pelorix::qm {

namespace {

void put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::uint32_t get(std::string_view bytes, size_t at, size_t width) {
  std::uint32_t v = 0;
  for (size_t i = 0; i < width; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return v;
}

void putPadded(std::string& out, std::string_view text) {
  out.append(text);
  if (text.size() % 2) out += '\0';
}

std::uint32_t checkedLength(size_t n) {
  if (n > std::numeric_limits<std::int32_t>::max()) throw std::length_error("more than 2 GiB in one QMClient packet");
  return static_cast<std::uint32_t>(n);
}

}  // namespace

std::string requestHeader(Action action, size_t dataBytes) {
  std::string out;
  put32(out, checkedLength(dataBytes + kRequestHeaderBytes));
  put16(out, static_cast<std::uint16_t>(action));
  return out;
}

std::string loginData(std::string_view user, std::string_view password) {
  std::string out;
  put16(out, static_cast<std::uint16_t>(user.size()));
  putPadded(out, user);
  put16(out, static_cast<std::uint16_t>(password.size()));
  putPadded(out, password);
  return out;
}

std::string callData(std::string_view subroutine, std::span<const std::string_view> arguments) {
  size_t bytes = 4 + subroutine.size() + 1;
  for (std::string_view a : arguments) bytes += 4 + a.size() + 1;
  std::string out;
  out.reserve(bytes);
  put16(out, static_cast<std::uint16_t>(subroutine.size()));
  putPadded(out, subroutine);
  put16(out, static_cast<std::uint16_t>(arguments.size()));
  for (std::string_view a : arguments) {
    put32(out, checkedLength(a.size()));
    putPadded(out, a);
  }
  return out;
}

ReplyHeader parseReplyHeader(std::string_view bytes) {
  if (bytes.size() != kReplyHeaderBytes) throw ProtocolError("a reply header is 10 bytes");
  std::uint32_t length = get(bytes, 0, 4);
  if (length < kReplyHeaderBytes || length > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
    throw ProtocolError("a reply announced " + std::to_string(length) + " bytes");
  ReplyHeader h;
  h.dataBytes = length - kReplyHeaderBytes;
  std::uint16_t outcome = static_cast<std::uint16_t>(get(bytes, 4, 2));
  if (outcome > static_cast<std::uint16_t>(Outcome::Prompt))
    throw ProtocolError("a reply had the unknown outcome " + std::to_string(outcome));
  h.outcome = static_cast<Outcome>(outcome);
  h.status = static_cast<std::int32_t>(get(bytes, 6, 4));
  return h;
}

std::optional<std::string> changedArgument(std::string_view data, int n) {
  // Each changed argument: its number (2), its length (4), the text padded
  // to an even length; in ascending order of number.
  size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < 6) throw ProtocolError("a call's reply ends inside an argument's header");
    int number = static_cast<std::int16_t>(get(data, at, 2));
    size_t length = get(data, at + 2, 4);
    at += 6;
    if (length > data.size() - at) throw ProtocolError("a call's reply ends inside argument " + std::to_string(number));
    if (number == n) return std::string(data.substr(at, length));
    at += length;
    if (length % 2) ++at;
  }
  return std::nullopt;
}

std::string abortMessage(std::string_view data) {
  std::string_view text = data;
  if (size_t end = text.find('\0'); end != std::string_view::npos) text = text.substr(0, end);
  // "00000D06: Unable to load ..." - the address means nothing to a user.
  if (text.size() > 10 && text[8] == ':' && text[9] == ' ') {
    bool hex = true;
    for (size_t i = 0; i < 8; ++i) hex = hex && std::isxdigit(static_cast<unsigned char>(text[i]));
    if (hex) text.remove_prefix(10);
  }
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace pelorix::qm
