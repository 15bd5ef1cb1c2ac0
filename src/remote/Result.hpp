#pragma once

#include <concepts>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace veltrano {

// Text form of an error value, for the message of a misused Result. Types outside the
// standard library take part through an ADL-found `toText(value)`.
template <typename E>
std::string errorText(const E& error) {
  if constexpr (std::is_convertible_v<const E&, std::string_view>) {
    return std::string(std::string_view(error));
  } else if constexpr (requires {
                         { toText(error) } -> std::convertible_to<std::string>;
                       }) {
    return toText(error);
  } else if constexpr (requires(std::ostream & out) { out << error; }) {
    std::ostringstream out;
    out << error;
    return out.str();
  } else {
    return "(error without a text form)";
  }
}

// Either a success value or an error value: what every operation on the remote service
// returns instead of throwing. A result without a meaningful value uses std::monostate.
template <typename T, typename E>
class Result {
 public:
  static Result Ok(T value) { return Result(std::in_place_index<0>, std::move(value)); }
  static Result Ok() requires std::default_initializable<T> {
    return Result(std::in_place_index<0>, T{});
  }
  static Result Err(E error) { return Result(std::in_place_index<1>, std::move(error)); }

  bool isOk() const noexcept { return state_.index() == 0; }

  // Throws std::invalid_argument when this holds an error; test isOk() first.
  const T& getValue() const& {
    requireOk();
    return std::get<0>(state_);
  }
  T getValue() && {
    requireOk();
    return std::move(std::get<0>(state_));
  }

  // Throws std::invalid_argument when this holds a value; test isOk() first.
  const E& getError() const& {
    requireErr();
    return std::get<1>(state_);
  }
  E getError() && {
    requireErr();
    return std::move(std::get<1>(state_));
  }

  // Same error, another value type: passes a failure on from one operation to the next.
  template <typename U>
  Result<U, E> propagateError() && {
    return Result<U, E>::Err(std::move(*this).getError());
  }

 private:
  template <std::size_t I, typename V>
  Result(std::in_place_index_t<I> index, V&& value) : state_(index, std::forward<V>(value)) {}

  void requireOk() const {
    if (!isOk()) {
      throw std::invalid_argument("Called getValue() on an error Result: " +
                                  errorText(std::get<1>(state_)));
    }
  }
  void requireErr() const {
    if (isOk()) {
      throw std::invalid_argument("Called getError() on an ok Result");
    }
  }

  std::variant<T, E> state_;
};

}  // namespace veltrano
