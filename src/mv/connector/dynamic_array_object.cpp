#include "mv/connector/dynamic_array_object.h"

#include "mv/connector/live_objects.h"
#include "mv/dynamic_array.h"

namespace pelorix::mv {

DynamicArrayObject::DynamicArrayObject(std::string text) : text_(std::move(text)) { ++liveObjects(); }
DynamicArrayObject::~DynamicArrayObject() { --liveObjects(); }

const com::Members<DynamicArrayObject>& DynamicArrayObject::members() {
  static const auto table = com::Members<DynamicArrayObject>().property(
      "Value", [](DynamicArrayObject& self, std::span<com::Variant>) { return com::Variant(self.text_); });
  return table;
}

void DynamicArrayObject::index() const {
  if (indexed_) return;
  if (!text_.empty()) {
    starts_.push_back(0);
    for (size_t i = 0; i < text_.size(); ++i)
      if (text_[i] == AM) starts_.push_back(i + 1);
  }
  indexed_ = true;
}

int DynamicArrayObject::attributeCount() const {
  index();
  return static_cast<int>(starts_.size());
}

std::string DynamicArrayObject::extract(int attribute, int value, int subvalue) const {
  index();
  if (attribute < 1 || static_cast<size_t>(attribute) > starts_.size()) return {};
  size_t begin = starts_[static_cast<size_t>(attribute) - 1];
  size_t end = static_cast<size_t>(attribute) < starts_.size() ? starts_[static_cast<size_t>(attribute)] - 1 : text_.size();
  std::string_view element(text_.data() + begin, end - begin);
  if (value == 0 && subvalue == 0) return std::string(element);
  return Extract(element, 1, value, subvalue);
}

}  // namespace pelorix::mv
