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

// Elements of a text separated by the delimiter (none in an empty text).
int countElements(std::string_view text, std::string_view delimiter);
// Element n (from 1) of a text separated by one mark.
std::string_view element(std::string_view text, char mark, int n);

}  // namespace pelorix::connector
