#pragma once
// A Memo Pad record: one multi-line text.

#include "records/palm_record.h"

namespace pelorix::records {

class CMemoPad final : public IPalmRecord {
 public:
  const std::string& memo() const { return memo_; }

 protected:
  void decode(RecordReader& in) override;
  void encode(RecordWriter& out) override;
  void appendFields(std::string& out) const override;
  void extractFields(FieldScanner& in) override;
  const char* palmDatabase() const override { return "MemoDB"; }

 private:
  std::string memo_;
};

}  // namespace pelorix::records
