// The readable form of a dynamic array reads back as the same array.

#include "records/readable_marks.h"

#include <gtest/gtest.h>

#include <random>

namespace pelorix::records {
namespace {

// Two line breaks must not read back as a backslash, nor a line break before
// a literal mark character as that character.
TEST(ReadableMarks, EveryArrayReadsBackExactly) {
  EXPECT_EQ(toReadableMarks("12\xFD"
                            "Buy milk\xFC"
                            "and eggs\xFE"
                            "x"),
            "12]Buy milk\\and eggs^x");
  EXPECT_EQ(fromReadableMarks(toReadableMarks("a\xFC\xFC"
                                              "b")),
            "a\xFC\xFC"
            "b");
  EXPECT_EQ(fromReadableMarks(toReadableMarks("\xFC^\\]~\xFD~~")), "\xFC^\\]~\xFD~~");
  const char alphabet[] = {'\xFE', '\xFD', '\xFC', '^', ']', '\\', '~', 'a', ' '};
  std::mt19937 rng(1306);
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1), length(0, 24);
  for (int i = 0; i < 5000; ++i) {
    std::string raw;
    for (size_t n = length(rng); n > 0; --n) raw += alphabet[pick(rng)];
    ASSERT_EQ(fromReadableMarks(toReadableMarks(raw)), raw) << toReadableMarks(raw);
  }
}

}  // namespace
}  // namespace pelorix::records
