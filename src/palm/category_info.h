#pragma once
// The standard category block at the start of an application's AppInfo:
// a renamed-categories word, 16 labels of 16 bytes, 16 ids, the last unique
// id and a pad byte. Whatever follows belongs to the application and is kept
// byte for byte.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorix::palm {

class CategoryInfo {
 public:
  static constexpr size_t kCount = 16;
  static constexpr size_t kLabelSize = 16;
  static constexpr size_t kSize = 2 + kCount * kLabelSize + kCount + 2;

  // An AppInfo shorter than the category block reads as the default block:
  // "Unfiled" alone.
  explicit CategoryInfo(const std::vector<std::uint8_t>& appInfo);
  static std::vector<std::uint8_t> defaultBlock();

  // The label as Palm OS Latin; empty when its first byte is 0.
  std::string label(size_t slot) const;
  // Stores at most 15 bytes; false when nothing changed.
  bool setLabel(size_t slot, const std::string& palmText);
  std::uint8_t id(size_t slot) const { return ids_[slot]; }
  bool setId(size_t slot, std::uint8_t id);
  bool renamed(size_t slot) const { return (renamed_ >> slot) & 1; }
  bool setRenamed(size_t slot, bool value);

  // Writes the block back over the start of `appInfo`, growing it if needed.
  void storeInto(std::vector<std::uint8_t>& appInfo) const;

 private:
  std::uint16_t renamed_ = 0;
  std::array<std::array<std::uint8_t, kLabelSize>, kCount> labels_{};
  std::array<std::uint8_t, kCount> ids_{};
  std::uint8_t lastUniqueId_ = 0;
  std::uint8_t pad_ = 0;
};

}  // namespace pelorix::palm
