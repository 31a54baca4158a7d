#include "platform/Value.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace vozi::platform {

Value::Type Value::type() const {
  switch (storage_.index()) {
    case 0: return Type::null;
    case 1: return Type::boolean;
    case 2:
    case 3: return Type::integer;
    case 4: return Type::real;
    case 5: return Type::string;
    case 6: return Type::data;
    case 7: return Type::date;
    case 8: return Type::array;
    default: return Type::dictionary;
  }
}

std::optional<bool> Value::asBool() const {
  if (auto b = std::get_if<bool>(&storage_)) return *b;
  return std::nullopt;
}

std::optional<std::int64_t> Value::asInt64() const {
  if (auto i = std::get_if<std::int64_t>(&storage_)) return *i;
  if (auto u = std::get_if<std::uint64_t>(&storage_)) {
    if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return static_cast<std::int64_t>(*u);
    return std::nullopt;
  }
  if (auto d = std::get_if<double>(&storage_)) {
    if (std::isfinite(*d) && *d >= -9223372036854775808.0 && *d < 9223372036854775808.0)
      return static_cast<std::int64_t>(*d);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> Value::asUInt64() const {
  if (auto u = std::get_if<std::uint64_t>(&storage_)) return *u;
  if (auto i = std::get_if<std::int64_t>(&storage_)) {
    if (*i >= 0) return static_cast<std::uint64_t>(*i);
    return std::nullopt;
  }
  if (auto d = std::get_if<double>(&storage_)) {
    if (std::isfinite(*d) && *d >= 0 && *d < 18446744073709551616.0) return static_cast<std::uint64_t>(*d);
  }
  return std::nullopt;
}

std::optional<double> Value::asDouble() const {
  if (auto d = std::get_if<double>(&storage_)) return *d;
  if (auto i = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*i);
  if (auto u = std::get_if<std::uint64_t>(&storage_)) return static_cast<double>(*u);
  return std::nullopt;
}

std::optional<Date> Value::asDate() const {
  if (auto d = std::get_if<Date>(&storage_)) return *d;
  return std::nullopt;
}

const Value* Value::find(const std::string& key) const {
  auto dict = asDictionary();
  if (!dict) return nullptr;
  auto it = dict->find(key);
  return it == dict->end() ? nullptr : &it->second;
}

Value& Value::operator[](const std::string& key) {
  if (isNull()) storage_ = Dictionary{};
  auto dict = asDictionary();
  if (!dict) throw std::logic_error("Value::operator[] on a value that is not a dictionary");
  return (*dict)[key];
}

Value Value::uid(std::uint64_t index) {
  Value number = index <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                     ? Value(static_cast<std::int64_t>(index))
                     : Value(index);
  Dictionary reference;
  reference.emplace("CF$UID", std::move(number));
  return Value(std::move(reference));
}

std::optional<std::uint64_t> Value::asUID() const {
  auto dict = asDictionary();
  if (!dict || dict->size() != 1) return std::nullopt;
  const auto& [key, number] = *dict->begin();
  if (key != "CF$UID" || !number.isInteger()) return std::nullopt;
  return number.asUInt64();
}

bool operator==(const Value& a, const Value& b) {
  if (a.isInteger() && b.isInteger()) {
    if (a.isUnsigned() == b.isUnsigned()) return a.storage_ == b.storage_;
    // One signed, one unsigned: equal only when both are the same non-negative number.
    auto ua = a.asUInt64();
    auto ub = b.asUInt64();
    return ua && ub && *ua == *ub;
  }
  return a.storage_ == b.storage_;
}

}  // namespace vozi::platform
