// The handheld data utility: numbers and texts inside a record buffer.

#include <algorithm>

#include "com/com_error.h"
#include "palm/palm_text.h"
#include "palm/pdb_database.h"
#include "palm/pddirect.h"

namespace pelorix::palm {

using com::ByteArray;
namespace err = com::err;

namespace {

constexpr const char* kSource = "PDUtility";

// The offset as an index, checking that `size` bytes fit from it on.
size_t place(const ByteArray& buffer, std::int32_t offset, size_t size) {
  if (offset < 0 || static_cast<size_t>(offset) > buffer.size() || buffer.size() - offset < size)
    com::raise(
        err::kSubscriptOutOfRange, kSource,
        "Offset " + std::to_string(offset) + " lies outside the " + std::to_string(buffer.size()) + "-byte record");
  return static_cast<size_t>(offset);
}

std::int32_t after(size_t at, size_t size) { return static_cast<std::int32_t>(at + size); }

class PDUtility final : public pddirect::IPDUtility {
 public:
  std::int32_t WriteWord(ByteArray& b, std::int32_t offset, bool swap, std::uint16_t value) override {
    size_t at = place(b, offset, 2);
    b[at + (swap ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
    b[at + (swap ? 1 : 0)] = static_cast<std::uint8_t>(value);
    return after(at, 2);
  }
  std::int32_t ReadWord(const ByteArray& b, std::int32_t offset, bool swap, std::uint16_t& value) override {
    size_t at = place(b, offset, 2);
    value =
        swap ? static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]) : static_cast<std::uint16_t>(b[at + 1] << 8 | b[at]);
    return after(at, 2);
  }
  std::int32_t WriteDWord(ByteArray& b, std::int32_t offset, bool swap, std::uint32_t value) override {
    size_t at = place(b, offset, 4);
    for (int i = 0; i < 4; ++i) b[at + (swap ? i : 3 - i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return after(at, 4);
  }
  std::int32_t ReadDWord(const ByteArray& b, std::int32_t offset, bool swap, std::uint32_t& value) override {
    size_t at = place(b, offset, 4);
    value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | b[at + (swap ? i : 3 - i)];
    return after(at, 4);
  }
  std::int32_t WriteText(ByteArray& b, std::int32_t offset, const std::string& text) override {
    std::string palm = toPalmText(text);  // holds no zero: a NUL became a blank
    size_t at = place(b, offset, palm.size() + 1);
    std::copy(palm.begin(), palm.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    b[at + palm.size()] = 0;
    return after(at, palm.size() + 1);
  }
  std::int32_t ReadText(const ByteArray& b, std::int32_t offset, std::int32_t limit, std::string& text) override {
    size_t at = place(b, offset, 0);
    auto start = b.begin() + static_cast<std::ptrdiff_t>(at);
    auto end = std::find(start, b.end(), 0);
    size_t length = static_cast<size_t>(end - start);
    if (end == b.end())
      com::raise(err::kSubscriptOutOfRange, kSource,
                 "The text at offset " + std::to_string(offset) + " has no terminating zero");
    size_t kept = limit > 0 ? std::min(length, static_cast<size_t>(limit)) : length;
    text = fromPalmText(std::string_view(reinterpret_cast<const char*>(b.data() + at), kept));
    return after(at, length + 1);
  }
  std::int32_t ReadNoteText(const ByteArray& b, std::int32_t offset, std::int32_t, std::string& text) override {
    return ReadText(b, offset, 0, text);
  }
  std::int32_t ReadFixedText(const ByteArray& b, std::int32_t offset, std::int32_t length, std::string& text) override {
    if (length < 0) com::raise(err::kInvalidArgument, kSource, "Negative text length");
    size_t at = place(b, offset, static_cast<size_t>(length));
    text = fromPalmText(std::string_view(reinterpret_cast<const char*>(b.data() + at), static_cast<size_t>(length)));
    return after(at, static_cast<size_t>(length));
  }
  std::string RecordIdToText(const com::Variant& id) override { return std::to_string(id.toInt32()); }
  com::Variant TextToRecordId(const std::string& text) override { return com::Variant(com::Variant(text).toInt32()); }
  std::string LongToText(std::int32_t value, std::int32_t) override {
    return fromPalmText(fourCCText(static_cast<std::uint32_t>(value)));
  }
  std::int32_t TextSize(const std::string& text) override {
    return static_cast<std::int32_t>(palmTextLength(text) + 1);
  }
};

}  // namespace
}  // namespace pelorix::palm

namespace pelorix::pddirect {
Ref<IPDUtility> newUtility() { return com::make<palm::PDUtility>(); }
}  // namespace pelorix::pddirect
