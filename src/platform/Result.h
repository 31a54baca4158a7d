#pragma once

#include <type_traits>
#include <utility>
#include <variant>

#include "platform/Error.h"

namespace vozi::platform {

// The outcome of a call that can fail: a value or an Error, never both.
//
//   Result<Value> parsed = PropertyList::fromXML(text);
//   if (!parsed) log(parsed.error().localizedDescription());
//   else use(*parsed);
template <class T>
class [[nodiscard]] Result {
 public:
  Result(const T& value) : storage_(std::in_place_index<0>, value) {}
  Result(T&& value) : storage_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}
  // Converts a value of another type (e.g. shared_ptr<Derived> into shared_ptr<Base>).
  template <class U>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::remove_cvref_t<U>, T> &&
             !std::is_same_v<std::remove_cvref_t<U>, Error> && !std::is_same_v<std::remove_cvref_t<U>, Result>)
  Result(U&& value) : storage_(std::in_place_index<0>, T(std::forward<U>(value))) {}

  bool ok() const { return storage_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only valid when ok().
  T& value() & { return std::get<0>(storage_); }
  const T& value() const& { return std::get<0>(storage_); }
  T&& value() && { return std::get<0>(std::move(storage_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // Only valid when !ok().
  const Error& error() const { return std::get<1>(storage_); }

  T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> storage_;
};

// A call that returns nothing but can fail.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Only valid when !ok().
  const Error& error() const { return error_; }

 private:
  Error error_;
  bool failed_ = false;
};

}  // namespace vozi::platform
