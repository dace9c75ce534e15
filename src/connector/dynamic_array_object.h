#pragma once
// What a connector's CreateDynamicArray hands out: a text kept as a dynamic
// array, its attributes found once so that taking every record of a long
// answer costs one pass.

#include <string>
#include <string_view>
#include <vector>

#include "base/marks.h"
#include "com/dispatch.h"

namespace pelorix::connector {

inline constexpr char kAM = kAttributeMark, kVM = kValueMark, kSVM = kSubvalueMark;

class DynamicArrayObject final : public com::Dispatchable<DynamicArrayObject> {
 public:
  explicit DynamicArrayObject(std::string text);
  ~DynamicArrayObject() override;
  static const com::Members<DynamicArrayObject>& members();

  const std::string& text() const { return text_; }
  int attributeCount() const { return static_cast<int>(starts_.size()); }
  // Attribute a (from 1), value v and subvalue s of it; 0 takes the whole.
  std::string extract(int a, int v, int s) const;

 private:
  std::string text_;
  std::vector<size_t> starts_;  // where each attribute begins
};

}  // namespace pelorix::connector
