#include "platform/BinaryPropertyListWriter.h"

#include <limits>
#include <vector>

#include "platform/BinaryPropertyListBuilder.h"
#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
using Index = BinaryPropertyListBuilder::Index;

class Encoder {
 public:
  explicit Encoder(std::size_t maxDepth) : maxDepth_(maxDepth) {}

  std::optional<std::string> fault;
  BinaryPropertyListBuilder builder;

  // Children first, so every container refers to objects already added.
  Index add(const Value& value, std::size_t depth) {
    if (fault) return 0;
    switch (value.type()) {
      case Value::Type::null:
        fault = "null is not a property-list value";
        return 0;
      case Value::Type::boolean:
        return builder.boolean(*value.asBool());
      case Value::Type::integer:
        if (value.isUnsigned() && *value.asUInt64() > kInt64Max) return builder.unsignedInteger(*value.asUInt64());
        return builder.integer(*value.asInt64());
      case Value::Type::real:
        return builder.real(*value.asDouble());
      case Value::Type::date:
        return builder.date(value.asDate()->timeIntervalSinceReferenceDate());
      case Value::Type::string:
        return string(*value.asString());
      case Value::Type::data:
        return builder.data(value.asData()->data(), value.asData()->size());
      case Value::Type::array: {
        if (depth >= maxDepth_) return tooDeep();
        std::vector<Index> items;
        items.reserve(value.asArray()->size());
        for (const Value& item : *value.asArray()) items.push_back(add(item, depth + 1));
        return builder.array(items);
      }
      case Value::Type::dictionary: {
        if (auto uid = value.asUID()) {
          if (*uid > 0xFFFFFFFFull) {  // references are 32-bit; readers refuse wider ones
            fault = "an object reference above 2^32-1";
            return 0;
          }
          return builder.uid(static_cast<std::uint32_t>(*uid));
        }
        if (depth >= maxDepth_) return tooDeep();
        const auto& dict = *value.asDictionary();
        std::vector<Index> keys;
        std::vector<Index> values;
        keys.reserve(dict.size());
        values.reserve(dict.size());
        for (const auto& [name, item] : dict) {
          keys.push_back(string(name));
          values.push_back(add(item, depth + 1));
        }
        return builder.dictionary(keys.data(), values.data(), keys.size());
      }
    }
    fault = "unknown value type";
    return 0;
  }

 private:
  Index string(const std::string& text) {
    if (text.find('\0') != std::string::npos || !Utf8::isValid(text)) {
      fault = "a string or key is not UTF-8 without NUL characters";
      return 0;
    }
    return builder.string(text);
  }

  Index tooDeep() {
    fault = "containers nested too deep";
    return 0;
  }

  std::size_t maxDepth_;
};

}  // namespace

std::optional<std::string> BinaryPropertyListWriter::write(const Value& value, std::size_t maxDepth, Data& out) {
  Encoder encoder(maxDepth);
  const Index top = encoder.add(value, 0);
  if (encoder.fault) return encoder.fault;
  out = encoder.builder.finish(top);
  return std::nullopt;
}

}  // namespace vozi::platform
