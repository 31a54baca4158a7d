#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Date.h"

namespace vozi::platform {

using Data = std::vector<std::uint8_t>;

// One dynamic value: what property lists and JSON documents hold. Integers
// remember whether they were unsigned so that a 64-bit size above INT64_MAX
// survives every round trip.
class Value {
 public:
  using Array = std::vector<Value>;
  using Dictionary = std::map<std::string, Value>;

  enum class Type { null, boolean, integer, real, string, data, date, array, dictionary };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool v) : storage_(v) {}
  Value(int v) : storage_(static_cast<std::int64_t>(v)) {}
  Value(long v) : storage_(static_cast<std::int64_t>(v)) {}
  Value(long long v) : storage_(static_cast<std::int64_t>(v)) {}
  Value(unsigned v) : storage_(static_cast<std::int64_t>(v)) {}
  Value(unsigned long v) : storage_(static_cast<std::uint64_t>(v)) {}
  Value(unsigned long long v) : storage_(static_cast<std::uint64_t>(v)) {}
  Value(double v) : storage_(v) {}
  Value(const char* v) : storage_(std::string(v)) {}
  Value(std::string v) : storage_(std::move(v)) {}
  Value(std::string_view v) : storage_(std::string(v)) {}
  Value(Data v) : storage_(std::move(v)) {}
  Value(Date v) : storage_(v) {}
  Value(Array v) : storage_(std::move(v)) {}
  Value(Dictionary v) : storage_(std::move(v)) {}

  Type type() const;
  bool isNull() const { return std::holds_alternative<std::monostate>(storage_); }
  bool isBool() const { return std::holds_alternative<bool>(storage_); }
  bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_) || isUnsigned(); }
  // True for an integer stored as unsigned 64-bit.
  bool isUnsigned() const { return std::holds_alternative<std::uint64_t>(storage_); }
  bool isReal() const { return std::holds_alternative<double>(storage_); }
  bool isNumber() const { return isInteger() || isReal(); }
  bool isString() const { return std::holds_alternative<std::string>(storage_); }
  bool isData() const { return std::holds_alternative<Data>(storage_); }
  bool isDate() const { return std::holds_alternative<Date>(storage_); }
  bool isArray() const { return std::holds_alternative<Array>(storage_); }
  bool isDictionary() const { return std::holds_alternative<Dictionary>(storage_); }

  // Typed reads: absent when the value is of another type. Numbers convert
  // between integer and real; an integer read fails when it does not fit.
  std::optional<bool> asBool() const;
  std::optional<std::int64_t> asInt64() const;
  std::optional<std::uint64_t> asUInt64() const;
  std::optional<double> asDouble() const;
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const Data* asData() const { return std::get_if<Data>(&storage_); }
  std::optional<Date> asDate() const;
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  Array* asArray() { return std::get_if<Array>(&storage_); }
  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
  Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }

  // Dictionary lookup; null when this is not a dictionary or lacks the key.
  const Value* find(const std::string& key) const;
  // Dictionary insert-or-access; turns a null value into an empty dictionary.
  Value& operator[](const std::string& key);

  // A keyed-archive object reference. Property lists hold these as their own
  // type; as a Value it is the dictionary {"CF$UID": n}, the shape the XML
  // form of a property list gives it.
  static Value uid(std::uint64_t index);
  // The index when this is such a reference: a dictionary whose only entry
  // is "CF$UID" holding a non-negative integer.
  std::optional<std::uint64_t> asUID() const;

  // Same type and same contents. Integers compare by numeric value whether
  // stored signed or unsigned (a reader gives back int64 for every integer
  // that fits), but an integer never equals a real, nor a bool an integer.
  friend bool operator==(const Value& a, const Value& b);

 private:
  std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, Data, Date, Array,
               Dictionary>
      storage_;
};

}  // namespace vozi::platform
