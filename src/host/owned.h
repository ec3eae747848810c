// One move-only owner for every kind of platform handle: each handle is
// released exactly once, by whoever holds it last.
#pragma once

#include <type_traits>
#include <utility>

// Traits: using Type = ...; static Type Empty(); static void Close(Type).
template <class Traits>
class Owned {
 public:
  using Type = typename Traits::Type;

  Owned() = default;
  explicit Owned(Type value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Empty(); }
  Type release() { return std::exchange(value_, Traits::Empty()); }
  void reset(Type value = Traits::Empty()) {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Empty()) Traits::Close(old);
  }
  // For an out-parameter: releases what was held and lends the slot, so a
  // handle the callee writes there is owned from that moment.
  Type* put() {
    reset();
    return &value_;
  }
  // Member access for owners of interface pointers.
  Type operator->() const
    requires std::is_class_v<std::remove_pointer_t<Type>>
  {
    return value_;
  }

 private:
  Type value_ = Traits::Empty();
};
