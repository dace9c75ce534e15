#pragma once
// The Address Book the benchmarks share: record i has a name, a company, two
// phones, an address and empty custom fields, about what a real one holds.

#include <string>

#include "base/marks.h"
#include "palm/handheld.h"
#include "records/caddress_book_rec.h"

namespace pelorix::bench {

// The application's 25 fields of record i, separated by value marks.
inline std::string addressFields(int i) {
  const std::string vm(1, pelorix::kValueMark);
  std::string f = "Surname" + std::to_string(i) + vm + "First" + vm + "Company " + std::to_string(i % 97);
  for (int p = 0; p < 5; ++p) f += vm + (p < 2 ? "+1 555 01" + std::to_string(i % 100) : "") + vm + std::to_string(p);
  f += vm + "1" + vm + std::to_string(i) + " Main Street" + vm + "Springfield" + vm + "IL" + vm + "62701" + vm + "USA";
  for (int k = 0; k < 6; ++k) f += vm;  // title, four custom fields, note
  return f;
}

// An AddressDB of records 1 to count, record i under unique id i.
inline palm::PdbDatabase addressDatabase(int count) {
  const std::string vm(1, pelorix::kValueMark);
  palm::PdbDatabase db = palm::newDatabase("AddressDB", palm::fourCC("addr"), palm::fourCC("DATA"));
  for (int i = 1; i <= count; ++i) {
    auto record = com::make<records::CAddressBookRec>();
    record->ExtractDynamicArray(std::to_string(i) + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm +
                                addressFields(i) + vm);
    db.reserveUniqueId(static_cast<std::uint32_t>(i));
    db.records.push_back({0, static_cast<std::uint32_t>(i), record->CreatePalmData().bytes()});
  }
  return db;
}

}  // namespace pelorix::bench
