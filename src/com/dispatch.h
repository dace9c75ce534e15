#pragma once
// Late binding: member tables for classes, and calls by name or dispatch id.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii_case.h"
#include "com/com_error.h"
#include "com/object.h"
#include "com/variant.h"

namespace pelorix::com {

// Member table of one class. Properties may take index arguments; a put
// receives the value separately from them.
template <class T>
class Members {
 public:
  using Getter = Variant (*)(T&, std::span<Variant>);
  using Putter = void (*)(T&, std::span<Variant>, const Variant&);

  Members& property(std::string name, Getter get, Putter put = nullptr, DispId id = 0) {
    entries_.push_back({std::move(name), id ? id : nextId(), get, put, nullptr});
    return *this;
  }
  Members& method(std::string name, Getter call, DispId id = 0) {
    entries_.push_back({std::move(name), id ? id : nextId(), nullptr, nullptr, call});
    return *this;
  }

  DispId idOf(std::string_view name) const {
    for (const Entry& e : entries_)
      if (namesEqual(e.name, name)) return e.id;
    raise(err::kUnknownName, "IDispatch", "Object doesn't support this property or method: " + std::string(name));
  }

  Variant invoke(T& self, DispId id, InvokeKind kind, std::span<Variant> args) const {
    const Entry& e = find(id);
    switch (kind) {
      case InvokeKind::PropertyPut:
      case InvokeKind::PropertyPutRef:
        if (!e.put) break;
        if (args.empty()) raise(err::kBadParamCount, e.name, "Wrong number of arguments");
        e.put(self, args.first(args.size() - 1), args.back());
        return {};
      default:
        // A call may read a property and a read may call a method without
        // arguments, as automation clients expect.
        if (e.call) return e.call(self, args);
        if (e.get) return e.get(self, args);
    }
    raise(err::kMemberNotFound, e.name, "Invalid use of property");
  }

 private:
  struct Entry {
    std::string name;
    DispId id;
    Getter get;
    Putter put;
    Getter call;
  };

  DispId nextId() const {
    DispId top = 0;
    for (const Entry& e : entries_) top = std::max(top, e.id);
    return top + 1;
  }
  const Entry& find(DispId id) const {
    for (const Entry& e : entries_)
      if (e.id == id) return e;
    raise(err::kMemberNotFound, "IDispatch", "Member not found: dispatch id " + std::to_string(id));
  }

  std::vector<Entry> entries_;
};

// Gives T late binding through its static members() table.
template <class T, class Base = Object>
class Dispatchable : public Base {
 public:
  using Base::Base;
  DispId GetIDOfName(std::string_view name) override { return T::members().idOf(name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return T::members().invoke(static_cast<T&>(*this), id, kind, args);
  }
};

// The n-th argument, or kBadParamCount naming the member.
Variant& argument(std::span<Variant> args, size_t n, std::string_view member);

// An argument of a late-bound call: by value, or by reference to the
// caller's variable, which receives what the callee leaves in it.
class Arg {
 public:
  Arg(Variant value) : value_(std::move(value)) {}
  template <class V, class = std::enable_if_t<std::is_constructible_v<Variant, V>>>
  Arg(V value) : value_(Variant(std::move(value))) {}
  static Arg ref(Variant& target) {
    Arg a(target);
    a.target_ = &target;
    return a;
  }

 private:
  friend Variant invokeWith(Object&, DispId, InvokeKind, std::initializer_list<Arg>);
  Variant value_;
  Variant* target_ = nullptr;
};

Variant invokeWith(Object& object, DispId id, InvokeKind kind, std::initializer_list<Arg> args);
Variant invokeByName(Object& object, std::string_view name, InvokeKind kind, std::initializer_list<Arg> args = {});

inline Variant callMethod(Object& object, std::string_view name, std::initializer_list<Arg> args = {}) {
  return invokeByName(object, name, InvokeKind::Method, args);
}
inline Variant getProperty(Object& object, std::string_view name, std::initializer_list<Arg> args = {}) {
  return invokeByName(object, name, InvokeKind::PropertyGet, args);
}
void putProperty(Object& object, std::string_view name, const Variant& value);

}  // namespace pelorix::com
