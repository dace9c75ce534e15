#include "connector/dynamic_array_object.h"

#include "base/marks.h"
#include "connector/live_objects.h"

namespace pelorix::connector {

DynamicArrayObject::DynamicArrayObject(std::string text) : text_(std::move(text)) {
  ++liveObjects();
  if (text_.empty()) return;
  starts_.push_back(0);
  for (size_t i = 0; i < text_.size(); ++i)
    if (text_[i] == kAM) starts_.push_back(i + 1);
}

DynamicArrayObject::~DynamicArrayObject() { --liveObjects(); }

std::string DynamicArrayObject::extract(int a, int v, int s) const {
  if (a < 1 || static_cast<size_t>(a) > starts_.size()) return {};
  size_t begin = starts_[static_cast<size_t>(a) - 1];
  size_t end = static_cast<size_t>(a) < starts_.size() ? starts_[static_cast<size_t>(a)] - 1 : text_.size();
  std::string_view attribute(text_.data() + begin, end - begin);
  if (v == 0 && s == 0) return std::string(attribute);
  std::string_view value = markedPart(attribute, kVM, v == 0 ? 1 : v);
  return std::string(s == 0 ? value : markedPart(value, kSVM, s));
}

const com::Members<DynamicArrayObject>& DynamicArrayObject::members() {
  static const auto table = com::Members<DynamicArrayObject>().property(
      "Value", [](DynamicArrayObject& self, std::span<com::Variant>) { return com::Variant(self.text_); });
  return table;
}

}  // namespace pelorix::connector
