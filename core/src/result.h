// The result type of every fallible core operation.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

#include "sim_error.h"

namespace vexolin {

/// Either a value of T or one SimError; success and failure share this one return value.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(SimError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }

  const SimError& error() const& { return std::get<1>(state_); }
  SimError&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, SimError> state_;
};

/// Success without a value, or one SimError.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(SimError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const SimError& error() const& { return *error_; }
  SimError&& error() && { return std::move(*error_); }

 private:
  std::optional<SimError> error_;
};

using Status = Result<void>;

/// Returns the error of `expr` (a Result) from the enclosing function.
#define VEXOLIN_TRY(expr)                                                         \
  do {                                                                            \
    auto&& vexolin_try_result_ = (expr);                                          \
    if (!vexolin_try_result_.ok()) return std::move(vexolin_try_result_).error(); \
  } while (0)

}  // namespace vexolin
