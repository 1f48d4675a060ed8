// A value or an error message: how operations at the edge of the system report failure.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace velmora {

struct TError {
  std::string Message;
};

template <class T>
class TResult {
public:
  TResult(T value) : FState(std::in_place_index<0>, std::move(value)) {}
  TResult(TError error) : FState(std::in_place_index<1>, std::move(error)) {}

  bool Ok() const { return FState.index() == 0; }
  explicit operator bool() const { return Ok(); }
  T& Value() { return std::get<0>(FState); }
  const T& Value() const { return std::get<0>(FState); }
  const std::string& Error() const { return std::get<1>(FState).Message; }

private:
  std::variant<T, TError> FState;
};

template <>
class TResult<void> {
public:
  TResult() = default;
  TResult(TError error) : FOk(false), FError(std::move(error.Message)) {}

  bool Ok() const { return FOk; }
  explicit operator bool() const { return FOk; }
  const std::string& Error() const { return FError; }

private:
  bool FOk = true;
  std::string FError;
};

using TStatus = TResult<void>;

} // namespace velmora
