#pragma once
// modPelx: bits, nibbles, line breaks and the MultiValue and handheld date
// and time conversions shared by the record classes. Dates are built from
// their numeric parts, with no locale and no time zone.

#include <cstdint>
#include <string>
#include <string_view>

#include "com/variant.h"

namespace pelorix::records {

using com::DateTime;

std::int16_t GetBit(std::int32_t value, std::int16_t n);
std::int32_t BitValue(std::int16_t flag, std::int16_t n);
std::int16_t GetNibble(std::int32_t value, std::int16_t n);
std::int32_t NibbleValue(std::int32_t nibble, std::int16_t n);
std::int16_t GetBitField(std::int16_t value, std::int16_t firstBit, std::int16_t count);
std::string MaskLineBreaks(std::string_view text);

std::int32_t DateToMvDate(DateTime d);
DateTime MvDateToDate(std::int32_t n);
DateTime PalmDateToDate(std::uint16_t w);
std::uint16_t DateToPalmDate(DateTime d);
DateTime PalmTimeToDate(std::uint16_t w);
std::uint16_t DateToPalmTime(DateTime t);
DateTime MvTimeToDate(std::int32_t n);
std::int32_t DateToMvTime(DateTime t);

// Multi-line texts in a dynamic array: CR LF, then CR, then LF become SVM;
// reading back, SVM becomes CR LF.
std::string lineBreaksToSvm(std::string_view text);
std::string svmToLineBreaks(std::string_view text);
// The handheld's own line break is LF: CR LF and lone CRs become LF.
std::string toHandheldLineBreaks(std::string_view text);

}  // namespace pelorix::records
