#include "platform/KeyedArchiver.h"

#include <unordered_set>

#include "platform/CocoaError.h"
#include "platform/PropertyList.h"
#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

Error encodeError(const std::string& why) {
  return CocoaError::make(CocoaError::coderInvalidValue, "The object couldn't be archived: " + why);
}

// Keys of the archive's own ("$class") are the only ones starting with "$";
// a caller's key that does gets one more.
std::string escapedKey(std::string_view key) {
  std::string out;
  if (!key.empty() && key.front() == '$') out.push_back('$');
  out.append(key);
  return out;
}

}  // namespace

KeyedArchiver::KeyedArchiver() {
  objects_.emplace_back("$null");
  scopes_.emplace_back();
}

KeyedArchiver::~KeyedArchiver() = default;

Error KeyedArchiver::nullElementError() { return encodeError("a collection holds a null element"); }

void KeyedArchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

void KeyedArchiver::setValue(std::string_view key, Value value) {
  if (error_ || finished_) return;
  scopes_.back().insert_or_assign(escapedKey(key), std::move(value));
}

std::uint64_t KeyedArchiver::appendObject(Value object) {
  objects_.push_back(std::move(object));
  return objects_.size() - 1;
}

void KeyedArchiver::encodeBool(std::string_view key, bool value) { setValue(key, Value(value)); }

void KeyedArchiver::encodeInt64(std::string_view key, std::int64_t value) { setValue(key, Value(value)); }

void KeyedArchiver::encodeUInt64(std::string_view key, std::uint64_t value) {
  setValue(key, Value(static_cast<std::int64_t>(value)));
}

void KeyedArchiver::encodeDouble(std::string_view key, double value) { setValue(key, Value(value)); }

void KeyedArchiver::encode(std::string_view key, std::string_view value) { setValue(key, stringReference(value)); }

void KeyedArchiver::encode(std::string_view key, const std::optional<std::string>& value) {
  setValue(key, value ? stringReference(*value) : Value::uid(0));
}

void KeyedArchiver::encode(std::string_view key, const Data& value) { setValue(key, dataReference(value)); }

void KeyedArchiver::encode(std::string_view key, const std::optional<Data>& value) {
  setValue(key, value ? dataReference(*value) : Value::uid(0));
}

void KeyedArchiver::encode(std::string_view key, const std::vector<std::string>& strings) {
  std::vector<Value> refs;
  refs.reserve(strings.size());
  for (const auto& s : strings) refs.push_back(stringReference(s));
  setValue(key, collection("NSArray", std::move(refs)));
}

void KeyedArchiver::encodeDate(std::string_view key, const Date& value) { setValue(key, dateReference(value)); }

void KeyedArchiver::encodeDate(std::string_view key, const std::optional<Date>& value) {
  setValue(key, value ? dateReference(*value) : Value::uid(0));
}

void KeyedArchiver::encodeURL(std::string_view key, std::string_view url) { setValue(key, urlReference(url)); }

void KeyedArchiver::encodeURL(std::string_view key, const std::optional<std::string>& url) {
  setValue(key, url ? urlReference(*url) : Value::uid(0));
}

void KeyedArchiver::encodeURLArray(std::string_view key, const std::vector<std::string>& urls) {
  std::vector<Value> refs;
  refs.reserve(urls.size());
  for (const auto& url : urls) refs.push_back(urlReference(url));
  setValue(key, collection("NSArray", std::move(refs)));
}

void KeyedArchiver::encodePropertyList(std::string_view key, const Value& value) {
  setValue(key, propertyListReference(value, scopes_.size()));
}

void KeyedArchiver::encodeNull(std::string_view key) { setValue(key, Value::uid(0)); }

Value KeyedArchiver::stringReference(std::string_view text) {
  if (error_) return Value::uid(0);
  if (!Utf8::isValid(text) || text.find('\0') != std::string_view::npos) {
    failWithError(encodeError("a string is not UTF-8 without NUL characters"));
    return Value::uid(0);
  }
  std::string key(text);
  const auto found = strings_.find(key);
  if (found != strings_.end()) return Value::uid(found->second);
  const std::uint64_t uid = appendObject(Value(key));
  strings_.emplace(std::move(key), uid);
  return Value::uid(uid);
}

Value KeyedArchiver::dataReference(const Data& data) {
  if (error_) return Value::uid(0);
  return Value::uid(appendObject(Value(data)));
}

Value KeyedArchiver::foundationClassReference(const char* name) {
  return classReference(name, *ArchiveClassRegistry::foundationClassChain(name));
}

Value KeyedArchiver::classReference(const std::string& name, const std::vector<std::string>& classes) {
  const auto found = classUIDs_.find(name);
  if (found != classUIDs_.end()) return Value::uid(found->second);
  Value::Array chain(classes.begin(), classes.end());
  const std::uint64_t uid =
      appendObject(Value(Value::Dictionary{{"$classname", Value(name)}, {"$classes", Value(std::move(chain))}}));
  classUIDs_.emplace(name, uid);
  return Value::uid(uid);
}

Value KeyedArchiver::dateReference(const Date& date) {
  if (error_) return Value::uid(0);
  Value::Dictionary object{{"$class", foundationClassReference("NSDate")},
                           {"NS.time", Value(date.timeIntervalSinceReferenceDate())}};
  return Value::uid(appendObject(Value(std::move(object))));
}

Value KeyedArchiver::urlReference(std::string_view url) {
  if (error_) return Value::uid(0);
  Value relative = stringReference(url);
  Value::Dictionary object{
      {"$class", foundationClassReference("NSURL")}, {"NS.base", Value::uid(0)}, {"NS.relative", std::move(relative)}};
  return Value::uid(appendObject(Value(std::move(object))));
}

Value KeyedArchiver::collection(const char* className, std::vector<Value> references) {
  if (error_) return Value::uid(0);
  Value::Dictionary object{{"$class", foundationClassReference(className)},
                           {"NS.objects", Value(Value::Array(std::move(references)))}};
  return Value::uid(appendObject(Value(std::move(object))));
}

Value KeyedArchiver::dictionary(std::vector<std::pair<std::string_view, Value>> entries, const char* className) {
  if (error_) return Value::uid(0);
  Value::Array keys;
  Value::Array values;
  keys.reserve(entries.size());
  values.reserve(entries.size());
  for (auto& [name, value] : entries) {
    if (!value.asUID() || *value.asUID() == 0) {
      failWithError(encodeError("a dictionary holds a null value"));
      return Value::uid(0);
    }
    keys.push_back(stringReference(name));
    values.push_back(std::move(value));
  }
  Value::Dictionary object{{"$class", foundationClassReference(className)},
                           {"NS.keys", Value(std::move(keys))},
                           {"NS.objects", Value(std::move(values))}};
  return Value::uid(appendObject(Value(std::move(object))));
}

std::vector<Value> KeyedArchiver::uniqueReferences(std::vector<Value> references) {
  std::unordered_set<std::uint64_t> seen;
  std::vector<Value> unique;
  unique.reserve(references.size());
  for (auto& ref : references) {
    if (seen.insert(ref.asUID().value_or(0)).second) unique.push_back(std::move(ref));
  }
  return unique;
}

Value KeyedArchiver::propertyListReference(const Value& value, std::size_t depth) {
  if (error_) return Value::uid(0);
  if (depth > kMaxDepth) {
    failWithError(encodeError("values nested too deep"));
    return Value::uid(0);
  }
  switch (value.type()) {
    case Value::Type::null: return Value::uid(0);
    case Value::Type::boolean:
    case Value::Type::integer:
    case Value::Type::real: return Value::uid(appendObject(value));
    case Value::Type::string: return stringReference(*value.asString());
    case Value::Type::data: return dataReference(*value.asData());
    case Value::Type::date: return dateReference(*value.asDate());
    case Value::Type::array: {
      std::vector<Value> refs;
      refs.reserve(value.asArray()->size());
      for (const Value& item : *value.asArray()) {
        if (item.isNull()) {
          failWithError(nullElementError());
          return Value::uid(0);
        }
        refs.push_back(propertyListReference(item, depth + 1));
      }
      return collection("NSArray", std::move(refs));
    }
    case Value::Type::dictionary: {
      std::vector<std::pair<std::string_view, Value>> entries;
      for (const auto& [name, item] : *value.asDictionary()) {
        entries.emplace_back(name, propertyListReference(item, depth + 1));
      }
      return dictionary(std::move(entries));
    }
  }
  return Value::uid(0);
}

Value KeyedArchiver::recordReference(std::shared_ptr<const void> object, std::type_index type) {
  if (error_ || finished_) return Value::uid(0);
  const void* address = object.get();
  const auto known = records_.find(address);
  if (known != records_.end()) {
    if (known->second.inProgress) {
      failWithError(encodeError("the object graph has a reference cycle"));
      return Value::uid(0);
    }
    return Value::uid(known->second.uid);
  }

  auto cached = classCache_.find(type);
  if (cached == classCache_.end())
    cached = classCache_.emplace(type, ArchiveClassRegistry::shared().classForType(type)).first;
  const ArchiveClass* cls = cached->second;
  if (!cls) {
    failWithError(encodeError(std::string("no archive class is registered for C++ type ") + type.name()));
    return Value::uid(0);
  }
  if (!cls->encode) {
    failWithError(encodeError("class '" + cls->name + "' has no encoder"));
    return Value::uid(0);
  }
  if (scopes_.size() > kMaxDepth) {
    failWithError(encodeError("objects nested too deep"));
    return Value::uid(0);
  }

  const std::uint64_t uid = appendObject(Value());
  records_.emplace(address, Record{uid, true});
  retained_.push_back(std::move(object));
  Value classRef = classReference(cls->name, cls->classes);
  scopes_.emplace_back();
  scopes_.back().emplace("$class", std::move(classRef));
  cls->encode(address, *this);
  objects_[uid] = Value(std::move(scopes_.back()));
  scopes_.pop_back();
  records_[address].inProgress = false;
  return Value::uid(uid);
}

Result<Data> KeyedArchiver::finishEncoding() {
  if (finished_) return encodeError("the archive was already finished");
  finished_ = true;
  if (error_) return *error_;
  Value::Dictionary root{
      {"$archiver", Value("NSKeyedArchiver")},
      {"$version", Value(100000)},
      {"$top", Value(std::move(scopes_.front()))},
      {"$objects", Value(std::move(objects_))},
  };
  auto bytes = PropertyList::toBinary(Value(std::move(root)));
  if (!bytes) return encodeError(bytes.error().localizedDescription());
  return bytes;
}

Result<Data> KeyedArchiver::archivedPropertyList(const Value& root) {
  KeyedArchiver archiver;
  archiver.encodePropertyList("root", root);
  return archiver.finishEncoding();
}

}  // namespace vozi::platform
