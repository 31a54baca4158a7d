#pragma once

#include <concepts>
#include <cstddef>
#include <iterator>
#include <type_traits>

namespace vozi {

// A simple enumeration (cases numbered from 0 in declaration order) takes part
// in Utilities::iterateEnum by declaring, in its own namespace,
//   constexpr std::size_t enumCaseCount(MyEnum) { return <number of cases>; }
template <class E>
concept IterableEnum = std::is_enum_v<E> && requires(E e) {
  { enumCaseCount(e) } -> std::convertible_to<std::size_t>;
};

class Utilities {
 public:
  // Yields every case of the enumeration once, in declaration order.
  template <IterableEnum E>
  class EnumRange {
   public:
    class iterator {
     public:
      using iterator_category = std::input_iterator_tag;
      using value_type = E;
      using difference_type = std::ptrdiff_t;
      using pointer = const E*;
      using reference = E;

      iterator() = default;
      explicit iterator(std::size_t counter) : counter_(counter) {}
      E operator*() const { return static_cast<E>(counter_); }
      iterator& operator++() {
        ++counter_;
        return *this;
      }
      iterator operator++(int) {
        iterator previous = *this;
        ++counter_;
        return previous;
      }
      friend bool operator==(const iterator&, const iterator&) = default;

     private:
      std::size_t counter_ = 0;
    };

    iterator begin() const { return iterator(0); }
    iterator end() const { return iterator(static_cast<std::size_t>(enumCaseCount(E{}))); }
  };

  template <IterableEnum E>
  static EnumRange<E> iterateEnum() {
    return {};
  }
};

}  // namespace vozi
