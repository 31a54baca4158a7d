#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// Every record of the item-group tree: leaf items and groups alike. Records
// are shared (a copied group holds the same children as its source), so they
// travel as std::shared_ptr.
class IModelItem {
 public:
  virtual ~IModelItem() = default;

  // Absent where the record cannot derive one (an empty duplicate set, an
  // application record without its bundle URL).
  virtual std::optional<std::string> identifier() const = 0;
  virtual std::optional<std::string> name() const = 0;
  // Bytes.
  virtual std::uint64_t size() const = 0;

  // A new record of the same class.
  virtual std::shared_ptr<IModelItem> copy() const = 0;

  // Equality and hash as the item containers use them. Records compare by
  // identity unless their class says otherwise (file items compare by path).
  virtual bool isEqual(const IModelItem& other) const { return this == &other; }
  virtual std::size_t hash() const { return std::hash<const void*>{}(this); }

  // The class name recorded in archives and printed in descriptions.
  virtual std::string_view className() const = 0;
  // A debug description for log lines.
  virtual std::string description() const = 0;

  // Writes the record's archive keys, its base class's first.
  virtual void encode(platform::KeyedArchiver& archiver) const = 0;
};

using ModelItemPtr = std::shared_ptr<IModelItem>;

}  // namespace vozi
