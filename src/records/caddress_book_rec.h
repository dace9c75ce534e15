#pragma once
// An Address Book record: phone-label options, field-presence bits, the
// company offset and up to 19 texts.

#include <array>

#include "records/palm_record.h"

namespace pelorix::records {

class CAddressBookRec final : public IPalmRecord {
 public:
  static constexpr size_t kTexts = 19;
  static constexpr size_t kNote = 18;
  const std::string& text(size_t index) const { return texts_.at(index); }

 protected:
  void decode(RecordReader& in) override;
  void encode(RecordWriter& out) override;
  void appendFields(std::string& out) const override;
  void extractFields(FieldScanner& in) override;
  const char* palmDatabase() const override { return "AddressDB"; }

 private:
  // last name, first name, company, phones 1-5, address, city, state, zip,
  // country, title, custom 1-4, note
  std::array<std::string, kTexts> texts_;
  std::array<std::int32_t, 5> labels_{};
  std::int16_t displayPhone_ = 0;
};

}  // namespace pelorix::records
