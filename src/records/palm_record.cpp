#include "records/palm_record.h"

#include <algorithm>

#include "base/marks.h"
#include "desktop/desktop_log.h"
#include "palm/palm_text.h"
#include "records/caddress_book_rec.h"
#include "records/cdate_book.h"
#include "records/cmemo_pad.h"
#include "records/cto_do_list.h"

namespace pelorix::records {

namespace err = com::err;

void RecordWriter::grow(size_t bytes) {
  size_t need = static_cast<size_t>(offset_) + bytes;
  if (buffer_.size() < need) buffer_.resize(need, 0);
}

void RecordWriter::word(std::uint16_t value) {
  grow(2);
  offset_ = u_.WriteWord(buffer_, offset_, true, value);
}

void RecordWriter::dword(std::uint32_t value) {
  grow(4);
  offset_ = u_.WriteDWord(buffer_, offset_, true, value);
}

void RecordWriter::byte(std::int32_t value) {
  if (value < 0 || value > 255) com::raise(err::kOverflow, "RecordWriter", "Overflow");
  grow(1);
  buffer_[static_cast<size_t>(offset_++)] = static_cast<std::uint8_t>(value);
}

void RecordWriter::text(const std::string& text) {
  unheld_ += palm::unheldCharacters(text);
  // Converted once, not once to size it and again to write it.
  std::string palmText = palm::toPalmText(text);
  grow(palmText.size() + 1);
  std::copy(palmText.begin(), palmText.end(), buffer_.begin() + offset_);
  buffer_[static_cast<size_t>(offset_) + palmText.size()] = 0;
  offset_ += static_cast<std::int32_t>(palmText.size() + 1);
}

ByteArray RecordWriter::finish() {
  buffer_.resize(static_cast<size_t>(offset_) + 1, 0);
  return std::move(buffer_);
}

std::uint16_t RecordReader::word() {
  std::uint16_t value = 0;
  offset_ = u_.ReadWord(data_, offset_, true, value);
  return value;
}

std::uint32_t RecordReader::dword() {
  std::uint32_t value = 0;
  offset_ = u_.ReadDWord(data_, offset_, true, value);
  return value;
}

std::uint8_t RecordReader::byte() {
  std::string one;
  offset_ = u_.ReadFixedText(data_, offset_, 1, one);  // checks the bounds
  return data_[static_cast<size_t>(offset_ - 1)];
}

std::string RecordReader::text() {
  if (unterminated()) return rest();
  std::string value;
  offset_ = u_.ReadText(data_, offset_, 66525, value);
  return value;
}

std::string RecordReader::noteText() {
  if (unterminated()) return rest();
  std::string value;
  offset_ = u_.ReadNoteText(data_, offset_, 13, value);
  return value;
}

bool RecordReader::unterminated() const {
  if (offset_ < 0 || static_cast<size_t>(offset_) >= data_.size()) return false;
  return std::find(data_.begin() + offset_, data_.end(), 0) == data_.end();
}

std::string RecordReader::rest() {
  std::string value;
  offset_ = u_.ReadFixedText(data_, offset_, static_cast<std::int32_t>(data_.size()) - offset_, value);
  return value;
}

void RecordReader::skip(std::int32_t bytes) {
  std::string ignored;
  offset_ = u_.ReadFixedText(data_, offset_, bytes, ignored);
}

std::string FieldScanner::next() {
  size_t vm = rest_.find(pelorix::kValueMark);
  if (vm == std::string_view::npos)
    com::raise(
        err::kInvalidArgument, "ExtractDynamicArray",
        "The dynamic array has too few fields: field " + std::to_string(taken_ + 1) + " has no closing value mark");
  ++taken_;
  std::string field(rest_.substr(0, vm));
  rest_.remove_prefix(vm + 1);
  return field;
}

std::int32_t numberField(const std::string& field) { return Variant(field).toInt32(); }
std::int16_t shortField(const std::string& field) { return Variant(field).toInt16(); }
bool flagField(const std::string& field) { return Variant(field).toBool(); }

pddirect::IPDUtility& IPalmRecord::utility() {
  if (!utility_) utility_ = pddirect::newUtility();
  return *utility_;
}

std::int32_t IPalmRecord::eAttributes() const {
  return (isDelete_ ? 0x80 : 0) | (isDirty_ ? 0x40 : 0) | (isPrivate_ ? 0x10 : 0) | (isArchive_ ? 0x08 : 0);
}

void IPalmRecord::CreateClass(Variant& Id, std::int32_t nCategory, std::int32_t eAttributes, const Variant& pData) {
  recordId_ = Id.toInt32();
  categoryId_ = nCategory;
  std::int32_t b = eAttributes & 0xFF;
  isArchive_ = b & 0x08;
  isDelete_ = b & 0x80;
  isDirty_ = b & 0x40;
  isPrivate_ = b & 0x10;
  try {
    RecordReader in(utility(), pData.bytes());
    decode(in);
  } catch (const com::ComError& e) {
    if (const char* source = createClassSource()) throw com::ComError(e.number(), source, e.description());
  }
}

Variant IPalmRecord::CreatePalmData() {
  encodeError_.clear();
  RecordWriter out(utility());
  try {
    encode(out);
    if (out.unheld() > 0 && !unheldLogged_) {
      unheldLogged_ = true;
      std::string which = recordId_ != 0 ? "record " + std::to_string(recordId_) : std::string("new record");
      desktop::desktopLog(std::string(palmDatabase()) + " " + which + " (host key \"" + mvRecNo_ +
                          "\"): " + std::to_string(out.unheld()) +
                          " characters the handheld cannot hold were written as \"?\" (a NUL as a blank)");
    }
    return Variant(out.finish());
  } catch (const std::exception& e) {
    const auto* com = dynamic_cast<const com::ComError*>(&e);
    std::string why = com ? com->description() : e.what();
    encodeError_ = out.field() ? "field " + std::to_string(out.field()) + ": " + why : why;
    return Variant(ByteArray{});
  }
}

std::string IPalmRecord::CreateDynamicArray() {
  const char vm = pelorix::kValueMark;
  std::string out = recordId_ != 0 ? utility().RecordIdToText(Variant(recordId_)) : std::string{};
  out += vm + std::to_string(categoryId_);
  for (bool flag : {isDelete_, isArchive_, isDirty_, isPrivate_}) {
    out += vm;
    out += flagText(flag);
  }
  appendFields(out);
  out += vm + mvRecNo_;
  return out;
}

void IPalmRecord::ExtractDynamicArray(const std::string& sInput) {
  FieldScanner in(sInput);
  try {
    extractAll(in);
  } catch (const com::ComError& e) {
    if (e.number() == err::kInvalidArgument) throw;
    // Say which field, for whoever writes the host subroutine.
    throw com::ComError(e.number(), "ExtractDynamicArray",
                        "Field " + std::to_string(in.position()) + ": " + e.description());
  }
}

void IPalmRecord::extractAll(FieldScanner& in) {
  std::string id = in.next();
  recordId_ = id.empty() ? 0 : utility().TextToRecordId(id).toInt32();
  categoryId_ = numberField(in.next());
  isDelete_ = flagField(in.next());
  isArchive_ = flagField(in.next());
  isDirty_ = flagField(in.next());
  isPrivate_ = flagField(in.next());
  unheldLogged_ = false;
  extractFields(in);
  mvRecNo_ = in.rest();
  afterExtract();
}

const com::Members<IPalmRecord>& IPalmRecord::members() {
  using R = IPalmRecord;
  using Args = std::span<Variant>;
  static const com::Members<R> table = [] {
    com::Members<R> m;
    m.property(
        "RecordId", [](R& r, Args) { return r.RecordId(); }, [](R& r, Args, const Variant& v) { r.RecordId(v); });
    m.property("mvRecNo", [](R& r, Args) { return Variant(r.mvRecNo()); });
    m.property("CategoryId", [](R& r, Args) { return Variant(r.CategoryId()); });
    m.property("eAttributes", [](R& r, Args) { return Variant(r.eAttributes()); });
    m.property("IsDelete", [](R& r, Args) { return Variant(r.IsDelete()); });
    m.property("IsArchive", [](R& r, Args) { return Variant(r.IsArchive()); });
    m.property("IsDirty", [](R& r, Args) { return Variant(r.IsDirty()); });
    m.property(
        "Reviewed", [](R& r, Args) { return Variant(r.Reviewed()); },
        [](R& r, Args, const Variant& v) { r.Reviewed(v.toBool()); });
    m.property(
        "FromPalm", [](R& r, Args) { return Variant(r.FromPalm()); },
        [](R& r, Args, const Variant& v) { r.FromPalm(v.toBool()); });
    m.property("IsNew", [](R& r, Args) { return Variant(r.IsNew()); });
    m.method("CreateClass", [](R& r, Args a) {
      r.CreateClass(com::argument(a, 0, "CreateClass"), com::argument(a, 1, "CreateClass").toInt32(),
                    com::argument(a, 2, "CreateClass").toInt32(), com::argument(a, 3, "CreateClass"));
      return Variant();
    });
    m.method("CreatePalmData", [](R& r, Args) { return r.CreatePalmData(); });
    m.method("CreateDynamicArray", [](R& r, Args) { return Variant(r.CreateDynamicArray()); });
    m.method("ExtractDynamicArray", [](R& r, Args a) {
      r.ExtractDynamicArray(com::argument(a, 0, "ExtractDynamicArray").toText());
      return Variant();
    });
    return m;
  }();
  return table;
}

com::Ref<IPalmRecord> createRecord(palm::AppKind kind) {
  switch (kind) {
    case palm::AppKind::AddressBook: return com::make<CAddressBookRec>();
    case palm::AppKind::DateBook: return com::make<CDateBook>();
    case palm::AppKind::MemoPad: return com::make<CMemoPad>();
    case palm::AppKind::ToDoList: return com::make<CToDoList>();
  }
  return {};
}

com::Ref<IPalmRecord> createRecord(const std::string& palmDatabaseName) {
  const palm::Application* app = palm::applicationOfDatabase(palmDatabaseName);
  return app ? createRecord(app->kind) : com::Ref<IPalmRecord>();
}

}  // namespace pelorix::records
