#pragma once
// What the connector's CreateDynamicArray hands out: a text kept as a
// dynamic array, with its attribute positions found once so that taking
// every record of a long answer costs no more than reading it.

#include <string>
#include <vector>

#include "com/dispatch.h"

namespace pelorix::mv {

class DynamicArrayObject final : public com::Dispatchable<DynamicArrayObject> {
 public:
  explicit DynamicArrayObject(std::string text);
  ~DynamicArrayObject() override;
  static const com::Members<DynamicArrayObject>& members();

  const std::string& text() const { return text_; }
  int attributeCount() const;
  // Attribute n (from 1), value v and subvalue s of it; 0 means whole.
  std::string extract(int attribute, int value, int subvalue) const;

 private:
  void index() const;

  std::string text_;
  mutable std::vector<size_t> starts_;  // where each attribute begins
  mutable bool indexed_ = false;
};

}  // namespace pelorix::mv
