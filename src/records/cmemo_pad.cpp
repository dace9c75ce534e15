#include "records/cmemo_pad.h"

#include "base/marks.h"
#include "records/mod_pelx.h"

namespace pelorix::records {

void CMemoPad::decode(RecordReader& in) {
  memo_.clear();
  memo_ = in.noteText();
}

void CMemoPad::encode(RecordWriter& out) { out.text(toHandheldLineBreaks(memo_)); }

void CMemoPad::appendFields(std::string& out) const {
  out += pelorix::kValueMark;
  out += lineBreaksToSvm(memo_);
}

void CMemoPad::extractFields(FieldScanner& in) { memo_ = svmToLineBreaks(in.next()); }

}  // namespace pelorix::records
