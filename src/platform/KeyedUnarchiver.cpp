#include "platform/KeyedUnarchiver.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "platform/CocoaError.h"
#include "platform/PropertyList.h"
#include "platform/ReserveAhead.h"

namespace vozi::platform {

namespace {

std::string escapedKey(std::string_view key) {
  std::string out;
  if (!key.empty() && key.front() == '$') out.push_back('$');
  out.append(key);
  return out;
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  for (auto n : names) {
    if (n == name) return true;
  }
  return false;
}

std::string listed(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// Each element reference a decode resolves costs one unit, and so does each
// string or data copied (one per 64 bytes). A sound archive needs at least
// a byte per reference and holds its text, so twice its size (plus slack
// for decoders that read a key twice) bounds the work; an archive whose
// shared collections or strings would make decoding blow up runs out.
constexpr std::uint64_t kBudgetSlack = 1u << 16;

}  // namespace

KeyedUnarchiver::KeyedUnarchiver(const Data& archive)
    : KeyedUnarchiver(std::string_view(reinterpret_cast<const char*>(archive.data()), archive.size())) {}

KeyedUnarchiver::KeyedUnarchiver(std::string_view archive) { open(archive); }

KeyedUnarchiver::~KeyedUnarchiver() = default;

KeyedUnarchiver::KeyedUnarchiver(Value propertyList, std::size_t archiveSize) {
  setBudgets(archiveSize);
  openValue(std::move(propertyList));
}

void KeyedUnarchiver::setBudgets(std::size_t archiveSize) {
  budget_ = 2 * static_cast<std::uint64_t>(archiveSize) + kBudgetSlack;
  walkLimit_ = recordBudgetFor(archiveSize);
}

void KeyedUnarchiver::open(std::string_view archive) {
  setBudgets(archive.size());
  if (archive.size() >= 8 && archive.substr(0, 8) == "bplist00")
    openBinary(archive);
  else
    openXML(archive);
}

void KeyedUnarchiver::checkNull() {
  if (error_) return;
  auto first = objectCount_ == 0 ? nullptr : object(0);
  if (!first || !first->asString() || *first->asString() != "$null")
    fail("the archive's \"$objects\" do not start with \"$null\"");
}

bool KeyedUnarchiver::checkFrame(const Value* archiver, const Value* version, const Value* top) {
  if (!archiver || !archiver->asString() || *archiver->asString() != "NSKeyedArchiver") {
    fail("the archive has no \"$archiver\" of \"NSKeyedArchiver\"");
    return false;
  }
  if (!version || !version->isInteger() || version->asInt64() != 100000) {
    fail("the archive's \"$version\" is not 100000");
    return false;
  }
  if (!top || !top->isDictionary()) {
    fail("the archive has no \"$top\" dictionary");
    return false;
  }
  return true;
}

// Only the frame is read here; the objects are fetched as decoders ask.
void KeyedUnarchiver::openBinary(std::string_view archive) {
  auto unreadable = [this](const Error& error) {
    fail("the archive is not a readable property list (" + error.localizedDescription() + ")");
  };
  auto reader = BinaryPropertyListReader::open(archive, PropertyList::kMaxDepth);
  if (!reader) return unreadable(reader.error());
  reader_ = std::move(*reader);
  readBudget_ = BinaryPropertyListReader::budgetFor(archive.size());
  auto entries = reader_->dictionaryEntries(reader_->topObject());
  if (!entries) return unreadable(entries.error());
  std::optional<Value> archiver, version, top;
  bool haveObjects = false;
  for (const auto& [name, ref] : *entries) {
    std::optional<Value>* slot = name == "$archiver" ? &archiver : name == "$version" ? &version : name == "$top" ? &top : nullptr;
    if (slot) {
      auto value = reader_->value(ref, readBudget_);
      if (!value) return unreadable(value.error());
      *slot = std::move(*value);
    } else if (name == "$objects") {
      auto refs = reader_->arrayElements(ref);
      if (!refs) return unreadable(refs.error());
      objectRefs_ = std::move(*refs);
      haveObjects = true;
    }
  }
  if (!checkFrame(archiver ? &*archiver : nullptr, version ? &*version : nullptr, top ? &*top : nullptr)) return;
  if (!haveObjects) {
    fail("the archive has no \"$objects\" array");
    return;
  }
  objectCount_ = objectRefs_.size();
  auto held = std::make_shared<const Value>(std::move(*top));
  scopes_.push_back(Scope{held->asDictionary(), held, {}});
  checkNull();
}

void KeyedUnarchiver::openXML(std::string_view archive) {
  auto parsed = PropertyList::fromAny(archive);
  if (!parsed) {
    fail("the archive is not a readable property list (" + parsed.error().localizedDescription() + ")");
    return;
  }
  openValue(std::move(*parsed));
}

void KeyedUnarchiver::openValue(Value propertyList) {
  root_ = std::move(propertyList);
  const Value* top = root_.find("$top");
  if (!checkFrame(root_.find("$archiver"), root_.find("$version"), top)) return;
  const Value* objects = root_.find("$objects");
  if (!objects || !objects->isArray()) {
    fail("the archive has no \"$objects\" array");
    return;
  }
  objects_ = objects->asArray();
  objectCount_ = objects_->size();
  scopes_.push_back(Scope{top->asDictionary(), nullptr, {}});
  checkNull();
}

KeyedUnarchiver::Held KeyedUnarchiver::object(std::uint64_t uid) {
  if (error_ || uid >= objectCount_) return nullptr;
  if (!reader_) return Held(Held(), &(*objects_)[uid]);  // owned by root_
  if (const auto kept = longObjects_.find(uid); kept != longObjects_.end()) return kept->second;
  auto value = reader_->value(objectRefs_[uid], readBudget_);
  if (!value) {
    fail("object " + std::to_string(uid) + " cannot be read (" + value.error().localizedDescription() + ")");
    return nullptr;
  }
  Held held = std::make_shared<const Value>(std::move(*value));
  const std::size_t length = held->asString() ? held->asString()->size() : held->asData() ? held->asData()->size() : 0;
  if (length >= kLongObject) longObjects_.emplace(uid, held);
  return held;
}

bool KeyedUnarchiver::walk(std::uint64_t records) {
  if (records > walkLimit_ - walked_) {
    fail("the archive's records would make a tree of more than " + std::to_string(walkLimit_) +
         " records for an archive of its size");
    return false;
  }
  walked_ += records;
  return true;
}

void KeyedUnarchiver::fail(const std::string& description) {
  if (!error_)
    error_ = CocoaError::make(CocoaError::coderReadCorrupt,
                              "The data couldn't be read because it isn't in the correct format: " + description + ".");
}

void KeyedUnarchiver::failForKey(std::string_view key, const std::string& problem) {
  fail("the value for key '" + std::string(key) + "' " + problem);
}

void KeyedUnarchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

bool KeyedUnarchiver::spend(std::uint64_t units) {
  if (units > budget_) {
    fail("decoding the archive would take more work than its size allows");
    return false;
  }
  budget_ -= units;
  return true;
}

// A copied string or data costs a unit per 64 bytes, so one long string
// shared by many records cannot be copied without limit.
bool KeyedUnarchiver::chargeRead(std::uint64_t cost) {
  if (cost > readBudget_) return false;
  readBudget_ -= cost;
  return true;
}

bool KeyedUnarchiver::spendBytes(std::size_t bytes) { return spend(1 + bytes / 64); }

std::optional<Error> KeyedUnarchiver::finish(bool found) {
  if (error_) return error_;
  if (!found)
    return CocoaError::make(CocoaError::coderValueNotFound, "The data couldn't be read because it is missing.");
  return std::nullopt;
}

const Value* KeyedUnarchiver::lookup(std::string_view key) {
  if (error_ || scopes_.empty()) return nullptr;
  const Scope& scope = scopes_.back();
  if (!scope.dict) {
    const auto ref = scope.binary.findKey(key);
    if (!ref) return nullptr;
    auto value = reader_->value(*ref, readBudget_);
    if (!value) {
      failForKey(key, "cannot be read (" + value.error().localizedDescription() + ")");
      return nullptr;
    }
    fetched_ = std::move(*value);
    return &fetched_;
  }
  const auto it = scope.dict->find(escapedKey(key));
  return it == scope.dict->end() ? nullptr : &it->second;
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const {
  if (error_ || scopes_.empty()) return false;
  const Scope& scope = scopes_.back();
  if (!scope.dict) return scope.binary.findKey(key).has_value();
  return scope.dict->find(escapedKey(key)) != scope.dict->end();
}

// --- Values --------------------------------------------------------------------

bool KeyedUnarchiver::decodeBoolForKey(std::string_view key) {
  const Value* v = lookup(key);
  if (!v) return false;
  if (auto b = v->asBool()) return *b;
  if (v->isNumber()) return *v->asDouble() != 0;
  failForKey(key, "is not a boolean");
  return false;
}

std::int64_t KeyedUnarchiver::decodeInt64ForKey(std::string_view key) {
  const Value* v = lookup(key);
  if (!v) return 0;
  if (auto b = v->asBool()) return *b ? 1 : 0;
  if (v->isNumber()) {
    if (auto i = v->asInt64()) return *i;
    failForKey(key, "does not fit a 64-bit integer");
    return 0;
  }
  failForKey(key, "is not an integer");
  return 0;
}

std::uint64_t KeyedUnarchiver::decodeUInt64ForKey(std::string_view key) {
  const Value* v = lookup(key);
  if (!v) return 0;
  if (auto b = v->asBool()) return *b ? 1 : 0;
  if (v->isInteger()) {
    if (v->isUnsigned()) return *v->asUInt64();
    return static_cast<std::uint64_t>(*v->asInt64());  // the stored bits
  }
  if (v->isReal()) {
    if (auto u = v->asUInt64()) return *u;
    failForKey(key, "does not fit an unsigned 64-bit integer");
    return 0;
  }
  failForKey(key, "is not an integer");
  return 0;
}

double KeyedUnarchiver::decodeDoubleForKey(std::string_view key) {
  const Value* v = lookup(key);
  if (!v) return 0;
  if (auto b = v->asBool()) return *b ? 1 : 0;
  if (auto d = v->asDouble()) return *d;
  failForKey(key, "is not a number");
  return 0;
}

// --- Objects -------------------------------------------------------------------

std::optional<std::uint64_t> KeyedUnarchiver::referenceForKey(std::string_view key) {
  // A binary record's reference is read as it is; anything else is read
  // whole below, which reports what it is.
  if (!error_ && !scopes_.empty() && !scopes_.back().dict) {
    const auto ref = scopes_.back().binary.findKey(key);
    if (!ref) return std::nullopt;
    if (const auto uid = reader_->referenceValue(*ref); uid && *uid < objectCount_) return *uid;
  }
  const Value* v = lookup(key);
  if (!v) return std::nullopt;
  const auto uid = v->asUID();
  if (!uid) {
    failForKey(key, "is not an object reference");
    return std::nullopt;
  }
  if (*uid >= objectCount_) {
    failForKey(key, "refers to an object that does not exist");
    return std::nullopt;
  }
  return uid;
}

// The name of the class description at classUID, checked once and kept:
// a dictionary of exactly a "$classname" string and a "$classes" array of
// strings (and optionally "$classhints"), which no instance is.
const std::string* KeyedUnarchiver::className(std::uint64_t classUID) {
  if (const auto known = classNames_.find(classUID); known != classNames_.end()) return &known->second;
  const Held description = object(classUID);
  if (!description) return nullptr;
  const Value::Dictionary* fields = description->asDictionary();
  const Value* name = description->find("$classname");
  const Value* chain = description->find("$classes");
  bool sound = fields && name && name->asString() && chain && chain->asArray();
  if (sound) {
    for (const Value& link : *chain->asArray()) sound = sound && link.asString();
    for (const auto& [key, field] : *fields) sound = sound && (key == "$classname" || key == "$classes" || key == "$classhints");
  }
  if (!sound) {
    fail("object " + std::to_string(classUID) + " is not a valid class description");
    return nullptr;
  }
  return &classNames_.emplace(classUID, *name->asString()).first->second;
}

KeyedUnarchiver::Instance KeyedUnarchiver::instance(std::uint64_t uid) {
  Instance found;
  found.held = object(uid);
  if (!found.held) return {};
  const Value* classRef = found.held->find("$class");
  const auto classUID = classRef ? classRef->asUID() : std::nullopt;
  if (!classUID || *classUID >= objectCount_ || *classUID == uid) {
    fail("object " + std::to_string(uid) + " is not an object with a class");
    return {};
  }
  const std::string* name = className(*classUID);
  if (!name) return {};
  found.fields = found.held->asDictionary();
  found.className = *name;
  return found;
}

std::optional<std::vector<std::uint64_t>> KeyedUnarchiver::references(const Value::Dictionary& object,
                                                                      const char* key) {
  const auto it = object.find(key);
  const Value::Array* items = it == object.end() ? nullptr : it->second.asArray();
  if (!items) {
    fail(std::string("a collection has no \"") + key + "\" array");
    return std::nullopt;
  }
  if (!spend(items->size())) return std::nullopt;
  std::vector<std::uint64_t> uids;
  uids.reserve(items->size());
  for (const Value& item : *items) {
    const auto uid = item.asUID();
    if (!uid || *uid >= objectCount_) {
      fail(std::string("a collection's \"") + key + "\" holds something other than a valid reference");
      return std::nullopt;
    }
    uids.push_back(*uid);
  }
  return uids;
}

std::optional<std::string> KeyedUnarchiver::stringAt(std::uint64_t uid) {
  // A short string of a binary archive is read straight into its copy; a
  // long one takes the road below, which keeps it for other references.
  if (reader_ && !error_ && uid != 0 && uid < objectCount_) {
    if (auto text = reader_->stringValue(objectRefs_[uid], kLongObject - 1)) {
      if (chargeRead(BinaryPropertyListReader::kNodeCost + text->size())) {
        if (!spendBytes(text->size())) return std::nullopt;
        return std::move(*text);
      }
    }
  }
  const Held candidate = object(uid);
  if (!candidate) return std::nullopt;
  if (uid != 0) {
    if (const std::string* text = candidate->asString()) return spendBytes(text->size()) ? std::optional(*text) : std::nullopt;
  }
  if (candidate->isDictionary()) {
    const Instance found = instance(uid);
    if (!found) return std::nullopt;
    if (isOneOf(found.className, {"NSString", "NSMutableString"})) {
      const auto it = found.fields->find("NS.string");
      if (it != found.fields->end() && it->second.asString()) {
        if (!spendBytes(it->second.asString()->size())) return std::nullopt;
        return *it->second.asString();
      }
    }
  }
  fail("object " + std::to_string(uid) + " is not a string");
  return std::nullopt;
}

std::optional<std::string> KeyedUnarchiver::decodeStringForKey(std::string_view key) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  return stringAt(*uid);
}

std::optional<Data> KeyedUnarchiver::decodeDataForKey(std::string_view key) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  const Held candidate = object(*uid);
  if (!candidate) return std::nullopt;
  if (const Data* data = candidate->asData()) return spendBytes(data->size()) ? std::optional(*data) : std::nullopt;
  if (candidate->isDictionary()) {
    const Instance found = instance(*uid);
    if (!found) return std::nullopt;
    if (isOneOf(found.className, {"NSData", "NSMutableData"})) {
      const auto it = found.fields->find("NS.data");
      if (it != found.fields->end() && it->second.asData()) {
        if (!spendBytes(it->second.asData()->size())) return std::nullopt;
        return *it->second.asData();
      }
    }
  }
  failForKey(key, "is not data");
  return std::nullopt;
}

std::optional<Date> KeyedUnarchiver::dateAt(std::uint64_t uid) {
  // The common form straight from a binary archive: "$class" and an
  // "NS.time" number, nothing else. Any other takes the general road.
  if (const auto fields = binaryFields(uid, 2); fields && *fields->className == "NSDate" && fields->entries.size() == 2)
    if (const auto time = fields->find("NS.time")) {
      // A number costs one node; anything larger is not one, and is left
      // to the general road and its budget.
      std::uint64_t budget = 4 * BinaryPropertyListReader::kNodeCost;
      if (const auto value = reader_->value(*time, budget); value && value->isNumber()) return Date(*value->asDouble());
    }
  const Instance found = instance(uid);
  if (!found) return std::nullopt;
  if (found.className != "NSDate") {
    fail("object " + std::to_string(uid) + " is a '" + std::string(found.className) + "', not a date");
    return std::nullopt;
  }
  const auto it = found.fields->find("NS.time");
  if (it == found.fields->end() || !it->second.isNumber()) {
    fail("a date has no \"NS.time\" number");
    return std::nullopt;
  }
  return Date(*it->second.asDouble());
}

std::optional<Date> KeyedUnarchiver::decodeDateForKey(std::string_view key) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  return dateAt(*uid);
}

std::optional<std::string> KeyedUnarchiver::urlAt(std::uint64_t uid) {
  // The common form straight from a binary archive: "$class", a string
  // reference "NS.relative" and, if there, an "NS.base" of 0, nothing else.
  // Any other takes the general road, which reports what is wrong.
  if (const auto fields = binaryFields(uid, 3); fields && *fields->className == "NSURL") {
    const auto base = fields->find("NS.base"), relative = fields->find("NS.relative");
    const auto baseUID = base ? reader_->referenceValue(*base) : Result<std::uint64_t>(std::uint64_t{0});
    const auto relativeUID = relative ? reader_->referenceValue(*relative) : Result<std::uint64_t>(Error());
    if (fields->entries.size() == (base ? 3u : 2u) && baseUID && *baseUID == 0 && relativeUID && *relativeUID != 0 &&
        *relativeUID < objectCount_)
      return stringAt(*relativeUID);
  }
  const Instance found = instance(uid);
  if (!found) return std::nullopt;
  if (found.className != "NSURL") {
    fail("object " + std::to_string(uid) + " is a '" + std::string(found.className) + "', not a URL");
    return std::nullopt;
  }
  const auto base = found.fields->find("NS.base");
  if (base != found.fields->end() && base->second.asUID() != 0u) {
    fail("a URL is relative to another URL, which is not supported");
    return std::nullopt;
  }
  const auto relative = found.fields->find("NS.relative");
  const auto relativeUID = relative == found.fields->end() ? std::nullopt : relative->second.asUID();
  if (!relativeUID || *relativeUID == 0 || *relativeUID >= objectCount_) {
    fail("a URL has no valid \"NS.relative\" string");
    return std::nullopt;
  }
  return stringAt(*relativeUID);
}

std::optional<std::string> KeyedUnarchiver::decodeURLForKey(std::string_view key) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  return urlAt(*uid);
}

std::optional<std::vector<std::string>> KeyedUnarchiver::decodeURLArrayForKey(std::string_view key) {
  const auto uids = collectionForKey(key, {"NSArray", "NSMutableArray"});
  if (!uids) return std::nullopt;
  std::vector<std::string> urls;
  urls.reserve(uids->size());
  for (auto uid : *uids) {
    auto url = uid == 0 ? std::nullopt : urlAt(uid);
    if (!url) {
      failForKey(key, "holds something other than a URL");
      return std::nullopt;
    }
    urls.push_back(std::move(*url));
  }
  return urls;
}

bool KeyedUnarchiver::isCollectionAskedFor(std::string_view key, std::string_view className,
                                           std::initializer_list<std::string_view> classNames) {
  if (isOneOf(className, classNames)) return true;
  failForKey(key, "is a '" + std::string(className) + "', not the collection asked for");
  return false;
}

std::optional<std::vector<std::uint64_t>> KeyedUnarchiver::collectionForKey(
    std::string_view key, std::initializer_list<std::string_view> classNames) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  if (reader_) {
    if (auto read = binaryCollection(*uid, key, classNames)) return std::move(*read);
  }
  const Instance found = instance(*uid);
  if (!found || !isCollectionAskedFor(key, found.className, classNames)) return std::nullopt;
  return references(*found.fields, "NS.objects");
}

std::optional<std::uint64_t> KeyedUnarchiver::BinaryFields::find(std::string_view key) const {
  for (const auto& [name, ref] : entries)
    if (name == key) return ref;
  return std::nullopt;
}

std::optional<std::uint64_t> KeyedUnarchiver::BinaryFields::findKey(std::string_view key) const {
  if (key.empty() || key.front() != '$') return find(key);
  for (const auto& [name, ref] : entries)
    if (name.size() == key.size() + 1 && name.front() == '$' && std::string_view(name).substr(1) == key) return ref;
  return std::nullopt;
}

// An object read one level from a binary archive: its class name and the
// references of its fields, without building it as a Value (a dictionary
// for every reference it holds). None, to let the general path read it and
// report what is wrong, unless it is a sound object with a class of at
// most `maxEntries` entries.
std::optional<KeyedUnarchiver::BinaryFields> KeyedUnarchiver::binaryFields(std::uint64_t uid,
                                                                           std::uint64_t maxEntries) {
  if (!reader_ || error_ || uid >= objectCount_) return std::nullopt;
  auto references = reader_->dictionaryReferences(objectRefs_[uid], maxEntries);
  if (!references) return std::nullopt;
  BinaryFields fields;
  fields.entries.reserve(references->size());
  // Keys are kept once per text, so a repeated key is a repeated address.
  constexpr std::size_t kPairwise = 16;
  std::unordered_set<const char*> names;
  for (const auto& [keyRef, valueRef] : *references) {
    const std::string* name = keyText(keyRef);
    if (!name) return std::nullopt;
    const bool twice = references->size() <= kPairwise
                           ? std::any_of(fields.entries.begin(), fields.entries.end(),
                                         [&](const auto& earlier) { return earlier.first.data() == name->data(); })
                           : !names.insert(name->data()).second;
    if (twice) return std::nullopt;
    fields.entries.emplace_back(*name, valueRef);
  }
  const auto classRef = fields.find("$class");
  const auto classUID = classRef ? reader_->referenceValue(*classRef) : Result<std::uint64_t>(Error());
  if (!classUID || *classUID >= objectCount_ || *classUID == uid) return std::nullopt;
  fields.className = className(*classUID);
  if (!fields.className) return std::nullopt;
  return fields;
}

const std::string* KeyedUnarchiver::keyText(std::uint64_t ref) {
  KnownKey& known = knownKeys_[ref % std::size(knownKeys_)];
  if (known.ref == ref) return known.text;
  auto text = reader_->stringValue(ref, std::numeric_limits<std::uint64_t>::max());
  if (!text) return nullptr;
  if (!chargeRead(BinaryPropertyListReader::kNodeCost + text->size())) return nullptr;
  known = KnownKey{ref, &*keys_.insert(std::move(*text)).first};
  return known.text;
}

// A collection read straight from a binary archive: its class and its
// element references (a 100,000-item scan's array would otherwise take a
// dictionary per element). Answers nothing, to let the general path read it
// and report what is wrong, unless the object is a sound collection or a
// sound object of another class.
std::optional<std::optional<std::vector<std::uint64_t>>> KeyedUnarchiver::binaryCollection(
    std::uint64_t uid, std::string_view key, std::initializer_list<std::string_view> classNames) {
  // A collection has "$class" and "NS.objects"; a larger object goes the
  // general road, whose reads are counted against the archive's budget.
  const auto fields = binaryFields(uid, 4);
  if (!fields) return std::nullopt;
  if (!isCollectionAskedFor(key, *fields->className, classNames)) return std::optional<std::vector<std::uint64_t>>();
  const auto objectsRef = fields->find("NS.objects");
  const auto elements = objectsRef ? reader_->arrayElements(*objectsRef) : Result<std::vector<std::uint64_t>>(Error());
  if (!elements) return std::nullopt;
  if (!spend(elements->size())) return std::optional<std::vector<std::uint64_t>>();
  std::vector<std::uint64_t> uids;
  uids.reserve(elements->size());
  for (const std::uint64_t element : *elements) {
    const auto reference = reader_->referenceValue(element);
    if (!reference || *reference >= objectCount_) return std::nullopt;
    uids.push_back(*reference);
  }
  return uids;
}

std::optional<std::vector<std::string>> KeyedUnarchiver::decodeStringArrayForKey(std::string_view key) {
  const auto uids = collectionForKey(key, {"NSArray", "NSMutableArray"});
  if (!uids) return std::nullopt;
  std::vector<std::string> strings;
  strings.reserve(uids->size());
  for (auto uid : *uids) {
    auto text = stringAt(uid);
    if (!text) return std::nullopt;
    strings.push_back(std::move(*text));
  }
  return strings;
}

std::optional<Value> KeyedUnarchiver::decodePropertyListForKey(std::string_view key) {
  const auto uid = referenceForKey(key);
  if (!uid) return std::nullopt;
  auto value = propertyListAt(*uid, scopes_.size());
  if (!value || value->isNull()) return std::nullopt;
  return value;
}

std::optional<Value> KeyedUnarchiver::propertyListAt(std::uint64_t uid, std::size_t depth) {
  if (error_) return std::nullopt;
  if (uid == 0) return Value();
  if (depth > kMaxDepth) {
    fail("values nested too deep");
    return std::nullopt;
  }
  // A number or string asked for under a key is the decoder's own typed
  // read; inside a free-form value every class must be on the graph list.
  const bool nested = depth > scopes_.size();
  // A binary archive's number is read as it is, without keeping it; any
  // other object takes the road below.
  if (reader_ && uid < objectCount_) {
    constexpr std::uint64_t kScalarBudget = 4 * BinaryPropertyListReader::kNodeCost;
    std::uint64_t budget = kScalarBudget;
    auto scalar = reader_->value(objectRefs_[uid], budget);
    if (scalar && (scalar->isNumber() || scalar->isBool()) && chargeRead(kScalarBudget - budget)) {
      if (nested && !valueClassAllowed("NSNumber")) return std::nullopt;
      return std::move(*scalar);
    }
  }
  const Held candidate = object(uid);
  if (!candidate) return std::nullopt;
  switch (candidate->type()) {
    case Value::Type::boolean:
    case Value::Type::integer:
    case Value::Type::real:
      if (nested && !valueClassAllowed("NSNumber")) return std::nullopt;
      return *candidate;
    case Value::Type::string:
      if (nested && !valueClassAllowed("NSString")) return std::nullopt;
      if (!spendBytes(candidate->asString()->size())) return std::nullopt;
      return *candidate;
    case Value::Type::data:
      if (!valueClassAllowed("NSData")) return std::nullopt;
      if (!spendBytes(candidate->asData()->size())) return std::nullopt;
      return *candidate;
    case Value::Type::dictionary: break;
    default:
      fail("object " + std::to_string(uid) + " is not a property-list value");
      return std::nullopt;
  }
  const Instance found = instance(uid);
  if (!found) return std::nullopt;
  const std::string_view className = found.className;
  const Value::Dictionary* dict = found.fields;
  const bool plainText = isOneOf(className, {"NSString", "NSMutableString"});
  if ((nested || !plainText) && !valueClassAllowed(className)) return std::nullopt;
  if (className == "NSDate") return dateAt(uid);
  if (plainText) return stringAt(uid);
  if (isOneOf(className, {"NSData", "NSMutableData"})) {
    const auto it = dict->find("NS.data");
    if (it != dict->end() && it->second.isData()) {
      if (!spendBytes(it->second.asData()->size())) return std::nullopt;
      return it->second;
    }
    fail("a data object has no \"NS.data\"");
    return std::nullopt;
  }
  const bool isArray = isOneOf(className, {"NSArray", "NSMutableArray", "NSOrderedSet", "NSMutableOrderedSet"});
  const bool isDictionary = isOneOf(className, {"NSDictionary", "NSMutableDictionary"});
  if (!isArray && !isDictionary) {
    fail("class '" + std::string(className) + "' is not a property-list class");
    return std::nullopt;
  }
  if (!inPropertyList_.insert(uid).second) {
    fail("the archive has a reference cycle");
    return std::nullopt;
  }
  std::optional<Value> result;
  if (auto values = references(*dict, "NS.objects")) {
    if (isArray) {
      Value::Array array;
      array.reserve(values->size());
      for (auto item : *values) {
        auto v = item == 0 ? std::nullopt : propertyListAt(item, depth + 1);
        if (!v) {
          fail("an array holds an invalid element");
          break;
        }
        array.push_back(std::move(*v));
      }
      if (!error_) result = Value(std::move(array));
    } else if (auto keys = references(*dict, "NS.keys")) {
      if (keys->size() != values->size()) {
        fail("a dictionary's keys and values differ in number");
      } else {
        Value::Dictionary out;
        for (std::size_t i = 0; i < keys->size() && !error_; ++i) {
          auto name = stringAt((*keys)[i]);
          auto v = (*values)[i] == 0 ? std::nullopt : propertyListAt((*values)[i], depth + 1);
          if (!name || !v) {
            fail("a dictionary holds an invalid entry");
            break;
          }
          out.insert_or_assign(std::move(*name), std::move(*v));
        }
        if (!error_) result = Value(std::move(out));
      }
    }
  }
  inPropertyList_.erase(uid);
  return result;
}

// The graph list bounds free-form values as it bounds records: a
// Foundation class passes when it or one of its superclasses is listed.
bool KeyedUnarchiver::valueClassAllowed(std::string_view className) {
  if (graphAllowed_.empty()) return true;
  const auto* chain = ArchiveClassRegistry::foundationClassChain(className);
  const bool allowed = chain ? std::any_of(chain->begin(), chain->end(), [&](const std::string& name) {
    return graphAllowed_.contains(name);
  })
                             : graphAllowed_.contains(className) || graphAllowed_.contains("NSObject");
  if (!allowed)
    fail("an object of class '" + std::string(className) + "' is not allowed in this archive (allowed: " +
         listed(graphAllowed_.names()) + ")");
  return allowed;
}

// --- Records -------------------------------------------------------------------

std::shared_ptr<void> KeyedUnarchiver::decodeRecord(std::uint64_t uid, std::type_index target,
                                                    const AllowedClasses& allowed, const ArchiveClass** passed) {
  if (error_ || uid == 0) return nullptr;
  const ArchiveClass* cls = nullptr;
  const auto known = decoded_.find(uid);
  // A binary archive's record is read one level deep, its values as its
  // decoder asks; anything else (or a record that is not sound that way)
  // is read whole, which reports what is wrong.
  Scope scope;
  if (known != decoded_.end()) {
    if (known->second.state == Decoded::State::inProgress) {
      fail("the archive has a reference cycle");
      return nullptr;
    }
    cls = known->second.cls;
  } else {
    std::string_view className;
    if (auto fields = binaryFields(uid, std::numeric_limits<std::uint64_t>::max())) {
      scope.binary = std::move(*fields);
      className = *scope.binary.className;
    } else {
      Instance found = instance(uid);
      if (!found) return nullptr;
      scope.dict = found.fields;
      scope.holder = std::move(found.held);
      className = found.className;
    }
    auto named = classesByName_.find(className);
    if (named == classesByName_.end())
      named = classesByName_.emplace(std::string(className), ArchiveClassRegistry::shared().classNamed(className)).first;
    cls = named->second;
    if (!cls) {
      fail("class '" + std::string(className) + "' is not known");
      return nullptr;
    }
  }

  // Secure decoding: the class, by this process's own superclass chain,
  // must be allowed, and it must be the C++ type asked for.
  auto byType = classesByType_.find(target);
  if (byType == classesByType_.end())
    byType = classesByType_.emplace(target, ArchiveClassRegistry::shared().classForType(target)).first;
  const ArchiveClass* requested = byType->second;
  if (passed && *passed == cls) return finishRecord(uid, cls, known, target, std::move(scope));
  bool permitted = false;
  if (allowed.empty()) {
    permitted = requested && !requested->name.empty() && cls->isKindOf(requested->name);
  } else {
    for (const auto& name : allowed.names()) permitted = permitted || cls->isKindOf(name);
  }
  if (!permitted) {
    fail("an object of class '" + cls->name + "' is not allowed here (allowed: " +
         (allowed.empty() ? (requested && !requested->name.empty() ? requested->name : std::string("none given"))
                          : listed(allowed.names())) +
         ")");
    return nullptr;
  }
  if (!graphAllowed_.empty()) {
    bool inGraph = false;
    for (const auto& name : graphAllowed_.names()) inGraph = inGraph || cls->isKindOf(name);
    if (!inGraph) {
      fail("an object of class '" + cls->name + "' is not allowed in this archive (allowed: " +
           listed(graphAllowed_.names()) + ")");
      return nullptr;
    }
  }
  const bool castable = std::any_of(cls->upcasts.begin(), cls->upcasts.end(),
                                    [&](const auto& entry) { return entry.first == target; });
  if (!castable) {
    fail("an object of class '" + cls->name + "' is not of the type asked for");
    return nullptr;
  }
  if (passed) *passed = cls;
  return finishRecord(uid, cls, known, target, std::move(scope));
}

// The record at uid, of a class let through: the one decoded before, or
// decoded now from `scope`.
std::shared_ptr<void> KeyedUnarchiver::finishRecord(std::uint64_t uid, const ArchiveClass* cls,
                                                    std::unordered_map<std::uint64_t, Decoded>::iterator known,
                                                    std::type_index target, Scope scope) {
  if (known != decoded_.end()) {
    // A shared record: a tree walk visits its whole subtree again here.
    if (!walk(known->second.walked)) return nullptr;
    return cls->upcast(known->second.object, target);
  }

  if (!cls->decode) {
    fail("class '" + cls->name + "' cannot be instantiated");
    return nullptr;
  }
  if (scopes_.size() > kMaxDepth) {
    fail("objects nested too deep");
    return nullptr;
  }
  const std::uint64_t walkedBefore = walked_;
  if (!walk(1)) return nullptr;
  // A node keeps its place while the map grows under the decoder.
  Decoded& entry = decoded_.insert_or_assign(uid, Decoded{Decoded::State::inProgress, nullptr, cls, 0}).first->second;
  scopes_.push_back(std::move(scope));
  std::shared_ptr<void> object = cls->decode(*this);
  scopes_.pop_back();
  if (error_) return nullptr;
  if (!object) {
    fail("the decoder of class '" + cls->name + "' produced nothing");
    return nullptr;
  }
  entry = Decoded{Decoded::State::done, object, cls, walked_ - walkedBefore};
  return cls->upcast(object, target);
}

std::shared_ptr<void> KeyedUnarchiver::decodeRecordForKey(std::string_view key, std::type_index target,
                                                          const AllowedClasses& allowed) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return nullptr;
  return decodeRecord(*uid, target, allowed);
}

KeyedUnarchiver::Records KeyedUnarchiver::decodeRecordsForKey(std::string_view key, Collection kind,
                                                              std::type_index target, const AllowedClasses& allowed) {
  const auto uids = kind == Collection::array ? collectionForKey(key, {"NSArray", "NSMutableArray"})
                                              : collectionForKey(key, {"NSOrderedSet", "NSMutableOrderedSet"});
  if (!uids) return std::nullopt;
  std::vector<std::shared_ptr<void>> objects;
  objects.reserve(uids->size());
  // Room for the records at once rather than rehashing as they come.
  reserveAhead(decoded_, uids->size());
  std::unordered_set<std::uint64_t> seen;
  const ArchiveClass* passed = nullptr;
  for (auto uid : *uids) {
    if (uid == 0) {
      failForKey(key, "holds a null element");
      return std::nullopt;
    }
    if (kind == Collection::orderedSet && !seen.insert(uid).second) continue;
    auto object = decodeRecord(uid, target, allowed, &passed);
    if (!object) return std::nullopt;
    objects.push_back(std::move(object));
  }
  return objects;
}

std::optional<std::vector<std::pair<std::string, std::shared_ptr<void>>>> KeyedUnarchiver::decodeRecordDictionaryForKey(
    std::string_view key, std::type_index target, const AllowedClasses& allowed) {
  const auto uid = referenceForKey(key);
  if (!uid || *uid == 0) return std::nullopt;
  const Instance found = instance(*uid);
  if (!found) return std::nullopt;
  if (!isOneOf(found.className, {"NSDictionary", "NSMutableDictionary"})) {
    failForKey(key, "is a '" + std::string(found.className) + "', not a dictionary");
    return std::nullopt;
  }
  const auto keys = references(*found.fields, "NS.keys");
  const auto values = keys ? references(*found.fields, "NS.objects") : std::nullopt;
  if (!keys || !values) return std::nullopt;
  if (keys->size() != values->size()) {
    failForKey(key, "is a dictionary whose keys and values differ in number");
    return std::nullopt;
  }
  std::vector<std::pair<std::string, std::shared_ptr<void>>> entries;
  entries.reserve(keys->size());
  for (std::size_t i = 0; i < keys->size(); ++i) {
    auto name = (*keys)[i] == 0 ? std::nullopt : stringAt((*keys)[i]);
    if (!name) {
      failForKey(key, "is a dictionary with a key that is not a string");
      return std::nullopt;
    }
    if ((*values)[i] == 0) {
      failForKey(key, "is a dictionary holding a null value");
      return std::nullopt;
    }
    auto object = decodeRecord((*values)[i], target, allowed);
    if (!object) return std::nullopt;
    entries.emplace_back(std::move(*name), std::move(object));
  }
  return entries;
}

Result<Value> KeyedUnarchiver::unarchivedPropertyList(const Data& archive) {
  KeyedUnarchiver unarchiver(archive);
  auto root = unarchiver.decodePropertyListForKey("root");
  if (auto failure = unarchiver.finish(root.has_value())) return *failure;
  return std::move(*root);
}

}  // namespace vozi::platform
