#pragma once
// The attribute bits of a handheld record: as a .pdb stores them in the
// record's attribute byte, and as the sync suite passes them (eAttributes).

#include <cstdint>

namespace pelorix::palm::attr {

inline constexpr std::uint8_t kDeleted = 0x80;
inline constexpr std::uint8_t kDirty = 0x40;
inline constexpr std::uint8_t kBusy = 0x20;
inline constexpr std::uint8_t kPrivate = 0x10;
inline constexpr std::uint8_t kArchived = 0x08;  // only on a deleted record
// A stored byte holds the flags above and, on a live record, the category.
inline constexpr std::uint8_t kFlagsMask = 0xF0;
inline constexpr std::uint8_t kCategoryMask = 0x0F;

}  // namespace pelorix::palm::attr
