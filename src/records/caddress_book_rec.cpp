#include "records/caddress_book_rec.h"

#include "base/marks.h"
#include "palm/palm_text.h"
#include "records/mod_pelx.h"

namespace pelorix::records {

namespace {
constexpr size_t kLast = 0, kFirst = 1, kCompany = 2, kPhone1 = 3;
}

void CAddressBookRec::decode(RecordReader& in) {
  std::int32_t options = static_cast<std::int32_t>(in.dword());
  for (int i = 0; i < 5; ++i) labels_[i] = GetNibble(options, static_cast<std::int16_t>(i));
  displayPhone_ = static_cast<std::int16_t>(GetNibble(options, 5) + 1);
  std::int32_t present = static_cast<std::int32_t>(in.dword());
  in.skip(1);  // the company offset is worked out again when writing
  for (size_t i = 0; i < kTexts; ++i) {
    if (GetBit(present, static_cast<std::int16_t>(i)) != 1) continue;
    texts_[i].clear();
    texts_[i] = i == kNote ? in.noteText() : in.text();
  }
}

void CAddressBookRec::encode(RecordWriter& out) {
  std::int32_t options = 0;
  for (int i = 0; i < 5; ++i) options += NibbleValue(labels_[i], static_cast<std::int16_t>(i));
  out.field(20);
  std::int32_t display = displayPhone_ - 1;
  if (display < INT16_MIN) com::raise(com::err::kOverflow, "CAddressBookRec", "Overflow");
  options += NibbleValue(display, 5);
  std::int32_t present = 0;
  for (size_t i = 0; i < kTexts; ++i)
    if (!texts_[i].empty()) present += BitValue(1, static_cast<std::int16_t>(i));
  out.field(0);
  out.dword(static_cast<std::uint32_t>(options));
  out.dword(static_cast<std::uint32_t>(present));
  std::int32_t companyOffset = 0;
  if (!texts_[kCompany].empty()) {
    companyOffset = 1;
    for (size_t i : {kLast, kFirst})
      if (!texts_[i].empty()) companyOffset += static_cast<std::int32_t>(palm::palmTextLength(texts_[i])) + 1;
  }
  out.byte(companyOffset);
  for (size_t i = 0; i < kTexts; ++i)
    if (!texts_[i].empty()) out.text(i == kNote ? toHandheldLineBreaks(texts_[i]) : texts_[i]);
}

void CAddressBookRec::appendFields(std::string& out) const {
  const char vm = pelorix::kValueMark;
  for (size_t i = 0; i < kTexts; ++i) {
    out += vm;
    out += i == kNote ? lineBreaksToSvm(texts_[i]) : texts_[i];
    if (i >= kPhone1 && i < kPhone1 + 5) out += vm + std::to_string(labels_[i - kPhone1]);
    if (i == kPhone1 + 4) out += vm + std::to_string(displayPhone_);
  }
}

void CAddressBookRec::extractFields(FieldScanner& in) {
  for (size_t i = 0; i < kTexts; ++i) {
    std::string field = in.next();
    texts_[i] = i == kNote ? svmToLineBreaks(field) : field;
    if (i >= kPhone1 && i < kPhone1 + 5) labels_[i - kPhone1] = shortField(in.next());
    if (i == kPhone1 + 4) displayPhone_ = shortField(in.next());
  }
}

}  // namespace pelorix::records
