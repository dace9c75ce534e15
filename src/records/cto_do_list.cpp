#include "records/cto_do_list.h"

#include "base/marks.h"
#include "records/mod_pelx.h"

namespace pelorix::records {

namespace {
constexpr std::uint16_t kNoDate = 0xFFFF;
}

void CToDoList::decode(RecordReader& in) {
  std::uint16_t due = in.word();
  dueDate_ = due == kNoDate ? std::string{} : std::to_string(DateToMvDate(PalmDateToDate(due)));
  std::uint8_t b = in.byte();
  completed_ = (b & 0x80) == 0x80;
  priority_ = static_cast<std::int16_t>(b & 0x7F);
  description_.clear();
  description_ = in.text();
  note_.clear();
  note_ = in.noteText();
}

void CToDoList::encode(RecordWriter& out) {
  out.field(7);
  out.word(dueDate_.empty() ? kNoDate : DateToPalmDate(MvDateToDate(numberField(dueDate_))));
  out.field(9);
  out.byte((priority_ & 0x7F) + (completed_ ? 128 : 0));
  out.field(0);
  out.text(toHandheldLineBreaks(description_));
  out.text(toHandheldLineBreaks(note_));
}

void CToDoList::appendFields(std::string& out) const {
  const char vm = pelorix::kValueMark;
  out += vm + dueDate_;
  out += vm;
  out += flagText(completed_);
  out += vm + std::to_string(priority_);
  out += vm + lineBreaksToSvm(description_);
  out += vm + lineBreaksToSvm(note_);
}

void CToDoList::extractFields(FieldScanner& in) {
  dueDate_ = in.next();
  completed_ = flagField(in.next());
  priority_ = shortField(in.next());
  description_ = svmToLineBreaks(in.next());
  note_ = svmToLineBreaks(in.next());
}

}  // namespace pelorix::records
