#include <gtest/gtest.h>

#include "record_support.h"
#include "records/cdate_book.h"
#include "support/test_support.h"

namespace pelorix::records {
namespace {

using namespace records::test;
using pelorix::test::expectComError;

// A full Date Book dynamic array from its fields 7 to 21.
std::string dateBookArray(std::vector<std::string> own, std::string key = "K") {
  std::vector<std::string> f = {"", "0", "0", "0", "0", "0"};
  f.insert(f.end(), own.begin(), own.end());
  f.push_back(key);
  return fields(f);
}

const ByteArray kMeeting = bytesOf({0x0A, 0x00, 0x0B, 0x1E, 0xC2, 0xA7, 0x04, 0x00, 'M', 'e', 'e', 't', 0, 0});

TEST(DateBook, TheWorkedMeetingGoesBothWays) {
  std::string array =
      dateBookArray({"36000", "12181", "41400", "0", "0", "0", "0", "0", "", "0", "0", "0", "", "Meet", ""});
  EXPECT_EQ(palmData(*fromHost<CDateBook>(array)), kMeeting);
  auto decoded = fromPalm<CDateBook>(kMeeting, 0, 0);
  EXPECT_EQ(decoded->CreateDynamicArray(),
            dateBookArray({"36000", "12181", "41400", "0", "0", "0", "0", "0", "", "0", "0", "0", "", "Meet", ""}, ""));
}

TEST(DateBook, AnEventWithoutTimeHasNoTimes) {
  auto r = fromPalm<CDateBook>(bytesOf({0xFF, 0xFF, 0x0B, 0x1E, 0xC2, 0xA7, 0x04, 0x00, 0, 0}), 0, 0);
  EXPECT_EQ(r->CreateDynamicArray(),
            dateBookArray({"", "12181", "", "1", "0", "0", "0", "0", "", "0", "0", "0", "", "", ""}, ""));
  auto host = fromHost<CDateBook>(
      dateBookArray({"", "12181", "41400", "0", "0", "0", "0", "0", "", "0", "0", "0", "", "", ""}));
  EXPECT_EQ(palmData(*host), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x04, 0x00, 0, 0}));
}

TEST(DateBook, AlarmRepeatExceptionsAndNote) {
  std::string array = dateBookArray({"36000", "12181", "41400", "0", "1", "10", "1", "2", "12200", "1", "4", "0",
                                     "12181\xFC"
                                     "12182\xFC"
                                     "12190",
                                     "Desc", "n1\xFCn2"});
  auto r = fromHost<CDateBook>(array);
  EXPECT_EQ(r->exceptions(), (std::vector<std::int32_t>{12181, 12182, 12190}));
  ByteArray data = palmData(*r);
  EXPECT_EQ(data[6], 0x40 | 0x20 | 0x10 | 0x08 | 0x04);
  EXPECT_EQ(ByteArray(data.begin() + 8, data.begin() + 10), bytesOf({10, 1}));
  EXPECT_EQ(ByteArray(data.begin() + 10, data.begin() + 18), bytesOf({2, 0, 0xC2, 0xBA, 1, 4, 0, 0}));
  EXPECT_EQ(ByteArray(data.begin() + 18, data.begin() + 26), bytesOf({0, 3, 0xC2, 0xA7, 0xC2, 0xA8, 0xC2, 0xB0}));
  EXPECT_EQ(std::string(data.begin() + 26, data.end()), std::string("Desc\0n1\nn2\0\0", 12));
  // And back: the same array, with the note's line break as one SVM.
  auto back = fromPalm<CDateBook>(data, 0, 0);
  EXPECT_EQ(back->CreateDynamicArray(), array.substr(0, array.size() - 1));
}

TEST(DateBook, OnlyTheFlagsThatHoldDecideTheOptionalParts) {
  auto noRepeat = fromHost<CDateBook>(
      dateBookArray({"", "12181", "", "1", "2", "10", "1", "0", "12200", "1", "4", "0", "", "", ""}));
  EXPECT_EQ(palmData(*noRepeat), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x04, 0, 0, 0}));
  auto minusOne =
      fromHost<CDateBook>(dateBookArray({"", "12181", "", "1", "-1", "10", "1", "0", "", "0", "0", "0", "", "", ""}));
  EXPECT_EQ(palmData(*minusOne)[6], 0x04);
  auto open =
      fromHost<CDateBook>(dateBookArray({"", "12181", "", "1", "0", "0", "0", "2", "", "1", "0", "0", "", "", ""}));
  ByteArray data = palmData(*open);
  EXPECT_EQ(ByteArray(data.begin() + 8, data.begin() + 12), bytesOf({2, 0, 0xFF, 0xFF}));
}

TEST(DateBook, ReservedFlagsAndTheDescriptionBit) {
  auto reserved = fromPalm<CDateBook>(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x07, 0, 'd', 0}));
  EXPECT_EQ(palmData(*reserved), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x07, 0, 'd', 0, 0}));
  auto noDescription = fromPalm<CDateBook>(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x80, 0}));
  EXPECT_EQ(palmData(*noDescription), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x04, 0, 0, 0}));
}

TEST(DateBook, AShortOrBadRecordKeepsWhatWasDecoded) {
  // The flags announce an exception list that is not there.
  auto r = fromPalm<CDateBook>(bytesOf({0x0A, 0x00, 0x0B, 0x1E, 0xC2, 0xA7, 0x0C, 0, 0x00, 0x05, 0xC2}));
  EXPECT_NE(r->CreateDynamicArray().find("\xFD"
                                         "36000\xFD"
                                         "12181\xFD"
                                         "41400\xFD"
                                         "0\xFD"),
            std::string::npos);
  EXPECT_NO_THROW(fromPalm<CDateBook>(bytesOf({0x30, 0x00})));  // hour 48
  EXPECT_NO_THROW(fromPalm<CDateBook>(ByteArray{}));
  // A negative count reads no dates.
  auto negative = fromPalm<CDateBook>(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x0C, 0, 0x80, 0x00, 'd', 0}));
  EXPECT_TRUE(negative->exceptions().empty());
}

TEST(DateBook, HostFieldsThatCannotBeStoredFail) {
  auto r = fromHost<CDateBook>(
      dateBookArray({"", "12181", "", "1", "0", "0", "0", "0", "", "0", "0", "0", "12181", "", ""}));
  std::vector<std::string> base = {"", "12181", "", "1", "0", "0", "0", "0", "", "0", "0", "0", "", "", ""};
  for (auto [field, value] :
       std::vector<std::pair<size_t, std::string>>{{3, "x"}, {6, "70000"}, {9, "256"}, {11, "-1"}, {12, "1\xFCx"}}) {
    auto f = base;
    f[field] = value;
    auto bad = com::make<CDateBook>();
    EXPECT_THROW(bad->ExtractDynamicArray(dateBookArray(f)), com::ComError) << field;
  }
  // Twenty value marks: the note's end is missing and the list keeps its dates.
  std::string short20 = dateBookArray(base);
  short20 = short20.substr(0, short20.rfind('\xFD'));
  expectComError([&] { r->ExtractDynamicArray(short20); }, com::err::kInvalidArgument);
  EXPECT_EQ(r->exceptions(), std::vector<std::int32_t>{12181});
  // Pieces of field 19 that are empty add nothing.
  auto gaps = fromHost<CDateBook>(dateBookArray({"", "12181", "", "1", "0", "0", "0", "0", "", "0", "0", "0",
                                                 "\xFC"
                                                 "5\xFC\xFC"
                                                 "6\xFC",
                                                 "", ""}));
  EXPECT_EQ(gaps->exceptions(), (std::vector<std::int32_t>{5, 6}));
  // Values the handheld cannot take make an empty record.
  for (auto [field, value] :
       std::vector<std::pair<size_t, std::string>>{{1, "x"}, {0, "90000"}, {5, "300"}, {1, "99999"}}) {
    auto f = base;
    f[field] = value;
    if (field == 5) f[4] = "1";
    EXPECT_TRUE(palmData(*fromHost<CDateBook>(dateBookArray(f))).empty()) << field;
  }
}

}  // namespace
}  // namespace pelorix::records
