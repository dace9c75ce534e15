#pragma once
// IPalmRecord: what the four record classes share. A record object is built
// from the handheld's bytes (CreateClass) or from the host's dynamic array
// (ExtractDynamicArray) and gives either form back. Reached early-bound or
// late-bound by member name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "com/dispatch.h"
#include "palm/applications.h"
#include "palm/pddirect.h"

namespace pelorix::records {

using com::ByteArray;
using com::Variant;

// Builds a record buffer: grown before each write to hold it, cut after the
// last one so that one zero byte follows the data.
class RecordWriter {
 public:
  explicit RecordWriter(pddirect::IPDUtility& utility) : u_(utility) {}
  void word(std::uint16_t value);
  void dword(std::uint32_t value);
  void byte(std::int32_t value);  // kOverflow outside 0 to 255
  void text(const std::string& text);
  std::int32_t offset() const { return offset_; }
  // The dynamic array field being written, so that a failure can name it.
  void field(int number) { field_ = number; }
  int field() const { return field_; }
  // Characters of the texts written that the handheld cannot hold.
  size_t unheld() const { return unheld_; }
  ByteArray finish();

 private:
  void grow(size_t bytes);
  pddirect::IPDUtility& u_;
  ByteArray buffer_;
  std::int32_t offset_ = 0;
  size_t unheld_ = 0;
  int field_ = 0;
};

// Reads a record buffer field by field; reading past its end fails. A text
// cut off before its terminating zero is read up to the end of the buffer.
class RecordReader {
 public:
  RecordReader(pddirect::IPDUtility& utility, const ByteArray& data) : u_(utility), data_(data) {}
  std::uint16_t word();
  std::uint32_t dword();
  std::uint8_t byte();
  std::string text();      // ReadText, limit 66525
  std::string noteText();  // ReadNoteText
  void skip(std::int32_t bytes);
  void seek(std::int32_t offset) { offset_ = offset; }
  std::int32_t offset() const { return offset_; }

 private:
  bool unterminated() const;
  std::string rest();
  pddirect::IPDUtility& u_;
  const ByteArray& data_;
  std::int32_t offset_ = 0;
};

// The fields of a dynamic array, taken strictly by position.
class FieldScanner {
 public:
  explicit FieldScanner(std::string_view input) : rest_(input) {}
  // The next field up to its VM; kInvalidArgument when the VM is missing.
  std::string next();
  // Everything left, the last field.
  std::string rest() const { return std::string(rest_); }
  // How many fields were taken, the last one's position.
  int position() const { return taken_; }

 private:
  std::string_view rest_;
  int taken_ = 0;
};

// Conversions of dynamic array fields.
std::int32_t numberField(const std::string& field);
std::int16_t shortField(const std::string& field);
bool flagField(const std::string& field);

class IPalmRecord : public com::Dispatchable<IPalmRecord> {
 public:
  static const com::Members<IPalmRecord>& members();

  Variant RecordId() const { return Variant(recordId_); }
  void RecordId(const Variant& value) { recordId_ = value.toInt32(); }
  const std::string& mvRecNo() const { return mvRecNo_; }
  // Why the last CreatePalmData gave an empty buffer; empty when it did not.
  const std::string& encodeError() const { return encodeError_; }
  std::int32_t CategoryId() const { return categoryId_; }
  std::int32_t eAttributes() const;
  bool IsDelete() const { return isDelete_; }
  bool IsArchive() const { return isArchive_; }
  bool IsDirty() const { return isDirty_; }
  bool Reviewed() const { return reviewed_; }
  void Reviewed(bool value) { reviewed_ = value; }
  bool FromPalm() const { return fromPalm_; }
  void FromPalm(bool value) { fromPalm_ = value; }
  bool IsNew() const { return recordId_ == 0; }

  void CreateClass(Variant& Id, std::int32_t nCategory, std::int32_t eAttributes, const Variant& pData);
  // An empty byte array when the record cannot be built.
  Variant CreatePalmData();
  std::string CreateDynamicArray();
  void ExtractDynamicArray(const std::string& sInput);

 protected:
  // Decodes the class's own fields; what a failure does is the class's policy.
  virtual void decode(RecordReader& in) = 0;
  virtual void encode(RecordWriter& out) = 0;
  // Appends VM and each class field in order.
  virtual void appendFields(std::string& out) const = 0;
  // Stores the class fields, each right after its conversion.
  virtual void extractFields(FieldScanner& in) = 0;
  // Called after the last field was stored.
  virtual void afterExtract() {}
  // Where a failing CreateClass raises its error again; nullptr swallows it.
  virtual const char* createClassSource() const { return nullptr; }
  // The handheld database of the class, for the desktop's log.
  virtual const char* palmDatabase() const = 0;

  pddirect::IPDUtility& utility();

 private:
  void extractAll(FieldScanner& in);

  std::int32_t recordId_ = 0;
  std::int32_t categoryId_ = 0;
  std::string mvRecNo_;
  bool isArchive_ = false, isDelete_ = false, isDirty_ = false, isPrivate_ = false;
  bool reviewed_ = false, fromPalm_ = false;
  bool unheldLogged_ = false;  // once per text from the host
  std::string encodeError_;
  com::Ref<pddirect::IPDUtility> utility_;
};

// "1" or "0".
inline const char* flagText(bool value) { return value ? "1" : "0"; }

// A record object of the class that serves the application.
com::Ref<IPalmRecord> createRecord(palm::AppKind kind);
// The same by the application's database; an empty Ref for a database no
// class serves.
com::Ref<IPalmRecord> createRecord(const std::string& palmDatabaseName);

}  // namespace pelorix::records
