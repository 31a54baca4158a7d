#include "platform/ErrorValue.h"

namespace vozi::platform {

namespace {
constexpr const char* kDomain = "NSErrorDomain";
constexpr const char* kCode = "NSErrorCode";
constexpr const char* kUserInfo = "NSErrorUserInfo";
}  // namespace

Value ErrorValue::box(const Error& error) {
  return Value(Value::Dictionary{{kDomain, Value(error.domain)},
                                 {kCode, Value(static_cast<std::int64_t>(error.code))},
                                 {kUserInfo, Value(error.userInfo)}});
}

std::optional<Error> ErrorValue::unbox(const Value& value) {
  const auto* dict = value.asDictionary();
  if (!dict || dict->size() != 3) return std::nullopt;
  const Value* domain = value.find(kDomain);
  const Value* code = value.find(kCode);
  const Value* userInfo = value.find(kUserInfo);
  if (!domain || !domain->isString() || !code || !code->isInteger() || !userInfo || !userInfo->isDictionary())
    return std::nullopt;
  const auto number = code->asInt64();
  if (!number) return std::nullopt;
  return Error(*domain->asString(), static_cast<long>(*number), *userInfo->asDictionary());
}

std::optional<Error> ErrorValue::underlyingError(const Error& error) {
  auto it = error.userInfo.find(underlyingErrorKey);
  if (it == error.userInfo.end()) return std::nullopt;
  return unbox(it->second);
}

Error ErrorValue::withUnderlyingError(Error error, const Error& underlying) {
  error.userInfo[underlyingErrorKey] = box(underlying);
  return error;
}

}  // namespace vozi::platform
