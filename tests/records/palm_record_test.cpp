#include <gtest/gtest.h>

#include "com/dispatch.h"
#include "record_support.h"
#include "records/cmemo_pad.h"
#include "records/cto_do_list.h"
#include "support/test_support.h"

namespace pelorix::records {
namespace {

using namespace records::test;
using pelorix::test::expectComError;
namespace err = com::err;

const std::string kCommon0 = fields({"", "0", "0", "0", "0", "0"});

TEST(RecordContract, ANewObjectIsEmptyAndNew) {
  auto r = com::make<CMemoPad>();
  EXPECT_TRUE(r->IsNew());
  EXPECT_EQ(r->RecordId().toInt32(), 0);
  EXPECT_EQ(r->eAttributes(), 0);
  EXPECT_EQ(r->CreateDynamicArray(), kCommon0 + "\xFD\xFD");
}

TEST(RecordContract, AttributesComeFromTheLowByteOnly) {
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf({0}), 1, 0, 0xD8)->eAttributes(), 0xD8);
  auto all = fromPalm<CMemoPad>(bytesOf({0}), 1, 0, 0xFF);
  EXPECT_EQ(all->eAttributes(), 0xD8);
  EXPECT_TRUE(all->IsDelete() && all->IsDirty() && all->IsArchive());
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf({0}), 1, 0, 0x100)->eAttributes(), 0);
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf({0}), 1, 0, 0x10)->CreateDynamicArray(),
            fields({"1", "0", "0", "0", "0", "1", "", ""}));
}

TEST(RecordContract, FlagsAndIdsFromTheHost) {
  EXPECT_EQ(fromHost<CMemoPad>(fields({"", "0", "1", "0", "0", "0", "m", "K"}))->eAttributes(), 0x80);
  auto r = fromHost<CMemoPad>(fields({"12", " 3 ", "2", "TRUE", "false", "0", "m", "K"}));
  EXPECT_EQ(r->RecordId().toInt32(), 12);
  EXPECT_EQ(r->CategoryId(), 3);
  EXPECT_TRUE(r->IsDelete());
  EXPECT_TRUE(r->IsArchive());
  EXPECT_FALSE(r->IsDirty());
  EXPECT_EQ(r->mvRecNo(), "K");
  EXPECT_TRUE(fromHost<CMemoPad>(fields({"", "0", "0", "0", "0", "0", "m", "K"}))->IsNew());
  // A fraction of a number field rounds, halves to even.
  EXPECT_EQ(fromHost<CMemoPad>(fields({"", "2.5", "0", "0", "0", "0", "", ""}))->CategoryId(), 2);
}

TEST(RecordContract, SurplusFieldsEndUpInTheHostKey) {
  auto r = fromHost<CMemoPad>(fields({"", "0", "0", "0", "0", "0", "memo", "KEY", "extra"}));
  EXPECT_EQ(r->mvRecNo(),
            "KEY\xFD"
            "extra");
}

TEST(RecordContract, BadFieldsFailAndKeepWhatWasStoredBefore) {
  auto r = com::make<CMemoPad>();
  expectComError([&] { r->ExtractDynamicArray(fields({"5", "4", "", "0", "0", "0", "m", "K"})); }, err::kTypeMismatch);
  EXPECT_EQ(r->RecordId().toInt32(), 5);
  EXPECT_EQ(r->CategoryId(), 4);
  expectComError([&] { r->ExtractDynamicArray(fields({"x", "0", "0", "0", "0", "0", "m", "K"})); }, err::kTypeMismatch);
  expectComError([&] { r->ExtractDynamicArray(fields({"", "1e99", "0", "0", "0", "0", "m", "K"})); }, err::kOverflow);
  // Only seven fields: the memo's closing VM is missing.
  auto m = com::make<CMemoPad>();
  expectComError(
      [&] {
        m->ExtractDynamicArray(fields({"9", "2", "1", "0", "1", "0", "memo"}));
      },
      err::kInvalidArgument);
  EXPECT_EQ(m->RecordId().toInt32(), 9);
  EXPECT_EQ(m->eAttributes(), 0xC0);
  EXPECT_EQ(m->memo(), "");
  expectComError([&] { m->ExtractDynamicArray(""); }, err::kInvalidArgument);
}

TEST(RecordContract, MembersAreReachedByName) {
  com::Ref<com::Object> r(com::make<CToDoList>());
  Variant id(std::int32_t{42});
  com::callMethod(
      *r, "createclass",
      {com::Arg::ref(id), std::int32_t{3}, std::int32_t{0x40}, Variant(bytesOf({0xFF, 0xFF, 0x83, 'a', 0, 0, 0}))});
  EXPECT_EQ(com::getProperty(*r, "RecordId").toInt32(), 42);
  EXPECT_EQ(com::getProperty(*r, "IsDirty").toInt32(), -1);  // a COM true
  EXPECT_EQ(com::getProperty(*r, "IsNew").toBool(), false);
  com::putProperty(*r, "RecordId", 2.5);
  EXPECT_EQ(com::getProperty(*r, "RecordID").toInt32(), 2);
  expectComError([&] { com::putProperty(*r, "RecordId", "abc"); }, err::kTypeMismatch);
  com::putProperty(*r, "Reviewed", true);
  EXPECT_TRUE(com::getProperty(*r, "Reviewed").toBool());
  std::string array = com::callMethod(*r, "CreateDynamicArray").toText();
  EXPECT_EQ(array, fields({"2", "3", "0", "0", "1", "0", "", "1", "3", "a", "", ""}));
  EXPECT_EQ(com::callMethod(*r, "CreatePalmData").bytes(), bytesOf({0xFF, 0xFF, 0x83, 'a', 0, 0, 0}));
  com::callMethod(*r, "ExtractDynamicArray", {fields({"", "0", "0", "0", "0", "0", "", "0", "1", "", "", "K"})});
  EXPECT_EQ(com::getProperty(*r, "mvRecNo").toText(), "K");
}

TEST(MemoPad, WorkedExamples) {
  auto fromHostMemo = fromHost<CMemoPad>(kCommon0 +
                                         "\xFD"
                                         "a\xFC"
                                         "b\xFDK");
  EXPECT_EQ(fromHostMemo->memo(), "a\r\nb");
  // Written with the handheld's own line break.
  EXPECT_EQ(palmData(*fromHostMemo), bytesOf({'a', '\n', 'b', 0, 0}));
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf(std::string("x\ny\0", 4)), 0)->CreateDynamicArray(),
            fields({"", "1", "0", "0", "0", "0", "x\xFCy", ""}));
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf(std::string("x\r\ny\rz\0", 7)), 0)->memo(), "x\r\ny\rz");
  EXPECT_EQ(palmData(*com::make<CMemoPad>()), bytesOf({0, 0}));
  // The record is read up to its first zero byte.
  EXPECT_EQ(fromPalm<CMemoPad>(bytesOf({'h', 'i', 0, 'x', 'y'}))->memo(), "hi");
}

TEST(MemoPad, AMemoThatCannotBeReadStaysEmptyAndNoErrorEscapes) {
  auto wrongType = com::make<CMemoPad>();
  Variant id(std::int32_t{1});
  EXPECT_NO_THROW(wrongType->CreateClass(id, 0, 0, Variant("not bytes")));
}

TEST(MemoPad, HandheldCharactersThatLookLikeMarksSurviveTheHost) {
  // ü, ý and þ are the handheld's bytes 0xFC, 0xFD and 0xFE.
  auto r = fromPalm<CMemoPad>(bytesOf({'a', 0xFC, 0xFD, 0xFE, 'b', 0}));
  std::string array = r->CreateDynamicArray();
  EXPECT_EQ(std::count(array.begin(), array.end(), '\xFD'), 7);
  EXPECT_EQ(array.find('\xFE'), std::string::npos);
  auto back = fromHost<CMemoPad>(array);
  EXPECT_EQ(palmData(*back), bytesOf({'a', 0xFC, 0xFD, 0xFE, 'b', 0, 0}));
}

TEST(ToDo, DueDatesPrioritiesAndTexts) {
  auto none = fromPalm<CToDoList>(bytesOf({0xFF, 0xFF, 0x83, 0, 0, 0}));
  EXPECT_EQ(none->CreateDynamicArray(), fields({"7", "1", "0", "0", "0", "0", "", "1", "3", "", "", ""}));
  auto may = fromPalm<CToDoList>(bytesOf({0xC2, 0xA7, 0x02, 'C', 'a', 'l', 'l', 0, 'n', '\n', 'b', 0}));
  EXPECT_EQ(may->CreateDynamicArray(), fields({"7", "1", "0", "0", "0", "0", "12181", "0", "2", "Call",
                                               "n\xFC"
                                               "b",
                                               ""}));
  auto host = fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "12181", "1", "2", "", "", "K"}));
  EXPECT_EQ(palmData(*host), bytesOf({0xC2, 0xA7, 0x82, 0, 0, 0}));
  EXPECT_EQ(palmData(*fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "", "0", "200", "", "", ""}))),
            bytesOf({0xFF, 0xFF, 0x48, 0, 0, 0}));
  EXPECT_EQ(palmData(*fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "", "1", "200",
                                                  "d\xFC"
                                                  "e",
                                                  "", ""}))),
            bytesOf({0xFF, 0xFF, 0xC8, 'd', '\n', 'e', 0, 0, 0}));
}

TEST(ToDo, ADueDateThatIsNoDateFailsOnlyWhenWritten) {
  auto r = fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "soon", "0", "1", "", "", ""}));
  EXPECT_EQ(r->dueDate(), "soon");
  EXPECT_TRUE(palmData(*r).empty());
  EXPECT_TRUE(
      palmData(*fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "99999", "0", "1", "", "", ""}))).empty());
  expectComError(
      [] {
        fromHost<CToDoList>(fields({"", "0", "0", "0", "0", "0", "", "0", "40000", "", "", ""}));
      },
      err::kOverflow);
}

TEST(ToDo, AFailingDecodeIsRaisedAgainUnderItsOwnSource) {
  auto r = com::make<CToDoList>();
  Variant id(std::int32_t{4});
  try {
    r->CreateClass(id, 1, 0, Variant(bytesOf({0xC2, 0xA0, 0x00, 0})));  // day 0
    FAIL();
  } catch (const com::ComError& e) {
    EXPECT_EQ(e.source(), "CToDoList:CreateClass");
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
  EXPECT_EQ(r->RecordId().toInt32(), 4);
  expectComError(
      [&] {
        r->CreateClass(id, 1, 0, Variant(bytesOf({0xFF, 0xFF, 0x01, 'x'})));
      },
      err::kSubscriptOutOfRange);
  expectComError([&] { r->CreateClass(id, 1, 0, Variant(bytesOf({0xFF}))); }, err::kSubscriptOutOfRange);
}

}  // namespace
}  // namespace pelorix::records
