#include "records/cdate_book.h"

#include "base/marks.h"
#include "records/mod_pelx.h"

namespace pelorix::records {

namespace {

constexpr std::uint16_t kNone = 0xFFFF;
enum : std::uint8_t { kAlarm = 0x40, kRepeat = 0x20, kNote = 0x10, kExceptions = 0x08, kDescription = 0x04 };

std::string mvTime(std::uint16_t word) { return std::to_string(DateToMvTime(PalmTimeToDate(word))); }
std::string mvDate(std::uint16_t word) { return std::to_string(DateToMvDate(PalmDateToDate(word))); }
std::uint16_t palmTime(const std::string& mv) { return DateToPalmTime(MvTimeToDate(numberField(mv))); }
std::uint16_t palmDate(std::int32_t mv) { return DateToPalmDate(MvDateToDate(mv)); }

std::uint8_t byteField(const std::string& field) {
  std::int16_t value = shortField(field);
  if (value < 0 || value > 255) com::raise(com::err::kOverflow, "CDateBook", "Overflow");
  return static_cast<std::uint8_t>(value);
}

}  // namespace

// A failure ends the decoding quietly; what was decoded stays.
void CDateBook::decode(RecordReader& in) {
  try {
    std::uint16_t start = in.word();
    if (start == kNone) {
      isUntimed_ = 1;
      startTime_.clear();
    } else {
      isUntimed_ = 0;
      startTime_ = mvTime(start);
    }
    std::uint16_t end = in.word();
    endTime_ = isUntimed_ == 1 ? std::string{} : mvTime(end);
    startDate_ = mvDate(in.word());
    std::uint8_t flags = in.byte();
    in.seek(8);
    reservedFlags_ = GetBitField(flags, 0, 2);
    if (GetBitField(flags, 6, 1) > 0) {
      hasAlarm_ = 1;
      alarmAdvance_ = in.byte();
      alarmUnit_ = in.byte();
    } else {
      hasAlarm_ = alarmAdvance_ = alarmUnit_ = 0;
    }
    if (flags & kRepeat) {
      repeatType_ = in.byte();
      in.skip(1);
      std::uint16_t until = in.word();
      repeatEndDate_ = until == kNone ? std::string{} : mvDate(until);
      repeatFrequency_ = in.byte();
      repeatOn_ = in.byte();
      repeatStartOfWeek_ = in.byte();
      in.skip(1);
    }
    if (flags & kExceptions) {
      auto count = static_cast<std::int16_t>(in.word());
      for (std::int16_t i = 0; i < count; ++i) exceptions_.push_back(DateToMvDate(PalmDateToDate(in.word())));
    }
    if (flags & kDescription) description_ = in.text();
    if (flags & kNote) note_ = in.noteText();
  } catch (const com::ComError&) {
  }
}

void CDateBook::encode(RecordWriter& out) {
  bool timed = !startTime_.empty();
  out.field(7);
  out.word(timed ? palmTime(startTime_) : kNone);
  out.field(9);
  out.word(timed ? palmTime(endTime_) : kNone);
  out.field(8);
  out.word(palmDate(numberField(startDate_)));
  out.field(19);
  if (exceptions_.size() > 32767) com::raise(com::err::kOverflow, "CDateBook", "Too many exceptions");
  std::int32_t flags = reservedFlags_ + BitValue(1, 2);
  if (!exceptions_.empty()) flags += kExceptions;
  if (!note_.empty()) flags += kNote;
  if (repeatType_ != 0) flags += kRepeat;
  if (hasAlarm_ == 1) flags += kAlarm;
  out.byte(flags);
  out.byte(0);
  if (hasAlarm_ == 1) {
    out.field(12);
    out.byte(alarmAdvance_);
    out.field(13);
    out.byte(alarmUnit_);
  }
  if (repeatType_ != 0) {
    out.field(14);
    out.byte(repeatType_);
    out.byte(0);
    out.field(15);
    out.word(repeatEndDate_.empty() ? kNone : palmDate(numberField(repeatEndDate_)));
    out.field(16);
    out.byte(repeatFrequency_);
    out.field(17);
    out.byte(repeatOn_);
    out.field(18);
    out.byte(repeatStartOfWeek_);
    out.byte(0);
  }
  if (!exceptions_.empty()) {
    out.field(19);
    out.word(static_cast<std::uint16_t>(exceptions_.size()));
    for (std::int32_t date : exceptions_) out.word(palmDate(date));
  }
  out.field(0);
  out.text(toHandheldLineBreaks(description_));
  if (!note_.empty()) out.text(toHandheldLineBreaks(note_));
}

void CDateBook::appendFields(std::string& out) const {
  const char vm = pelorix::kValueMark;
  for (const std::string* text : {&startTime_, &startDate_, &endTime_}) out += vm + *text;
  for (std::int32_t n : {isUntimed_, hasAlarm_, alarmAdvance_, alarmUnit_, repeatType_}) out += vm + std::to_string(n);
  out += vm + repeatEndDate_;
  for (std::uint8_t n : {repeatFrequency_, repeatOn_, repeatStartOfWeek_}) out += vm + std::to_string(n);
  out += vm;
  for (size_t i = 0; i < exceptions_.size(); ++i) {
    if (i) out += pelorix::kSubvalueMark;
    out += std::to_string(exceptions_[i]);
  }
  out += vm + lineBreaksToSvm(description_);
  out += vm + lineBreaksToSvm(note_);
}

void CDateBook::extractFields(FieldScanner& in) {
  startTime_ = in.next();
  startDate_ = in.next();
  endTime_ = in.next();
  isUntimed_ = numberField(in.next());
  hasAlarm_ = numberField(in.next());
  alarmAdvance_ = numberField(in.next());
  alarmUnit_ = shortField(in.next());
  repeatType_ = shortField(in.next());
  repeatEndDate_ = in.next();
  repeatFrequency_ = byteField(in.next());
  repeatOn_ = byteField(in.next());
  repeatStartOfWeek_ = byteField(in.next());
  pendingExceptions_ = in.next();
  description_ = svmToLineBreaks(in.next());
  note_ = svmToLineBreaks(in.next());
}

void CDateBook::afterExtract() {
  exceptions_.clear();
  std::string_view rest = pendingExceptions_;
  while (!rest.empty()) {
    size_t svm = rest.find(pelorix::kSubvalueMark);
    std::string piece(rest.substr(0, svm));
    if (!piece.empty()) exceptions_.push_back(numberField(piece));
    rest = svm == std::string_view::npos ? std::string_view{} : rest.substr(svm + 1);
  }
  pendingExceptions_.clear();
}

}  // namespace pelorix::records
