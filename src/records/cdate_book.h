#pragma once
// A Date Book appointment: times, date, alarm, repeat rule, exceptions,
// description and note.

#include <vector>

#include "records/palm_record.h"

namespace pelorix::records {

class CDateBook final : public IPalmRecord {
 public:
  const std::vector<std::int32_t>& exceptions() const { return exceptions_; }

 protected:
  void decode(RecordReader& in) override;
  void encode(RecordWriter& out) override;
  void appendFields(std::string& out) const override;
  void extractFields(FieldScanner& in) override;
  const char* palmDatabase() const override { return "DatebookDB"; }
  void afterExtract() override;

 private:
  std::string startTime_, startDate_, endTime_;
  std::int16_t reservedFlags_ = 0;
  std::int32_t isUntimed_ = 0, hasAlarm_ = 0, alarmAdvance_ = 0, alarmUnit_ = 0, repeatType_ = 0;
  std::string repeatEndDate_;
  std::uint8_t repeatFrequency_ = 0, repeatOn_ = 0, repeatStartOfWeek_ = 0;
  std::vector<std::int32_t> exceptions_;
  std::string description_, note_;
  std::string pendingExceptions_;  // field 19, read once every field is stored
};

}  // namespace pelorix::records
