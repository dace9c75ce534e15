#include "records/mod_pelx.h"

#include <gtest/gtest.h>

#include "com/datetime.h"
#include "support/test_support.h"

namespace pelorix::records {
namespace {

using com::makeDate;
using com::makeDateTime;
using com::makeTime;
using test::expectComError;
namespace err = com::err;

TEST(Bits, ReadAndBuildBitsNibblesAndFields) {
  EXPECT_EQ(GetBit(6, 1), 1);
  EXPECT_EQ(GetBit(6, 0), 0);
  EXPECT_EQ(GetBit(-1, 30), 1);
  expectComError([] { GetBit(1, 31); }, err::kOverflow);
  EXPECT_EQ(BitValue(1, 30), 1 << 30);
  EXPECT_EQ(BitValue(-1, 3), 0);
  EXPECT_EQ(BitValue(2, 3), 0);
  expectComError([] { BitValue(0, 31); }, err::kOverflow);
  EXPECT_EQ(GetNibble(0x00543210, 5), 5);
  EXPECT_EQ(GetNibble(0x00543210, 0), 0);
  EXPECT_EQ(GetNibble(0x7FFFFFFF, 6), 15);
  expectComError([] { GetNibble(0, 7); }, err::kOverflow);
  EXPECT_EQ(NibbleValue(-1, 5), 0x00F00000);
  EXPECT_EQ(NibbleValue(0x13, 1), 0x30);
  EXPECT_EQ(GetBitField(0x1234, 4, 8), 0x23);
  EXPECT_EQ(GetBitField(0x1234, 4, 0), 0);
  EXPECT_EQ(GetBitField(0x1234, 4, -3), 0);
  EXPECT_EQ(GetBitField(-1, 0, 15), 0x7FFF);
  expectComError([] { GetBitField(-1, 0, 16); }, err::kOverflow);
}

TEST(Bits, MaskLineBreaksTurnsEveryCrAndLfIntoCodeOne) {
  EXPECT_EQ(MaskLineBreaks("a\r\nb"),
            "a\x01\x01"
            "b");
  EXPECT_EQ(MaskLineBreaks("\n\n\xC3\xA9"), "\x01\x01\xC3\xA9");
}

TEST(MultiValueDates, CountDaysFromTheLastDayOf1967) {
  EXPECT_EQ(DateToMvDate(makeDate(1967, 12, 31)), 0);
  EXPECT_EQ(DateToMvDate(makeDate(1968, 1, 1)), 1);
  EXPECT_EQ(DateToMvDate(makeDate(2001, 5, 7)), 12181);
  EXPECT_EQ(DateToMvDate(makeDate(1967, 12, 1)), -30);
  EXPECT_EQ(MvDateToDate(12181), makeDate(2001, 5, 7));
  EXPECT_EQ(MvDateToDate(-30), makeDate(1967, 12, 1));
  expectComError([] { MvDateToDate(INT32_MAX); }, err::kOverflow);
}

TEST(MultiValueDates, ATimeOfDayRoundsToTheNearestDay) {
  EXPECT_EQ(DateToMvDate(makeDateTime({2001, 5, 7, 11, 59, 59})), 12181);
  EXPECT_EQ(DateToMvDate(makeDateTime({2001, 5, 7, 13, 0, 0})), 12182);
  // Exactly noon goes to the day with an even automation day count.
  com::DateTime noon = makeDateTime({2001, 5, 7, 12, 0, 0});
  bool evenDay = static_cast<long long>(makeDate(2001, 5, 7).days) % 2 == 0;
  EXPECT_EQ(DateToMvDate(noon), evenDay ? 12181 : 12182);
  EXPECT_EQ(DateToMvDate(makeDateTime({2001, 5, 8, 12, 0, 0})), evenDay ? 12183 : 12182);
}

TEST(HandheldDates, PackYearsFrom1904MonthAndDay) {
  EXPECT_EQ(DateToPalmDate(makeDate(2001, 5, 7)), 0xC2A7);
  EXPECT_EQ(PalmDateToDate(0xC2A7), makeDate(2001, 5, 7));
  EXPECT_EQ(DateToPalmDate(makeDate(1904, 1, 1)), 0x0021);
  EXPECT_EQ(DateToPalmDate(makeDate(2031, 12, 31)), 0xFF9F);
  expectComError([] { DateToPalmDate(makeDate(1903, 12, 31)); }, err::kOverflow);
  expectComError([] { DateToPalmDate(makeDate(2032, 1, 1)); }, err::kOverflow);
  // Month 0 or above 12 reads as December; a day the month lacks fails.
  EXPECT_EQ(com::splitDateTime(PalmDateToDate(0xC207)).month, 12);
  EXPECT_EQ(com::splitDateTime(PalmDateToDate(0xC3A7)).month, 12);
  expectComError([] { PalmDateToDate(0xC2A0); }, err::kTypeMismatch);  // day 0
  expectComError([] { PalmDateToDate(0xC25E); }, err::kTypeMismatch);  // 30 February
  EXPECT_EQ(PalmDateToDate(0xFFFF), makeDate(2031, 12, 31));           // month 15 reads as December
}

TEST(Times, HandheldAndMultiValueTimes) {
  EXPECT_EQ(PalmTimeToDate(0x0A1E), makeTime(10, 30, 0));
  EXPECT_EQ(DateToPalmTime(makeTime(10, 30, 45)), 0x0A1E);
  expectComError([] { PalmTimeToDate(0xFFFF); }, err::kTypeMismatch);
  expectComError([] { PalmTimeToDate(0x1800); }, err::kTypeMismatch);
  expectComError([] { PalmTimeToDate(0x0A3C); }, err::kTypeMismatch);
  EXPECT_EQ(MvTimeToDate(37845), makeTime(10, 30, 45));
  EXPECT_EQ(DateToMvTime(makeTime(10, 30, 45)), 37845);
  EXPECT_EQ(MvTimeToDate(86399), makeTime(23, 59, 59));
  expectComError([] { MvTimeToDate(86400); }, err::kTypeMismatch);
  expectComError([] { MvTimeToDate(-1); }, err::kTypeMismatch);
}

TEST(LineBreaks, MultiLineTextsTravelAsSubvalueMarks) {
  EXPECT_EQ(lineBreaksToSvm("a\r\nb\rc\nd\n\re"),
            "a\xFC"
            "b\xFC"
            "c\xFC"
            "d\xFC\xFC"
            "e");
  EXPECT_EQ(svmToLineBreaks("a\xFC"
                            "b\xFC"),
            "a\r\nb\r\n");
  EXPECT_EQ(toHandheldLineBreaks("a\r\nb\rc\nd"), "a\nb\nc\nd");
}

}  // namespace
}  // namespace pelorix::records
