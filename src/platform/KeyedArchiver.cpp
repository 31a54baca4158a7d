#include "platform/KeyedArchiver.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "platform/BinaryPropertyListBuilder.h"
#include "platform/CocoaError.h"
#include "platform/ReserveAhead.h"
#include "platform/Utf8.h"

namespace vozi::platform {

// The archive is written straight into a BinaryPropertyListBuilder: every
// archive object ($objects[uid]) becomes one property-list object as soon
// as it is complete, and finishEncoding() adds the frame around them.

namespace {

Error encodeError(const std::string& why) {
  return CocoaError::make(CocoaError::coderInvalidValue, "The object couldn't be archived: " + why);
}

bool isPlainText(std::string_view text) {
  return text.find('\0') == std::string_view::npos && Utf8::isValid(text);
}

constexpr std::uint32_t kPending = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxObjects = 0xFFFFFFFFull;  // references are 32-bit

}  // namespace

KeyedArchiver::KeyedArchiver() : builder_(std::make_unique<BinaryPropertyListBuilder>()) {
  objects_.push_back(builder_->string("$null"));
  scopes_.emplace_back();
}

KeyedArchiver::~KeyedArchiver() = default;

Error KeyedArchiver::nullElementError() { return encodeError("a collection holds a null element"); }

void KeyedArchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

// Keys of the archive's own ("$class") are the only ones starting with "$";
// a caller's key that does gets one more.
KeyedArchiver::Index KeyedArchiver::keyName(std::string_view key) {
  KeyCacheEntry* cached = nullptr;
  if (key.size() <= KeyCacheEntry::kMaxText) {
    cached = &keyCache_[(reinterpret_cast<std::uintptr_t>(key.data()) >> 3) % std::size(keyCache_)];
    if (cached->size == key.size() && std::memcmp(cached->text, key.data(), key.size()) == 0) return cached->name;
  }
  if (!isPlainText(key)) {
    failWithError(encodeError("a key is not UTF-8 without NUL characters"));
    return 0;
  }
  Index name = 0;
  if (!key.empty() && key.front() == '$') {
    std::string escaped = "$";
    escaped.append(key);
    name = builder_->string(escaped);
  } else {
    name = builder_->string(key);
  }
  if (cached) {
    std::memcpy(cached->text, key.data(), key.size());
    cached->size = static_cast<std::uint8_t>(key.size());
    cached->name = name;
  }
  return name;
}

KeyedArchiver::Index KeyedArchiver::ownKey(Index& slot, std::string_view text) {
  if (slot == kNoIndex) slot = builder_->string(text);
  return slot;
}

void KeyedArchiver::setValue(std::string_view key, Index value) {
  if (error_ || finished_) return;
  const Index name = keyName(key);
  if (error_) return;
  Scope& scope = scopes_[depth_ - 1];
  for (std::size_t i = 0; i < scope.keys.size(); ++i) {
    if (scope.keys[i] == name) {  // the same key again: the last value counts
      scope.values[i] = value;
      return;
    }
  }
  scope.keys.push_back(name);
  scope.values.push_back(value);
}

void KeyedArchiver::setReference(std::string_view key, std::uint64_t uid) {
  if (error_) return;
  setValue(key, uidObject(uid));
}

KeyedArchiver::Index KeyedArchiver::uidObject(std::uint64_t uid) { return builder_->uid(static_cast<std::uint32_t>(uid)); }

std::uint64_t KeyedArchiver::appendObject(Index object) {
  if (objects_.size() >= kMaxObjects) {
    failWithError(encodeError("too many objects"));
    return 0;
  }
  objects_.push_back(object);
  return objects_.size() - 1;
}

std::uint64_t KeyedArchiver::foundationInstance(std::uint64_t classUID, std::initializer_list<Index> keys,
                                                std::initializer_list<Index> values) {
  Index allKeys[3], allValues[3];
  allKeys[0] = ownKey(classKey_, "$class");
  allValues[0] = uidObject(classUID);
  std::copy(keys.begin(), keys.end(), allKeys + 1);
  std::copy(values.begin(), values.end(), allValues + 1);
  return appendObject(builder_->dictionary(allKeys, allValues, keys.size() + 1));
}

// --- Values --------------------------------------------------------------------

void KeyedArchiver::encodeBool(std::string_view key, bool value) { setValue(key, builder_->boolean(value)); }

void KeyedArchiver::encodeInt64(std::string_view key, std::int64_t value) { setValue(key, builder_->integer(value)); }

void KeyedArchiver::encodeUInt64(std::string_view key, std::uint64_t value) {
  setValue(key, builder_->integer(static_cast<std::int64_t>(value)));
}

void KeyedArchiver::encodeDouble(std::string_view key, double value) { setValue(key, builder_->real(value)); }

void KeyedArchiver::encode(std::string_view key, std::string_view value) { setReference(key, stringUID(value)); }

void KeyedArchiver::encode(std::string_view key, const std::optional<std::string>& value) {
  setReference(key, value ? stringUID(*value) : 0);
}

void KeyedArchiver::encode(std::string_view key, const Data& value) { setReference(key, dataUID(value)); }

void KeyedArchiver::encode(std::string_view key, const std::optional<Data>& value) {
  setReference(key, value ? dataUID(*value) : 0);
}

void KeyedArchiver::encode(std::string_view key, const std::vector<std::string>& strings) {
  std::vector<std::uint64_t> uids;
  uids.reserve(strings.size());
  for (const auto& s : strings) uids.push_back(stringUID(s));
  setReference(key, collectionUID("NSArray", uids));
}

void KeyedArchiver::encodeDate(std::string_view key, const Date& value) { setReference(key, dateUID(value)); }

void KeyedArchiver::encodeDate(std::string_view key, const std::optional<Date>& value) {
  setReference(key, value ? dateUID(*value) : 0);
}

void KeyedArchiver::encodeURL(std::string_view key, std::string_view url) { setReference(key, urlUID(url)); }

void KeyedArchiver::encodeURL(std::string_view key, const std::optional<std::string>& url) {
  setReference(key, url ? urlUID(*url) : 0);
}

void KeyedArchiver::encodeURLArray(std::string_view key, const std::vector<std::string>& urls) {
  std::vector<std::uint64_t> uids;
  uids.reserve(urls.size());
  for (const auto& url : urls) uids.push_back(urlUID(url));
  setReference(key, collectionUID("NSArray", uids));
}

void KeyedArchiver::encodePropertyList(std::string_view key, const Value& value) {
  setReference(key, propertyListUID(value, depth_));
}

void KeyedArchiver::encodeNull(std::string_view key) { setReference(key, 0); }

// --- Objects -------------------------------------------------------------------

std::uint64_t KeyedArchiver::stringUID(std::string_view text) {
  if (error_) return 0;
  if (!isPlainText(text)) {
    failWithError(encodeError("a string is not UTF-8 without NUL characters"));
    return 0;
  }
  const Index object = builder_->string(text);
  // $objects[0], the "$null" marker, is not in the map: a caller's "$null"
  // string gets a UID of its own and so never reads back as null.
  if (object >= stringUIDs_.size()) stringUIDs_.resize(std::max<std::size_t>(object + 1, stringUIDs_.size() * 2), 0);
  if (stringUIDs_[object] == 0) stringUIDs_[object] = appendObject(object);
  return stringUIDs_[object];
}

std::uint64_t KeyedArchiver::dataUID(const Data& data) {
  if (error_) return 0;
  return appendObject(builder_->data(data.data(), data.size()));
}

std::uint64_t KeyedArchiver::classUID(const std::string& name, const std::vector<std::string>& classes) {
  const auto found = classUIDs_.find(name);
  if (found != classUIDs_.end()) return found->second;
  std::vector<Index> chain;
  chain.reserve(classes.size());
  for (const auto& c : classes) chain.push_back(builder_->string(c));
  const Index keys[] = {builder_->string("$classname"), builder_->string("$classes")};
  const Index values[] = {builder_->string(name), builder_->array(chain)};
  const std::uint64_t uid = appendObject(builder_->dictionary(keys, values, 2));
  classUIDs_.emplace(name, uid);
  return uid;
}

std::uint64_t KeyedArchiver::foundationClassUID(const char* name) {
  return classUID(name, *ArchiveClassRegistry::foundationClassChain(name));
}

std::uint64_t KeyedArchiver::dateUID(const Date& date) {
  if (error_) return 0;
  if (dateClass_ == 0) dateClass_ = foundationClassUID("NSDate");
  return foundationInstance(dateClass_, {ownKey(timeKey_, "NS.time")},
                            {builder_->real(date.timeIntervalSinceReferenceDate())});
}

std::uint64_t KeyedArchiver::urlUID(std::string_view url) {
  if (error_) return 0;
  const std::uint64_t relative = stringUID(url);
  if (error_) return 0;
  if (urlClass_ == 0) urlClass_ = foundationClassUID("NSURL");
  return foundationInstance(urlClass_, {ownKey(baseKey_, "NS.base"), ownKey(relativeKey_, "NS.relative")},
                            {uidObject(0), uidObject(relative)});
}

std::uint64_t KeyedArchiver::collectionUID(const char* className, const std::vector<std::uint64_t>& uids) {
  if (error_) return 0;
  std::vector<Index> items;
  items.reserve(uids.size());
  for (auto uid : uids) items.push_back(uidObject(uid));
  const std::uint64_t cls = foundationClassUID(className);
  return foundationInstance(cls, {ownKey(objectsKey_, "NS.objects")}, {builder_->array(items)});
}

std::uint64_t KeyedArchiver::dictionaryUID(const std::vector<std::pair<std::string_view, std::uint64_t>>& entries,
                                           const char* className) {
  if (error_) return 0;
  std::vector<Index> keys;
  std::vector<Index> values;
  keys.reserve(entries.size());
  values.reserve(entries.size());
  for (const auto& [name, uid] : entries) {
    if (uid == 0) {
      failWithError(encodeError("a dictionary holds a null value"));
      return 0;
    }
    const std::uint64_t key = stringUID(name);
    if (error_) return 0;
    keys.push_back(uidObject(key));
    values.push_back(uidObject(uid));
  }
  const std::uint64_t cls = foundationClassUID(className);
  return foundationInstance(cls, {ownKey(keysKey_, "NS.keys"), ownKey(objectsKey_, "NS.objects")},
                            {builder_->array(keys), builder_->array(values)});
}

std::vector<std::uint64_t> KeyedArchiver::unique(std::vector<std::uint64_t> uids) {
  std::unordered_set<std::uint64_t> seen;
  std::vector<std::uint64_t> kept;
  kept.reserve(uids.size());
  for (auto uid : uids) {
    if (seen.insert(uid).second) kept.push_back(uid);
  }
  return kept;
}

std::uint64_t KeyedArchiver::propertyListUID(const Value& value, std::size_t depth) {
  if (error_) return 0;
  if (depth > kMaxDepth) {
    failWithError(encodeError("values nested too deep"));
    return 0;
  }
  switch (value.type()) {
    case Value::Type::null: return 0;
    case Value::Type::boolean: return appendObject(builder_->boolean(*value.asBool()));
    case Value::Type::integer:
      return appendObject(value.isUnsigned() ? builder_->unsignedInteger(*value.asUInt64())
                                             : builder_->integer(*value.asInt64()));
    case Value::Type::real: return appendObject(builder_->real(*value.asDouble()));
    case Value::Type::string: return stringUID(*value.asString());
    case Value::Type::data: return dataUID(*value.asData());
    case Value::Type::date: return dateUID(*value.asDate());
    case Value::Type::array: {
      std::vector<std::uint64_t> uids;
      uids.reserve(value.asArray()->size());
      for (const Value& item : *value.asArray()) {
        if (item.isNull()) {
          failWithError(nullElementError());
          return 0;
        }
        uids.push_back(propertyListUID(item, depth + 1));
      }
      return collectionUID("NSArray", uids);
    }
    case Value::Type::dictionary: {
      std::vector<std::pair<std::string_view, std::uint64_t>> entries;
      entries.reserve(value.asDictionary()->size());
      for (const auto& [name, item] : *value.asDictionary()) {
        entries.emplace_back(name, propertyListUID(item, depth + 1));
      }
      return dictionaryUID(entries);
    }
  }
  return 0;
}

void KeyedArchiver::expectRecords(std::size_t more) {
  reserveAhead(records_, more);
  reserveAhead(retained_, more);
}

std::uint64_t KeyedArchiver::recordUID(std::shared_ptr<const void> object, std::type_index type) {
  if (error_ || finished_) return 0;
  const void* address = object.get();
  const auto known = records_.find(address);
  if (known != records_.end()) {
    if (known->second.inProgress) {
      failWithError(encodeError("the object graph has a reference cycle"));
      return 0;
    }
    return known->second.uid;
  }

  if (type != lastType_ || !lastClass_.cls) {
    auto cached = classCache_.find(type);
    if (cached == classCache_.end())
      cached = classCache_.emplace(type, ArchivedClass{0, ArchiveClassRegistry::shared().classForType(type)}).first;
    lastType_ = type;
    lastClass_ = cached->second;
  }
  const ArchiveClass* cls = lastClass_.cls;
  if (!cls || cls->name.empty()) {
    failWithError(encodeError(std::string("no archive class is registered for C++ type ") + type.name()));
    return 0;
  }
  if (!cls->encode) {
    failWithError(encodeError("class '" + cls->name + "' has no encoder"));
    return 0;
  }
  if (depth_ > kMaxDepth) {
    failWithError(encodeError("objects nested too deep"));
    return 0;
  }

  const std::uint64_t uid = appendObject(kPending);
  if (error_) return 0;
  // A node's place stays put while the map grows.
  Record& record = records_.emplace(address, Record{uid, true}).first->second;
  retained_.push_back(std::move(object));
  if (lastClass_.uid == 0) {
    lastClass_.uid = classUID(cls->name, cls->classes);
    classCache_.find(type)->second.uid = lastClass_.uid;
  }
  const std::uint64_t classRef = lastClass_.uid;
  // Scopes are kept once made, so their room is reused record after record.
  if (scopes_.size() == depth_) scopes_.emplace_back();
  {
    Scope& scope = scopes_[depth_++];
    scope.keys.assign(1, ownKey(classKey_, "$class"));
    scope.values.assign(1, uidObject(classRef));
  }
  cls->encode(address, *this);
  --depth_;
  const Scope& scope = scopes_[depth_];
  objects_[uid] = builder_->dictionary(scope.keys.data(), scope.values.data(), scope.keys.size());
  record.inProgress = false;
  return uid;
}

// --- Outcome -------------------------------------------------------------------

Result<Data> KeyedArchiver::finishEncoding() {
  if (finished_) return encodeError("the archive was already finished");
  finished_ = true;
  if (error_) return *error_;
  const Index objects = builder_->array(objects_);
  const Scope& top = scopes_.front();  // $top has no "$class"
  const Index topDict = builder_->dictionary(top.keys.data(), top.values.data(), top.keys.size());
  const Index keys[] = {builder_->string("$archiver"), builder_->string("$objects"), builder_->string("$top"),
                        builder_->string("$version")};
  const Index values[] = {builder_->string("NSKeyedArchiver"), objects, topDict, builder_->integer(100000)};
  return builder_->finish(builder_->dictionary(keys, values, 4));
}

Result<Data> KeyedArchiver::archivedPropertyList(const Value& root) {
  KeyedArchiver archiver;
  archiver.encodePropertyList("root", root);
  return archiver.finishEncoding();
}

}  // namespace vozi::platform
