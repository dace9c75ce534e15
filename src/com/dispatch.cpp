#include "com/dispatch.h"

#include <cctype>

namespace pelorix::com {

Variant& argument(std::span<Variant> args, size_t n, std::string_view member) {
  if (n >= args.size()) raise(err::kBadParamCount, std::string(member), "Argument not optional");
  return args[n];
}

Variant invokeWith(Object& object, DispId id, InvokeKind kind, std::initializer_list<Arg> args) {
  std::vector<Variant> values;
  values.reserve(args.size());
  for (const Arg& a : args) values.push_back(a.value_);
  Variant result = object.Invoke(id, kind, values);
  size_t i = 0;
  for (const Arg& a : args) {
    if (a.target_) *a.target_ = std::move(values[i]);
    ++i;
  }
  return result;
}

Variant invokeByName(Object& object, std::string_view name, InvokeKind kind, std::initializer_list<Arg> args) {
  return invokeWith(object, object.GetIDOfName(name), kind, args);
}

void putProperty(Object& object, std::string_view name, const Variant& value) {
  invokeByName(object, name, InvokeKind::PropertyPut, {value});
}

// Object's defaults live here, beside the machinery they fall back to.
void Object::Release() noexcept {
  if (--refs_ > 0) return;
  refs_ = 1;  // a Terminate that borrows a reference must not end us twice
  try {
    Terminate();
  } catch (...) {
  }
  delete this;
}

DispId Object::GetIDOfName(std::string_view name) {
  raise(err::kUnknownName, "IDispatch", "Object doesn't support this property or method: " + std::string(name));
}

Variant Object::Invoke(DispId id, InvokeKind, std::span<Variant>) {
  raise(err::kMemberNotFound, "IDispatch", "Member not found: dispatch id " + std::to_string(id));
}

}  // namespace pelorix::com
