#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "ipc/socket/SocketError.h"
#include "platform/Fatal.h"

namespace vozi {

// The outcome of a socket operation: its value, or the error that stopped it.
// Reading the value of a failed result (or the error of a successful one) is
// a programming fault and aborts.
template <class T, class E = SocketError>
class [[nodiscard]] SocketResult {
 public:
  SocketResult(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
  SocketResult(E error) : storage_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return storage_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(checked(true)); }
  const T& value() const& { return std::get<0>(checked(true)); }
  T&& value() && { return std::get<0>(std::move(checked(true))); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const { return std::get<1>(checked(false)); }

 private:
  std::variant<T, E>& checked(bool wantValue) {
    if (ok() != wantValue) misuse();
    return storage_;
  }
  const std::variant<T, E>& checked(bool wantValue) const {
    if (ok() != wantValue) misuse();
    return storage_;
  }
  [[noreturn]] static void misuse() {
    platform::fatalStop("SocketResult: value and error read the wrong way round");
  }

  std::variant<T, E> storage_;
};

template <class E>
class [[nodiscard]] SocketResult<void, E> {
 public:
  SocketResult() = default;
  SocketResult(E error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }

  const E& error() const {
    if (ok()) {
      platform::fatalStop("SocketResult: error read from a success");
    }
    return *error_;
  }

 private:
  std::optional<E> error_;
};

}  // namespace vozi
