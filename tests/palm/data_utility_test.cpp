#include <gtest/gtest.h>

#include "palm/pddirect.h"
#include "support/test_support.h"

namespace pelorix::pddirect {
namespace {

using com::ByteArray;
using test::expectComError;

class DataUtilityTest : public ::testing::Test {
 protected:
  Ref<IPDUtility> u = newUtility();
};

TEST_F(DataUtilityTest, NumbersAreStoredMostSignificantByteFirst) {
  ByteArray b(6, 0);
  EXPECT_EQ(u->WriteWord(b, 0, true, 0xC2A7), 2);
  EXPECT_EQ(u->WriteDWord(b, 2, true, 0x01020304), 6);
  EXPECT_EQ(b, (ByteArray{0xC2, 0xA7, 1, 2, 3, 4}));
  std::uint16_t w;
  std::uint32_t d;
  EXPECT_EQ(u->ReadWord(b, 0, true, w), 2);
  EXPECT_EQ(w, 0xC2A7);
  EXPECT_EQ(u->ReadDWord(b, 2, true, d), 6);
  EXPECT_EQ(d, 0x01020304u);
  u->ReadWord(b, 0, false, w);
  EXPECT_EQ(w, 0xA7C2);
}

TEST_F(DataUtilityTest, TextsAreZeroTerminatedHandheldCharacters) {
  std::string text = "Caf\xC3\xA9\r\nline";
  ByteArray b(static_cast<size_t>(u->TextSize(text)) + 3, 0xEE);
  std::int32_t next = u->WriteText(b, 0, text);
  EXPECT_EQ(next, 11);
  EXPECT_EQ(b[3], 0xE9);
  EXPECT_EQ(b[10], 0);
  u->WriteText(b, next, "ab");
  std::string first, second;
  EXPECT_EQ(u->ReadText(b, 0, 66525, first), 11);
  EXPECT_EQ(first, text);
  EXPECT_EQ(u->ReadNoteText(b, 11, 13, second), 14);
  EXPECT_EQ(second, "ab");
  EXPECT_EQ(u->ReadText(b, 0, 3, first), 11);  // the limit shortens the text, not the step
  EXPECT_EQ(first, "Caf");
  EXPECT_EQ(u->ReadFixedText(b, 0, 3, first), 3);
  EXPECT_EQ(first, "Caf");
}

TEST_F(DataUtilityTest, NothingIsReadOrWrittenOutsideTheBuffer) {
  ByteArray b(3, 0);
  std::uint16_t w;
  std::uint32_t d;
  std::string t;
  expectComError([&] { u->WriteWord(b, 2, true, 1); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { u->ReadWord(b, -1, true, w); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { u->ReadDWord(b, 0, true, d); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { u->WriteText(b, 1, "abc"); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { u->ReadFixedText(b, 1, 5, t); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { u->ReadText(b, 4, 0, t); }, com::err::kSubscriptOutOfRange);
  ByteArray unterminated{'a', 'b'};
  expectComError([&] { u->ReadText(unterminated, 0, 0, t); }, com::err::kSubscriptOutOfRange);
  EXPECT_EQ(b, ByteArray(3, 0));
  // Reading at the very end of a buffer finds no text.
  expectComError([&] { u->ReadText(b, 3, 0, t); }, com::err::kSubscriptOutOfRange);
}

TEST_F(DataUtilityTest, RecordIdsTurnIntoTextAndBackExactly) {
  for (std::int32_t id : {1, 0x123456, 0xFFFFFF, INT32_MAX, INT32_MIN, -1}) {
    std::string text = u->RecordIdToText(com::Variant(id));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(u->TextToRecordId(text).toInt32(), id);
  }
  expectComError([&] { u->TextToRecordId("x12"); }, com::err::kTypeMismatch);
  EXPECT_EQ(u->LongToText(0x6164'6472, -1), "addr");
}

}  // namespace
}  // namespace pelorix::pddirect
