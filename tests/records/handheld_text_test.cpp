// Texts crossing the handheld boundary inside records: handheld texts cut
// off before their zero, host texts the handheld cannot hold as they are.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "desktop/desktop_log.h"
#include "record_support.h"
#include "records/caddress_book_rec.h"
#include "records/cdate_book.h"
#include "records/cmemo_pad.h"
#include "records/cto_do_list.h"
#include "support/test_support.h"

namespace pelorix::records {
namespace {

using namespace records::test;

TEST(CutOffTexts, AreReadToTheEndOfTheRecordInEveryClass) {
  auto memo = fromPalm<CMemoPad>(bytesOf({'n', 'o', ' ', 'e', 'n', 'd'}), 3, 2, 0x40);
  EXPECT_EQ(memo->memo(), "no end");
  EXPECT_EQ(memo->CreateDynamicArray(), fields({"3", "2", "0", "0", "1", "0", "no end", ""}));

  auto toDo = fromPalm<CToDoList>(bytesOf({0xFF, 0xFF, 0x01, 'd', 0, 'n', 'o'}));
  EXPECT_EQ(toDo->CreateDynamicArray(), fields({"7", "1", "0", "0", "0", "0", "", "0", "1", "d", "no", ""}));

  auto address = fromPalm<CAddressBookRec>(bytesOf({0, 0, 0, 0, 0, 0, 0, 0x03, 0, 'A', 0, 'B'}));
  EXPECT_EQ(address->text(0), "A");
  EXPECT_EQ(address->text(1), "B");

  auto event = fromPalm<CDateBook>(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xC2, 0xA7, 0x04, 0, 'l', 'u', 'n', 'c', 'h'}));
  EXPECT_NE(event->CreateDynamicArray().find("\xFD"
                                             "lunch\xFD"),
            std::string::npos);
}

std::string desktopLog() {
  std::ifstream in(desktop::desktopLogFile());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// Latin-1 hosts send bytes that are not UTF-8; a NUL must not cut the rest
// of the field off; what the handheld cannot hold is counted per record.
TEST(HostText, LatinOneAndNulsReachTheHandheldAndWhatCannotBeHeldIsLogged) {
  pelorix::test::IsolatedConfig config;
  auto memo =
      fromHost<CMemoPad>(fields({"", "0", "0", "0", "1", "0", std::string("Caf\xE9 \xE4\xB8\xAD a\0b", 12), "K7"}));
  EXPECT_EQ(palmData(*memo), bytesOf(std::string("Caf\xE9 ? a b\0\0", 12)));
  std::string log = desktopLog();
  EXPECT_NE(log.find("MemoDB new record (host key \"K7\"): 2 characters the handheld cannot hold"), std::string::npos)
      << log;
  palmData(*memo);
  EXPECT_EQ(lines(desktopLog()), 1u) << "one line per record";

  auto address = fromHost<CAddressBookRec>(fields({"12",
                                                   "0",
                                                   "0",
                                                   "0",
                                                   "1",
                                                   "0",
                                                   "M\xFCller",
                                                   "\xE2\x98\x83",
                                                   "",
                                                   "",
                                                   "0",
                                                   "",
                                                   "0",
                                                   "",
                                                   "0",
                                                   "",
                                                   "0",
                                                   "",
                                                   "0",
                                                   "1",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   "",
                                                   std::string("a\0", 2),
                                                   "A9"}));
  ByteArray data = palmData(*address), name = bytesOf(std::string("M\xFCller\0", 7));
  EXPECT_NE(std::search(data.begin(), data.end(), name.begin(), name.end()), data.end());
  EXPECT_NE(desktopLog().find("AddressDB record 12 (host key \"A9\"): 2 characters"), std::string::npos);

  pelorix::test::IsolatedConfig clean;
  palmData(*fromHost<CToDoList>(fields({"", "0", "0", "0", "1", "0", "", "0", "1", "caf\xC3\xA9", "", ""})));
  EXPECT_EQ(desktopLog(), "") << "a text the handheld holds is not logged";
}

}  // namespace
}  // namespace pelorix::records
