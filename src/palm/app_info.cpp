#include "palm/app_info.h"

#include <algorithm>
#include <string>

#include "palm/category_info.h"
#include "palm/pdb_database.h"

namespace pelorix::palm {

namespace {

// Each application's settings start after a reserved word that follows the
// category block.
constexpr size_t kReserved = 2;

void appendWord(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

// The Address Book's field labels in English: the 19 fields, then the phone
// labels that have no field of their own.
constexpr const char* kAddressLabels[] = {"Last name", "First name", "Company",  "Work",     "Home",     "Fax",
                                          "Other",     "E-mail",     "Address",  "City",     "State",    "Zip Code",
                                          "Country",   "Title",      "Custom 1", "Custom 2", "Custom 3", "Custom 4",
                                          "Note",      "Main",       "Pager",    "Mobile"};
constexpr size_t kAddressLabelSize = 16;
constexpr std::uint8_t kUnitedStates = 23;  // matches the English labels

void appendAddressBook(std::vector<std::uint8_t>& out) {
  // Renamed-field word: a new database marks all 22 labels, so that the
  // desktop takes them over.
  out.insert(out.end(), {0x00, 0x3F, 0xFF, 0xFF});
  for (const char* label : kAddressLabels) {
    std::string text(label);
    out.insert(out.end(), text.begin(), text.end());
    out.insert(out.end(), kAddressLabelSize - text.size(), 0);
  }
  out.push_back(kUnitedStates);
  out.push_back(0);
  out.push_back(0);  // sort by company: no, by name
  out.push_back(0);
}

}  // namespace

std::vector<std::uint8_t> applicationAppInfo(std::uint32_t creator) {
  std::vector<std::uint8_t> out = CategoryInfo::defaultBlock();
  if (creator != fourCC("addr") && creator != fourCC("date") && creator != fourCC("memo") && creator != fourCC("todo"))
    return out;
  out.insert(out.end(), kReserved, 0);
  if (creator == fourCC("addr")) {
    appendAddressBook(out);
  } else if (creator == fourCC("date")) {
    out.push_back(0);  // start of week: Sunday
    out.push_back(0);
  } else if (creator == fourCC("memo")) {
    appendWord(out, 0);
    out.push_back(0);  // sort order: as the user arranged the memos
    out.push_back(0);
  } else {
    appendWord(out, 0);  // dirty word: nothing changed yet
    out.push_back(1);    // sort by priority, then due date
    out.push_back(0);
  }
  return out;
}

}  // namespace pelorix::palm
