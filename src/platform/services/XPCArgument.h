#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/AllowedClasses.h"
#include "platform/Error.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi::platform {

// How one argument type of a service method travels in a frame. A method's
// argument and reply-block argument types must be among these:
//
//   bool, std::int64_t, double                        numbers in the frame
//   std::string, std::optional<std::string>           NSString (optional: may be nil)
//   std::vector<std::string>                          NSArray of NSString
//   Value                                             property-list objects (userInfo, ...)
//   Error                                             an error's domain, code and userInfo
//   std::optional<URL>                                NSURL, absolute (may be nil)
//   std::shared_ptr<R>                                a registered record (may be null)
//   std::vector<std::shared_ptr<R>>                   an NSArray of registered records
//
// decode() reads under the argument's class list, which the receiver has
// already set as the unarchiver's graph list; nullopt means refused (the
// unarchiver's error says why, or the value was missing or of another kind).
template <class T>
struct XPCArgument;

// Numbers and booleans are stored in the frame itself.
template <class T, T (KeyedUnarchiver::*Decode)(std::string_view)>
struct XPCScalarArgument {
  static void encode(KeyedArchiver& a, std::string_view key, T value) { a.encode(key, value); }
  static std::optional<T> decode(KeyedUnarchiver& u, std::string_view key, const AllowedClasses&) {
    return (u.*Decode)(key);
  }
};

template <>
struct XPCArgument<bool> : XPCScalarArgument<bool, &KeyedUnarchiver::decodeBoolForKey> {};
template <>
struct XPCArgument<std::int64_t> : XPCScalarArgument<std::int64_t, &KeyedUnarchiver::decodeInt64ForKey> {};
template <>
struct XPCArgument<double> : XPCScalarArgument<double, &KeyedUnarchiver::decodeDoubleForKey> {};

template <>
struct XPCArgument<Value> {
  static void encode(KeyedArchiver& a, std::string_view key, const Value& value) { a.encodePropertyList(key, value); }
  static std::optional<Value> decode(KeyedUnarchiver& u, std::string_view key, const AllowedClasses&) {
    if (!u.containsValueForKey(key)) return std::nullopt;
    auto value = u.decodePropertyListForKey(key);
    if (u.error()) return std::nullopt;
    return value ? std::move(*value) : Value();
  }
};

template <>
struct XPCArgument<std::optional<std::string>> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::optional<std::string>& value) {
    a.encode(key, value);
  }
  static std::optional<std::optional<std::string>> decode(KeyedUnarchiver& u, std::string_view key,
                                                          const AllowedClasses& allowed) {
    auto value = XPCArgument<Value>::decode(u, key, allowed);
    if (!value) return std::nullopt;
    if (value->isNull()) return std::optional<std::string>();
    if (!value->asString()) return std::nullopt;
    return std::optional<std::string>(std::move(*value->asString()));
  }
};

template <>
struct XPCArgument<std::string> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::string& value) { a.encode(key, value); }
  static std::optional<std::string> decode(KeyedUnarchiver& u, std::string_view key, const AllowedClasses& allowed) {
    auto value = XPCArgument<std::optional<std::string>>::decode(u, key, allowed);
    if (!value || !*value) return std::nullopt;
    return std::move(**value);
  }
};

template <>
struct XPCArgument<std::vector<std::string>> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::vector<std::string>& value) {
    a.encode(key, value);
  }
  static std::optional<std::vector<std::string>> decode(KeyedUnarchiver& u, std::string_view key,
                                                        const AllowedClasses& allowed) {
    auto value = XPCArgument<Value>::decode(u, key, allowed);
    if (!value || !value->isArray()) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& element : *value->asArray()) {
      if (!element.asString()) return std::nullopt;
      out.push_back(*element.asString());
    }
    return out;
  }
};

template <>
struct XPCArgument<Error> {
  static void encode(KeyedArchiver& a, std::string_view key, const Error& value) {
    Value::Dictionary fields;
    fields["domain"] = Value(value.domain);
    fields["code"] = Value(static_cast<std::int64_t>(value.code));
    fields["userInfo"] = Value(value.userInfo);
    a.encodePropertyList(key, Value(std::move(fields)));
  }
  static std::optional<Error> decode(KeyedUnarchiver& u, std::string_view key, const AllowedClasses& allowed) {
    auto value = XPCArgument<Value>::decode(u, key, allowed);
    const Value* domain = value ? value->find("domain") : nullptr;
    const Value* code = value ? value->find("code") : nullptr;
    const Value* userInfo = value ? value->find("userInfo") : nullptr;
    if (!domain || !domain->asString() || !code || !code->asInt64() || (userInfo && !userInfo->isDictionary()))
      return std::nullopt;
    return Error(*domain->asString(), static_cast<long>(*code->asInt64()),
                 userInfo ? *userInfo->asDictionary() : Value::Dictionary{});
  }
};

// A URL that does not parse as an absolute URL is refused, as is one
// relative to another URL.
template <>
struct XPCArgument<std::optional<URL>> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::optional<URL>& value) {
    a.encodeURL(key, value ? std::optional<std::string>(value->absoluteString()) : std::nullopt);
  }
  static std::optional<std::optional<URL>> decode(KeyedUnarchiver& u, std::string_view key, const AllowedClasses&) {
    if (!u.containsValueForKey(key)) return std::nullopt;
    auto text = u.decodeURLForKey(key);
    if (u.error()) return std::nullopt;
    if (!text) return std::optional<URL>();
    auto url = URL::fromString(*text);
    if (!url) return std::nullopt;
    return std::optional<URL>(std::move(*url));
  }
};

template <class R>
struct XPCArgument<std::shared_ptr<R>> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::shared_ptr<R>& value) {
    a.encodeObject(key, value);
  }
  static std::optional<std::shared_ptr<R>> decode(KeyedUnarchiver& u, std::string_view key,
                                                  const AllowedClasses& allowed) {
    auto value = u.decodeObjectForKey<R>(key, allowed);
    if (u.error()) return std::nullopt;
    return value;
  }
};

template <class R>
struct XPCArgument<std::vector<std::shared_ptr<R>>> {
  static void encode(KeyedArchiver& a, std::string_view key, const std::vector<std::shared_ptr<R>>& value) {
    a.encodeArray(key, value);
  }
  static std::optional<std::vector<std::shared_ptr<R>>> decode(KeyedUnarchiver& u, std::string_view key,
                                                               const AllowedClasses& allowed) {
    return u.decodeArrayForKey<R>(key, allowed);
  }
};

}  // namespace vozi::platform
