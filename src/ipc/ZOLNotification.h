#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// A notification the daemon asks the per-user agent to show, and that the
// agent sends back when the user acts on it or closes it. Its class name
// and keys are shared with the agent program: they are a wire format.
//
//   auto note = ZOLNotification::make(identifier, kind);   // null without identifier
//   note->setUserInfo(platform::Value(platform::Value::Dictionary{{"group", "Trash"}}));
//
// Keys, in the order they are written: "identifier" (string), "type" (an
// integer, not an object), "userInfo" (a dictionary, or $null). Decoding
// reads the identifier and the type first and gives no object when the
// identifier is missing; subclasses then read their own keys as they are,
// without their initialisers' nil checks.
//
// Equality is identity. A record is not locked: one thread at a time.
class ZOLNotification {
 public:
  static constexpr std::string_view kClassName = "ZOLNotification";

  ZOLNotification(std::string identifier, std::uint64_t type) : identifier_(std::move(identifier)), type_(type) {}
  virtual ~ZOLNotification() = default;

  // Null when the identifier is nil; userInfo starts nil.
  static std::shared_ptr<ZOLNotification> make(std::optional<std::string> identifier, std::uint64_t type);

  // The key handlers are registered under and the agent knows it by.
  const std::string& identifier() const { return identifier_; }
  // A kind code chosen by the notifications manager.
  std::uint64_t type() const { return type_; }
  void setType(std::uint64_t type) { type_ = type; }
  // A dictionary of strings, numbers, arrays and dictionaries for the
  // handler, or null (nil).
  const platform::Value& userInfo() const { return userInfo_; }
  void setUserInfo(platform::Value userInfo) { userInfo_ = std::move(userInfo); }

  virtual void encode(platform::KeyedArchiver& archiver) const;

  // The decoder of class T (this class or a subclass): null when the
  // archive holds no identifier, else a T with every key read. Fails the
  // archive when "userInfo" holds something other than a dictionary.
  template <class T>
  static std::shared_ptr<T> decoded(platform::KeyedUnarchiver& unarchiver) {
    auto identity = decodeIdentity(unarchiver);
    if (!identity) return nullptr;
    auto object = std::make_shared<T>(std::move(identity->identifier), identity->type);
    static_cast<ZOLNotification&>(*object).decodeFields(unarchiver);
    return object;
  }

 protected:
  // Reads the keys that follow the identifier and the type; a subclass
  // reads its base's first.
  virtual void decodeFields(platform::KeyedUnarchiver& unarchiver);

 private:
  struct Identity {
    std::string identifier;
    std::uint64_t type;
  };
  static std::optional<Identity> decodeIdentity(platform::KeyedUnarchiver& unarchiver);

  const std::string identifier_;
  std::uint64_t type_;
  platform::Value userInfo_;
};

using ZOLNotificationPtr = std::shared_ptr<ZOLNotification>;

}  // namespace vozi
