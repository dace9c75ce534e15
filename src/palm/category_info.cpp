#include "palm/category_info.h"

#include <algorithm>

namespace pelorix::palm {

std::vector<std::uint8_t> CategoryInfo::defaultBlock() {
  std::vector<std::uint8_t> block(kSize, 0);
  const std::string unfiled = "Unfiled";
  std::copy(unfiled.begin(), unfiled.end(), block.begin() + 2);
  block[kSize - 2] = 15;  // ids above 15 are free for categories the user adds
  return block;
}

CategoryInfo::CategoryInfo(const std::vector<std::uint8_t>& appInfo) {
  const std::vector<std::uint8_t> fallback = appInfo.size() < kSize ? defaultBlock() : std::vector<std::uint8_t>{};
  const std::vector<std::uint8_t>& b = fallback.empty() ? appInfo : fallback;
  renamed_ = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  for (size_t i = 0; i < kCount; ++i)
    std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(2 + i * kLabelSize), kLabelSize, labels_[i].begin());
  std::copy_n(b.begin() + 2 + kCount * kLabelSize, kCount, ids_.begin());
  lastUniqueId_ = b[kSize - 2];
  pad_ = b[kSize - 1];
}

std::string CategoryInfo::label(size_t slot) const {
  const auto& l = labels_.at(slot);
  auto end = std::find(l.begin(), l.end(), 0);
  return std::string(l.begin(), end);
}

bool CategoryInfo::setLabel(size_t slot, const std::string& palmText) {
  std::string text = palmText.substr(0, std::min(palmText.find('\0'), kLabelSize - 1));
  if (label(slot) == text) return false;
  auto& l = labels_.at(slot);
  l.fill(0);
  std::copy(text.begin(), text.end(), l.begin());
  return true;
}

bool CategoryInfo::setId(size_t slot, std::uint8_t id) {
  if (ids_.at(slot) == id) return false;
  ids_[slot] = id;
  lastUniqueId_ = std::max(lastUniqueId_, id);
  return true;
}

bool CategoryInfo::setRenamed(size_t slot, bool value) {
  auto bits = static_cast<std::uint16_t>(value ? renamed_ | (1u << slot) : renamed_ & ~(1u << slot));
  if (slot >= kCount || bits == renamed_) return false;
  renamed_ = bits;
  return true;
}

void CategoryInfo::storeInto(std::vector<std::uint8_t>& appInfo) const {
  if (appInfo.size() < kSize) appInfo.resize(kSize, 0);
  appInfo[0] = static_cast<std::uint8_t>(renamed_ >> 8);
  appInfo[1] = static_cast<std::uint8_t>(renamed_);
  for (size_t i = 0; i < kCount; ++i)
    std::copy(labels_[i].begin(), labels_[i].end(), appInfo.begin() + static_cast<std::ptrdiff_t>(2 + i * kLabelSize));
  std::copy(ids_.begin(), ids_.end(), appInfo.begin() + 2 + kCount * kLabelSize);
  appInfo[kSize - 2] = lastUniqueId_;
  appInfo[kSize - 1] = pad_;
}

}  // namespace pelorix::palm
