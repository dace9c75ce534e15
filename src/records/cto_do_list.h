#pragma once
// A To Do record: due date, priority with the completed bit, description, note.

#include "records/palm_record.h"

namespace pelorix::records {

class CToDoList final : public IPalmRecord {
 public:
  const std::string& dueDate() const { return dueDate_; }

 protected:
  void decode(RecordReader& in) override;
  void encode(RecordWriter& out) override;
  void appendFields(std::string& out) const override;
  void extractFields(FieldScanner& in) override;
  const char* palmDatabase() const override { return "ToDoDB"; }
  const char* createClassSource() const override { return "CToDoList:CreateClass"; }

 private:
  std::string dueDate_;  // a MultiValue date as the host sent it, or empty
  bool completed_ = false;
  std::int16_t priority_ = 0;
  std::string description_;
  std::string note_;
};

}  // namespace pelorix::records
