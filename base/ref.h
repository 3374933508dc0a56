// base/ref.h: the counted object root and its intrusive handle.
#pragma once
#include <cstdint>
#include <utility>

// Root of the program's own polymorphic classes. The count starts at 0; the first Ref takes it
// to 1 and the last one to go calls release(), which destroys the object.
class Object {
public:
  Object() = default;
  Object(const Object&) : count_(0) {}
  Object& operator=(const Object&) { return *this; }
  virtual ~Object() = default;
  // Destroys the object; classes with their own allocation override it.
  virtual void release() { delete this; }

  void addRef() { ++count_; }
  void dropRef() {
    if (--count_ == 0) release();
  }
  std::int32_t refCount() const { return count_; }

private:
  std::int32_t count_ = 0;
};

// Intrusive counted handle; null is the ordinary "none". A Ref passed by value is handed over.
template <class T>
class Ref {
public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  Ref(T* p) : p_(p) {
    if (p_) p_->addRef();
  }
  Ref(const Ref& o) : p_(o.p_) {
    if (p_) p_->addRef();
  }
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  template <class U>
  Ref(const Ref<U>& o) : p_(o.get()) {
    if (p_) p_->addRef();
  }
  template <class U>
  Ref(Ref<U>&& o) noexcept : p_(o.detach()) {}
  ~Ref() {
    if (p_) p_->dropRef();
  }

  Ref& operator=(const Ref& o) {
    Ref(o).swap(*this);
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    Ref(std::move(o)).swap(*this);
    return *this;
  }
  Ref& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  void reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->dropRef();
    }
  }
  void swap(Ref& o) noexcept { std::swap(p_, o.p_); }
  // Gives up the handle without touching the count; the caller owns one count.
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
  friend bool operator==(const Ref& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
  T* p_ = nullptr;
};
