#pragma once
// Reference-counted objects reachable early-bound (as C++) or late-bound (by
// member name or dispatch id).

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

namespace pelorix::com {

class Variant;
using DispId = std::int32_t;

enum class InvokeKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  void AddRef() noexcept { ++refs_; }
  // The last Release ends the object: Terminate runs first (its errors are
  // swallowed, as nothing can receive them), then the object is deleted.
  void Release() noexcept;
  long RefCount() const noexcept { return refs_; }

  // Late binding. Objects without members answer kUnknownName.
  virtual DispId GetIDOfName(std::string_view name);
  virtual Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args);

 protected:
  virtual ~Object() = default;
  virtual void Terminate() {}

 private:
  long refs_ = 0;
};

template <class T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}
  explicit Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) noexcept : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& o) noexcept : Ref(o.get()) {}
  ~Ref() { reset(); }

  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.p_ == b.p_; }

 private:
  T* p_ = nullptr;
};

template <class T, class... A>
Ref<T> make(A&&... args) {
  return Ref<T>(new T(std::forward<A>(args)...));
}

// The early-bound view of an object, or an empty Ref when it is not a T.
template <class T, class U>
Ref<T> query(const Ref<U>& object) {
  return Ref<T>(dynamic_cast<T*>(object.get()));
}

}  // namespace pelorix::com
