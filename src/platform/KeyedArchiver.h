#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "platform/ArchiveClassRegistry.h"
#include "platform/Date.h"
#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

class BinaryPropertyListBuilder;

// Writes an object graph as a keyed archive: a binary property list with
// "$archiver" = "NSKeyedArchiver", "$version" = 100000, "$top" holding the
// root keys and "$objects" holding every object ("$null" first), objects
// referring to each other and to their class descriptions by UID.
//
//   KeyedArchiver archiver;
//   archiver.encodeObject("root", group);          // a registered record
//   Result<Data> bytes = archiver.finishEncoding();
//
// or simply KeyedArchiver::archivedData(group). Inside a record's encoder
// the same calls write the record's own keys:
//
//   void FileItemGroup::encode(KeyedArchiver& a) const {
//     ItemGroup::encode(a);                       // base keys first
//     a.encode("size", size_);                    // uint64_t: bits kept, see encodeUInt64
//     a.encode("name", name_);                    // std::string
//     a.encode("note", note_);                    // std::optional<std::string>
//     a.encodeDate("modified", modified_);
//     a.encodeURL("url", path_);
//     a.encodeArray("children", children_);       // std::vector<std::shared_ptr<ItemGroup>>
//   }
//
// Numbers and booleans are stored in the record itself; strings and data as
// plain property-list objects; dates, URLs, arrays, dictionaries and
// ordered sets as the Foundation classes "NSDate" ("NS.time"), "NSURL"
// ("NS.base", "NS.relative"), "NSArray"/"NSMutableArray" ("NS.objects"),
// "NSDictionary" ("NS.keys", "NS.objects") and "NSOrderedSet"
// ("NS.objects"). A record reached twice (the same object by address) is
// written once and referred to twice. Keys starting with "$" are written
// with one more "$" so they cannot clash with the archive's own keys.
//
// Failures (an unregistered class, a reference cycle, nesting deeper than
// kMaxDepth, a string that is not UTF-8, an encoder's failWithError) are
// collected: the first one is kept, later calls do nothing, and
// finishEncoding() returns it.
class KeyedArchiver {
 public:
  static constexpr std::size_t kMaxDepth = 512;

  KeyedArchiver();
  ~KeyedArchiver();
  KeyedArchiver(const KeyedArchiver&) = delete;
  KeyedArchiver& operator=(const KeyedArchiver&) = delete;

  // --- Values stored in the current record ---------------------------------
  void encodeBool(std::string_view key, bool value);
  void encodeInt64(std::string_view key, std::int64_t value);
  // Stores the 64 bits as a signed integer, so any value (sizes above
  // INT64_MAX included) comes back from decodeUInt64ForKey unchanged.
  void encodeUInt64(std::string_view key, std::uint64_t value);
  void encodeDouble(std::string_view key, double value);

  void encode(std::string_view key, bool value) { encodeBool(key, value); }
  void encode(std::string_view key, double value) { encodeDouble(key, value); }
  // Every integer type: unsigned 64-bit ones keep their bits (encodeUInt64),
  // the rest are stored as signed 64-bit integers.
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  void encode(std::string_view key, I value) {
    if constexpr (std::is_unsigned_v<I> && sizeof(I) >= sizeof(std::uint64_t))
      encodeUInt64(key, static_cast<std::uint64_t>(value));
    else
      encodeInt64(key, static_cast<std::int64_t>(value));
  }

  // --- Objects, referred to by UID; absent optionals are written as $null --
  void encode(std::string_view key, std::string_view value);
  void encode(std::string_view key, const std::string& value) { encode(key, std::string_view(value)); }
  void encode(std::string_view key, const char* value) { encode(key, std::string_view(value)); }
  void encode(std::string_view key, const std::optional<std::string>& value);
  void encode(std::string_view key, const Data& value);
  void encode(std::string_view key, const std::optional<Data>& value);
  void encode(std::string_view key, const std::vector<std::string>& strings);  // an NSArray of strings
  void encode(std::string_view key, const Date& value) { encodeDate(key, value); }
  void encodeDate(std::string_view key, const Date& value);
  void encodeDate(std::string_view key, const std::optional<Date>& value);
  // An NSURL whose relative string is `url` as given (a path or a URL string).
  void encodeURL(std::string_view key, std::string_view url);
  void encodeURL(std::string_view key, const std::string& url) { encodeURL(key, std::string_view(url)); }
  void encodeURL(std::string_view key, const char* url) { encodeURL(key, std::string_view(url)); }
  void encodeURL(std::string_view key, const std::optional<std::string>& url);
  // An NSArray of NSURL objects.
  void encodeURLArray(std::string_view key, const std::vector<std::string>& urls);
  // A property-list Value as Foundation objects: dictionaries as
  // NSDictionary, arrays as NSArray, dates as NSDate, null as $null,
  // strings, numbers and data as themselves.
  void encodePropertyList(std::string_view key, const Value& value);
  // $null under the key.
  void encodeNull(std::string_view key);

  // --- Records (registered classes) ----------------------------------------
  template <class T>
  void encodeObject(std::string_view key, const std::shared_ptr<T>& object) {
    setReference(key, uidFor(object));
  }
  // Elements must not be null.
  template <class T>
  void encodeArray(std::string_view key, const std::vector<std::shared_ptr<T>>& objects, bool mutableArray = false) {
    setReference(key, collectionUID(mutableArray ? "NSMutableArray" : "NSArray", uidsFor(objects)));
  }
  // In order; a repeated object is kept once, at its first place.
  // "NSMutableOrderedSet" when `mutableSet`.
  template <class T>
  void encodeOrderedSet(std::string_view key, const std::vector<std::shared_ptr<T>>& objects,
                        bool mutableSet = false) {
    setReference(key, collectionUID(mutableSet ? "NSMutableOrderedSet" : "NSOrderedSet", unique(uidsFor(objects))));
  }
  // Any map or sequence of (string key, shared_ptr<T>) pairs.
  // "NSMutableDictionary" when `mutableDictionary`.
  template <class Map>
  void encodeDictionary(std::string_view key, const Map& objects, bool mutableDictionary = false) {
    std::vector<std::pair<std::string_view, std::uint64_t>> entries;
    for (const auto& [name, object] : objects) entries.emplace_back(name, uidFor(object));
    setReference(key, dictionaryUID(entries, mutableDictionary ? "NSMutableDictionary" : "NSDictionary"));
  }

  // The UID an object has or gets in this archive (0 for null).
  template <class T>
  std::uint64_t uidFor(const std::shared_ptr<T>& object) {
    if (!object) return 0;
    const void* address = nullptr;
    if constexpr (std::is_polymorphic_v<T>)
      address = dynamic_cast<const void*>(object.get());
    else
      address = static_cast<const void*>(object.get());
    // The archiver keeps every object alive until it is destroyed, so an
    // address is never reused for another object during one archive.
    return recordUID(std::shared_ptr<const void>(object, address), std::type_index(typeid(*object)));
  }

  // --- Outcome ---------------------------------------------------------------
  // Records a failure; the archive will not be produced.
  void failWithError(Error error);
  const std::optional<Error>& error() const { return error_; }
  // The archive's bytes, or the first failure. Call once, after encoding.
  Result<Data> finishEncoding();

  // An archive with `root` under "root".
  template <class T>
  static Result<Data> archivedData(const std::shared_ptr<T>& root) {
    KeyedArchiver archiver;
    archiver.encodeObject("root", root);
    return archiver.finishEncoding();
  }
  template <class T>
  static Result<Data> archivedArray(const std::vector<std::shared_ptr<T>>& roots) {
    KeyedArchiver archiver;
    archiver.encodeArray("root", roots);
    return archiver.finishEncoding();
  }
  static Result<Data> archivedPropertyList(const Value& root);

 private:
  using Index = std::uint32_t;  // an object of the property list being built

  template <class T>
  std::vector<std::uint64_t> uidsFor(const std::vector<std::shared_ptr<T>>& objects) {
    std::vector<std::uint64_t> uids;
    uids.reserve(objects.size());
    expectRecords(objects.size());
    for (const auto& object : objects) {
      if (!object) failWithError(nullElementError());
      uids.push_back(uidFor(object));
    }
    return uids;
  }

  // Makes room for `more` records at once, rather than rehashing as a large
  // collection's records come in.
  void expectRecords(std::size_t more);
  static Error nullElementError();
  void setValue(std::string_view key, Index value);
  void setReference(std::string_view key, std::uint64_t uid);
  Index uidObject(std::uint64_t uid);
  std::uint64_t appendObject(Index object);
  std::uint64_t recordUID(std::shared_ptr<const void> object, std::type_index type);
  std::uint64_t collectionUID(const char* className, const std::vector<std::uint64_t>& uids);
  std::uint64_t dictionaryUID(const std::vector<std::pair<std::string_view, std::uint64_t>>& entries,
                              const char* className = "NSDictionary");
  static std::vector<std::uint64_t> unique(std::vector<std::uint64_t> uids);
  std::uint64_t stringUID(std::string_view text);
  std::uint64_t dataUID(const Data& data);
  std::uint64_t dateUID(const Date& date);
  std::uint64_t urlUID(std::string_view url);
  std::uint64_t propertyListUID(const Value& value, std::size_t depth);
  std::uint64_t classUID(const std::string& name, const std::vector<std::string>& classes);
  std::uint64_t foundationClassUID(const char* name);

  struct Record {
    std::uint64_t uid;
    bool inProgress;
  };
  // The keys and values of $top or of an instance being written. An
  // instance's first entry is its "$class", filled in when it is complete.
  struct Scope {
    std::vector<Index> keys;
    std::vector<Index> values;
  };
  // A key seen before, found again without hashing or checking its text:
  // records write the same few keys for every object. The text is kept,
  // so a caller's buffer that now holds another key does not match.
  struct KeyCacheEntry {
    static constexpr std::size_t kMaxText = 22;
    char text[kMaxText];
    std::uint8_t size = 0xFF;  // 0xFF: empty
    Index name = 0;
  };
  struct ArchivedClass {
    std::uint64_t uid;
    const ArchiveClass* cls;
  };
  static constexpr Index kNoIndex = 0xFFFFFFFF;

  Index keyName(std::string_view key);
  // The string object of one of the archive's own keys ("$class", "NS.time"...).
  Index ownKey(Index& slot, std::string_view text);
  // An instance of the class with the archive's own keys and their values.
  std::uint64_t foundationInstance(std::uint64_t classUID, std::initializer_list<Index> keys,
                                   std::initializer_list<Index> values);

  std::unique_ptr<BinaryPropertyListBuilder> builder_;
  std::vector<Index> objects_;  // by archive UID: the property-list object written for it
  std::vector<Scope> scopes_;   // [0] is $top, [depth_ - 1] the record being encoded; kept for reuse
  std::size_t depth_ = 1;
  std::unordered_map<const void*, Record> records_;
  std::vector<std::shared_ptr<const void>> retained_;
  std::vector<std::uint64_t> stringUIDs_;  // by string object's index; 0 when it has none yet
  std::unordered_map<std::string, std::uint64_t> classUIDs_;
  std::unordered_map<std::type_index, ArchivedClass> classCache_;
  std::type_index lastType_ = typeid(void);  // the last record's type, looked up without hashing
  ArchivedClass lastClass_{0, nullptr};
  KeyCacheEntry keyCache_[32];
  Index classKey_ = kNoIndex, timeKey_ = kNoIndex, baseKey_ = kNoIndex, relativeKey_ = kNoIndex,
        objectsKey_ = kNoIndex, keysKey_ = kNoIndex;
  std::uint64_t dateClass_ = 0, urlClass_ = 0;
  std::optional<Error> error_;
  bool finished_ = false;
};

}  // namespace vozi::platform
