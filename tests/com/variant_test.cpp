#include "com/variant.h"

#include <gtest/gtest.h>

#include "com/datetime.h"
#include "support/test_support.h"

namespace pelorix::com {
namespace {

using test::expectComError;

TEST(VariantConversion, WholeNumbersRoundHalvesToEven) {
  EXPECT_EQ(Variant(2.5).toInt32(), 2);
  EXPECT_EQ(Variant(3.5).toInt32(), 4);
  EXPECT_EQ(Variant(-2.5).toInt32(), -2);
  EXPECT_EQ(Variant(-3.5).toInt32(), -4);
  EXPECT_EQ(Variant(2.4999).toInt32(), 2);
  EXPECT_EQ(Variant(" 12.5 ").toInt32(), 12);
  EXPECT_EQ(Variant("13.5").toInt16(), 14);
  EXPECT_EQ(Variant(true).toInt32(), -1);
  EXPECT_EQ(Variant().toInt32(), 0);
}

TEST(VariantConversion, OutOfRangeOverflows) {
  expectComError([] { Variant(2147483647.5).toInt32(); }, err::kOverflow);
  expectComError([] { Variant("-2147483649").toInt32(); }, err::kOverflow);
  expectComError([] { Variant(std::int32_t{40000}).toInt16(); }, err::kOverflow);
  EXPECT_EQ(Variant(-2147483648.0).toInt32(), INT32_MIN);
  EXPECT_EQ(Variant(std::int32_t{-32768}).toInt16(), -32768);
}

TEST(VariantConversion, TextThatIsNotANumberIsATypeMismatch) {
  for (const char* text : {"", " ", "12a", "abc", "1 2", "0x10", "inf", "nan", "--1"})
    expectComError([&] { Variant(text).toInt32(); }, err::kTypeMismatch);
  expectComError([] { Variant(ByteArray{1}).toInt32(); }, err::kTypeMismatch);
  expectComError([] { Variant(ByteArray{1}).toText(); }, err::kTypeMismatch);
  expectComError([] { Variant("x").bytes(); }, err::kTypeMismatch);
}

TEST(VariantConversion, BooleansAcceptNumbersAndTheWords) {
  EXPECT_TRUE(Variant("2").toBool());
  EXPECT_FALSE(Variant("0").toBool());
  EXPECT_TRUE(Variant("tRuE").toBool());
  EXPECT_FALSE(Variant("FALSE").toBool());
  EXPECT_TRUE(Variant(std::int16_t{-1}).toBool());
  expectComError([] { Variant("").toBool(); }, err::kTypeMismatch);
  expectComError([] { Variant("yes").toBool(); }, err::kTypeMismatch);
}

TEST(VariantConversion, TextForms) {
  EXPECT_EQ(Variant(std::int32_t{-42}).toText(), "-42");
  EXPECT_EQ(Variant(1.5).toText(), "1.5");
  EXPECT_EQ(Variant(true).toText(), "True");
  EXPECT_EQ(Variant().toText(), "");
  EXPECT_EQ(Variant(makeDateTime({2001, 5, 7, 10, 30, 45})).toText(), "2001-05-07 10:30:45");
}

TEST(VariantConversion, UnsetZeroOrEmptyMarksANewRecordId) {
  EXPECT_TRUE(Variant().isUnsetZeroOrEmpty());
  EXPECT_TRUE(Variant(std::int32_t{0}).isUnsetZeroOrEmpty());
  EXPECT_TRUE(Variant(0.0).isUnsetZeroOrEmpty());
  EXPECT_TRUE(Variant("").isUnsetZeroOrEmpty());
  EXPECT_FALSE(Variant("0").isUnsetZeroOrEmpty());
  EXPECT_FALSE(Variant(std::int32_t{5}).isUnsetZeroOrEmpty());
  EXPECT_FALSE(Variant(ByteArray{}).isUnsetZeroOrEmpty());
}

TEST(DateTimes, CivilDatesCountFromTheAutomationEpoch) {
  EXPECT_EQ(makeDate(1899, 12, 30).days, 0);
  EXPECT_EQ(makeDate(1900, 1, 1).days, 2);
  EXPECT_EQ(makeDate(1904, 1, 1).days, 1462);
  EXPECT_EQ(makeDate(1967, 12, 31).days, 24837);
  EXPECT_DOUBLE_EQ(makeTime(12, 0, 0).days, 0.5);
  // Before the epoch the time of day still runs forwards.
  DateParts p = splitDateTime(makeDateTime({1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
}

TEST(DateTimes, InvalidPartsAreRefused) {
  expectComError([] { makeDate(2001, 2, 29); }, err::kTypeMismatch);
  expectComError([] { makeDate(2001, 13, 1); }, err::kTypeMismatch);
  expectComError([] { makeTime(24, 0, 0); }, err::kTypeMismatch);
  EXPECT_NO_THROW(makeDate(2000, 2, 29));
}

TEST(DateTimes, SplitAndParseRoundTrip) {
  for (const char* text : {"2001-05-07 10:30:45", "1968-01-01", "2031-12-31 23:59:59", "1850-06-15 01:02:03"}) {
    DateTime d;
    ASSERT_TRUE(parseDateTime(text, d)) << text;
    EXPECT_EQ(formatDateTime(d), text);
  }
  DateTime d;
  for (const char* bad : {"", "2001-02-30", "2001-05-07T10:30", "10:60", "yesterday", "2001-05-07 "})
    EXPECT_FALSE(parseDateTime(bad, d)) << bad;
}

}  // namespace
}  // namespace pelorix::com
