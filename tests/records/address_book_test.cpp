#include <gtest/gtest.h>

#include "record_support.h"
#include "records/caddress_book_rec.h"
#include "support/test_support.h"

namespace pelorix::records {
namespace {

using namespace records::test;
using pelorix::test::expectComError;

// Fields 7 to 31 of an address with the given texts (index -> text); labels 0, display phone 1.
std::string addressArray(const std::map<size_t, std::string>& texts, std::string display = "1",
                         std::string label1 = "0") {
  std::vector<std::string> f = {"", "0", "0", "0", "0", "0"};
  for (size_t i = 0; i < 19; ++i) {
    f.push_back(texts.count(i) ? texts.at(i) : "");
    if (i >= 3 && i <= 7) f.push_back(i == 3 ? label1 : "0");
    if (i == 7) f.push_back(display);
  }
  f.push_back("KEY");
  return fields(f);
}

TEST(AddressBook, FirstNameAndPhoneEncodeAsTheHandheldStoresThem) {
  auto r = fromHost<CAddressBookRec>(addressArray({{1, "Ann"}, {3, "555"}}));
  EXPECT_EQ(palmData(*r), bytesOf({0, 0, 0, 0, 0, 0, 0, 0x0A, 0, 'A', 'n', 'n', 0, '5', '5', '5', 0, 0}));
}

TEST(AddressBook, TheCompanyOffsetCountsTheNamesBeforeIt) {
  auto lastAndCompany = palmData(*fromHost<CAddressBookRec>(addressArray({{0, "Li"}, {2, "Acme"}})));
  EXPECT_EQ(lastAndCompany[7], 0x05);
  EXPECT_EQ(lastAndCompany[8], 4);
  EXPECT_EQ(palmData(*fromHost<CAddressBookRec>(addressArray({{0, "Li"}, {1, "Bo"}, {2, "Acme"}})))[8], 7);
  EXPECT_EQ(palmData(*fromHost<CAddressBookRec>(addressArray({{0, "Li"}, {1, "Bo"}})))[8], 0);
  // Lengths count handheld characters, not UTF-8 bytes.
  EXPECT_EQ(palmData(*fromHost<CAddressBookRec>(addressArray({{0, "L\xC3\xBC"}, {2, "X"}})))[8], 4);
}

TEST(AddressBook, LabelsAndTheDisplayPhoneShareTheOptionsWord) {
  ByteArray data = bytesOf({0xAB, 0x43, 0x21, 0x05, 0, 0, 0, 0x08, 0xEE, 'p', 0, 0});
  auto r = fromPalm<CAddressBookRec>(data);
  std::string array = r->CreateDynamicArray();
  // Labels 5, 0, 1, 2, 3 and display phone 4 + 1; bits 24-31 and the offset byte are ignored.
  EXPECT_NE(array.find(fields({"", "p", "5", "", "0", "", "1", "", "2", "", "3", "5"})), std::string::npos);
  auto zero = fromHost<CAddressBookRec>(addressArray({{1, "A"}}, "0"));
  ByteArray encoded = palmData(*zero);
  EXPECT_EQ(encoded[1], 0xF0);
  auto again = fromPalm<CAddressBookRec>(encoded);
  EXPECT_NE(again->CreateDynamicArray().find("\xFD"
                                             "16\xFD"),
            std::string::npos);
  EXPECT_TRUE(palmData(*fromHost<CAddressBookRec>(addressArray({{1, "A"}}, "-32768"))).empty());
}

TEST(AddressBook, OnlyTheNoteIsMultiLine) {
  auto r = fromHost<CAddressBookRec>(addressArray({{8, "1 Road\r\nTown"},
                                                   {18,
                                                    "a\xFC"
                                                    "b"}}));
  ByteArray data = palmData(*r);
  std::string text(data.begin() + 9, data.end());
  EXPECT_EQ(text, std::string("1 Road\r\nTown\0a\nb\0\0", 18));
  std::string back = fromPalm<CAddressBookRec>(data)->CreateDynamicArray();
  EXPECT_NE(back.find("\xFD"
                      "1 Road\r\nTown\xFD"),
            std::string::npos);
  EXPECT_NE(back.find("\xFD"
                      "a\xFC"
                      "b\xFD"),
            std::string::npos);
}

TEST(AddressBook, PresenceBitsDecideWhatIsRead) {
  auto r = fromPalm<CAddressBookRec>(bytesOf({0, 0, 0, 0, 0xFF, 0xF8, 0, 0x01, 0, 'X', 0, 0}));
  EXPECT_EQ(r->text(0), "X");
  EXPECT_EQ(r->text(18), "");  // bit 18 clear: the note is not touched
  auto full = fromHost<CAddressBookRec>(addressArray({{18, "kept"}}));
  Variant id(std::int32_t{1});
  full->CreateClass(id, 0, 0, Variant(bytesOf({0, 0, 0, 0, 0, 0, 0, 0x01, 0, 'Y', 0, 0})));
  EXPECT_EQ(full->text(18), "kept");
}

TEST(AddressBook, AShortRecordKeepsWhatWasDecodedAndRaisesNothing) {
  // The presence bits announce a third text after the end of the record.
  auto r = fromPalm<CAddressBookRec>(bytesOf({0, 0, 0, 0, 0, 0, 0, 0x07, 0, 'A', 0, 'B', 0}));
  EXPECT_EQ(r->text(0), "A");
  EXPECT_EQ(r->text(1), "B");
  EXPECT_EQ(r->text(2), "");
  EXPECT_NO_THROW(fromPalm<CAddressBookRec>(bytesOf({1, 2})));
}

TEST(AddressBook, AnEmptyLabelFieldFailsAfterTheFieldsBeforeIt) {
  auto r = com::make<CAddressBookRec>();
  expectComError(
      [&] {
        r->ExtractDynamicArray(addressArray({{0, "Li"}, {3, "555"}}, "1", ""));
      },
      com::err::kTypeMismatch);
  EXPECT_EQ(r->text(0), "Li");
  EXPECT_EQ(r->text(3), "555");
  expectComError([&] { r->ExtractDynamicArray(addressArray({}, "1", "70000")); }, com::err::kOverflow);
}

}  // namespace
}  // namespace pelorix::records
