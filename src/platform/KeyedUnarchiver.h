#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/AllowedClasses.h"
#include "platform/ArchiveClassRegistry.h"
#include "platform/BinaryPropertyListReader.h"
#include "platform/Date.h"
#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads a keyed archive (see KeyedArchiver) securely: every record class
// must be registered and allowed by the caller, the archive's own claims
// about classes are not trusted, and any fault makes the whole decode fail.
//
//   static const AllowedClasses kAllowed{"ItemGroup"};
//   Result<std::shared_ptr<ItemGroup>> group =
//       KeyedUnarchiver::unarchivedObject<ItemGroup>(bytes, kAllowed);
//
// Inside a record's decoding constructor the same calls read its keys:
//
//   FileItemGroup::FileItemGroup(KeyedUnarchiver& u) : ItemGroup(u) {
//     size_ = u.decodeUInt64ForKey("size");
//     name_ = u.decodeStringForKey("name").value_or("");
//     modified_ = u.decodeDateForKey("modified");
//     children_ = u.decodeArrayForKey<ItemGroup>("children", kAllowed).value_or({});
//     if (size_ > limit) u.failWithError(...);    // refuse the whole archive
//   }
//
// A missing key (or $null) reads as absent, 0 or false. A value of the
// wrong kind, a UID out of range, a reference cycle, records nested deeper
// than kMaxDepth, a class that is unknown or not allowed (for collections:
// any element's class) record an error: the first error is kept, later
// calls return empty values, and the top-level calls below return the
// error, never a partly decoded object. Integers and reals convert into
// each other where the value fits; booleans read from numbers too.
//
// A binary archive is read object by object as decoders ask (see
// BinaryPropertyListReader: each fetch is checked and its expanded size
// taken from one budget for the whole archive); an XML archive is read
// whole first. Every object's "$class" must refer to a class description
// (a dictionary of a "$classname" string and a "$classes" array of
// strings, never the object itself).
//
// Records may be shared (the archiver writes a repeated record once), but
// the decoded graph is walked by its users as a tree: every record counts
// once per path from the root, a shared record with its whole subtree
// again at each reference, and a decode that would walk more than
// recordBudgetFor(archive size) records fails. No record graph decoded
// here makes a tree walk visit more records than that.
class KeyedUnarchiver {
 public:
  static constexpr std::size_t kMaxDepth = 512;
  // Records a tree walk may visit: one per byte of the archive (a record
  // takes several) plus kRecordSlack.
  static constexpr std::uint64_t kRecordSlack = 1u << 16;
  static std::uint64_t recordBudgetFor(std::size_t archiveSize) {
    return static_cast<std::uint64_t>(archiveSize) + kRecordSlack;
  }

  // Opens the archive (binary or XML property list) and checks its frame;
  // error() tells whether that worked. The bytes of a binary archive are
  // read as decoding goes on: they must outlive the unarchiver.
  explicit KeyedUnarchiver(const Data& archive);
  explicit KeyedUnarchiver(std::string_view archive);
  KeyedUnarchiver(Data&& archive) = delete;  // the bytes would be gone before decoding
  // Decodes a keyed archive already read as a property list; the budgets
  // are those of an archive of archiveSize bytes.
  KeyedUnarchiver(Value propertyList, std::size_t archiveSize);
  ~KeyedUnarchiver();
  KeyedUnarchiver(const KeyedUnarchiver&) = delete;
  KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

  // --- Values stored in the current record ---------------------------------
  bool containsValueForKey(std::string_view key) const;
  bool decodeBoolForKey(std::string_view key);
  std::int64_t decodeInt64ForKey(std::string_view key);
  // The stored integer's 64 bits as unsigned (see KeyedArchiver::encodeUInt64).
  std::uint64_t decodeUInt64ForKey(std::string_view key);
  double decodeDoubleForKey(std::string_view key);

  // --- Foundation objects ----------------------------------------------------
  std::optional<std::string> decodeStringForKey(std::string_view key);
  std::optional<Data> decodeDataForKey(std::string_view key);
  std::optional<Date> decodeDateForKey(std::string_view key);
  // The URL's relative string as stored.
  std::optional<std::string> decodeURLForKey(std::string_view key);
  // An NSArray of NSURL objects, as their relative strings.
  std::optional<std::vector<std::string>> decodeURLArrayForKey(std::string_view key);
  std::optional<std::vector<std::string>> decodeStringArrayForKey(std::string_view key);
  // Arrays, dictionaries (string keys), ordered sets (as arrays), strings,
  // numbers, data, dates and $null, as a Value.
  std::optional<Value> decodePropertyListForKey(std::string_view key);

  // --- Records ---------------------------------------------------------------
  // Null when the key is missing or holds $null. `allowed` empty: T's class.
  template <class T>
  std::shared_ptr<T> decodeObjectForKey(std::string_view key, const AllowedClasses& allowed = {}) {
    return std::static_pointer_cast<T>(decodeRecordForKey(key, std::type_index(typeid(T)), allowed));
  }
  // Accepts "NSArray" and "NSMutableArray"; every element must be allowed.
  template <class T>
  std::optional<std::vector<std::shared_ptr<T>>> decodeArrayForKey(std::string_view key,
                                                                   const AllowedClasses& allowed = {}) {
    return castAll<T>(decodeRecordsForKey(key, Collection::array, std::type_index(typeid(T)), allowed));
  }
  // Accepts "NSOrderedSet" and "NSMutableOrderedSet"; a repeated element is kept once.
  template <class T>
  std::optional<std::vector<std::shared_ptr<T>>> decodeOrderedSetForKey(std::string_view key,
                                                                        const AllowedClasses& allowed = {}) {
    return castAll<T>(decodeRecordsForKey(key, Collection::orderedSet, std::type_index(typeid(T)), allowed));
  }
  // Accepts "NSDictionary" and "NSMutableDictionary" with string keys.
  template <class T>
  std::optional<std::map<std::string, std::shared_ptr<T>>> decodeDictionaryForKey(std::string_view key,
                                                                                   const AllowedClasses& allowed = {}) {
    auto entries = decodeRecordDictionaryForKey(key, std::type_index(typeid(T)), allowed);
    if (!entries) return std::nullopt;
    std::map<std::string, std::shared_ptr<T>> result;
    for (auto& [name, object] : *entries) result.insert_or_assign(std::move(name), std::static_pointer_cast<T>(object));
    return result;
  }

  // Classes that every record of the archive must belong to, whatever each
  // decoder allows for its own keys: the list a receiver sets on a whole
  // argument, nested records included. Free-form values read with
  // decodePropertyListForKey are bounded too: a collection, date or data and
  // every value inside a collection must be of a listed Foundation class
  // ("NSDictionary", "NSArray", "NSString", "NSNumber", "NSDate", "NSData",
  // or a superclass of its own); a number or string read on its own under a
  // key is the decoder's typed read and passes. Empty (the default): each
  // decode call's own list alone decides.
  void setAllowedClassesForGraph(AllowedClasses allowed) { graphAllowed_ = std::move(allowed); }

  // --- Outcome ---------------------------------------------------------------
  // Records a failure (for a decoder that finds a value it cannot accept).
  void failWithError(Error error);
  const std::optional<Error>& error() const { return error_; }
  // Records counted so far as a tree walk would visit them.
  std::uint64_t recordsWalked() const { return walked_; }

  // The record under "root", of an allowed class; an error when the archive
  // is faulty in any way or the root is missing.
  template <class T>
  static Result<std::shared_ptr<T>> unarchivedObject(const Data& archive, const AllowedClasses& allowed = {}) {
    KeyedUnarchiver unarchiver(archive);
    auto root = unarchiver.decodeObjectForKey<T>("root", allowed);
    if (auto failure = unarchiver.finish(root != nullptr)) return *failure;
    return root;
  }
  template <class T>
  static Result<std::vector<std::shared_ptr<T>>> unarchivedArray(const Data& archive,
                                                                 const AllowedClasses& allowed = {}) {
    KeyedUnarchiver unarchiver(archive);
    auto root = unarchiver.decodeArrayForKey<T>("root", allowed);
    if (auto failure = unarchiver.finish(root.has_value())) return *failure;
    return std::move(*root);
  }
  // As above, with `allowed` bounding every record of the graph as well
  // (see setAllowedClassesForGraph).
  template <class T>
  static Result<std::shared_ptr<T>> unarchivedObjectWithinClasses(const Data& archive, const AllowedClasses& allowed) {
    KeyedUnarchiver unarchiver(archive);
    unarchiver.setAllowedClassesForGraph(allowed);
    auto root = unarchiver.decodeObjectForKey<T>("root", allowed);
    if (auto failure = unarchiver.finish(root != nullptr)) return *failure;
    return root;
  }
  template <class T>
  static Result<std::vector<std::shared_ptr<T>>> unarchivedArrayWithinClasses(const Data& archive,
                                                                              const AllowedClasses& allowed) {
    KeyedUnarchiver unarchiver(archive);
    unarchiver.setAllowedClassesForGraph(allowed);
    auto root = unarchiver.decodeArrayForKey<T>("root", allowed);
    if (auto failure = unarchiver.finish(root.has_value())) return *failure;
    return std::move(*root);
  }
  static Result<Value> unarchivedPropertyList(const Data& archive);

 private:
  enum class Collection { array, orderedSet };
  using Records = std::optional<std::vector<std::shared_ptr<void>>>;

  template <class T>
  static std::optional<std::vector<std::shared_ptr<T>>> castAll(Records records) {
    if (!records) return std::nullopt;
    std::vector<std::shared_ptr<T>> result;
    result.reserve(records->size());
    for (auto& object : *records) result.push_back(std::static_pointer_cast<T>(std::move(object)));
    return result;
  }

  using Held = std::shared_ptr<const Value>;
  struct BinaryFields {
    const std::string* className = nullptr;
    // Key (its text kept by the unarchiver), object reference.
    std::vector<std::pair<std::string_view, std::uint64_t>> entries;
    std::optional<std::uint64_t> find(std::string_view key) const;
    // A caller's key, escaped as the archiver stored it.
    std::optional<std::uint64_t> findKey(std::string_view key) const;
  };
  // The fields of the record being decoded: a dictionary read whole (XML
  // archives and $top) or, in a binary archive, the keys and references read
  // one level deep, each value read when a decoder asks for it.
  struct Scope {
    const Value::Dictionary* dict = nullptr;
    Held holder;  // keeps `dict` alive
    BinaryFields binary;  // when `dict` is null
  };
  struct Instance {
    Held held;  // keeps `fields` alive
    const Value::Dictionary* fields = nullptr;
    std::string_view className;
    explicit operator bool() const { return fields != nullptr; }
  };

  void open(std::string_view archive);
  void openBinary(std::string_view archive);
  void openXML(std::string_view archive);
  void openValue(Value propertyList);
  void setBudgets(std::size_t archiveSize);
  void checkNull();
  bool checkFrame(const Value* archiver, const Value* version, const Value* top);
  // The object at `uid` of "$objects"; null after recording an error.
  Held object(std::uint64_t uid);
  const std::string* className(std::uint64_t classUID);
  bool walk(std::uint64_t records);
  std::optional<Error> finish(bool found);
  bool spend(std::uint64_t units);
  bool spendBytes(std::size_t bytes);
  // Takes `cost` from the archive's read budget, for an object read straight
  // from the bytes; false, taking nothing, when not that much is left.
  bool chargeRead(std::uint64_t cost);
  // The value under the key in the current record; valid until the next lookup.
  const Value* lookup(std::string_view key);
  std::optional<std::uint64_t> referenceForKey(std::string_view key);
  Instance instance(std::uint64_t uid);
  std::optional<std::vector<std::uint64_t>> references(const Value::Dictionary& object, const char* key);
  std::optional<std::vector<std::uint64_t>> collectionForKey(std::string_view key,
                                                             std::initializer_list<std::string_view> classNames);
  // True when className is one of classNames; else records the error.
  bool isCollectionAskedFor(std::string_view key, std::string_view className,
                            std::initializer_list<std::string_view> classNames);
  std::optional<BinaryFields> binaryFields(std::uint64_t uid, std::uint64_t maxEntries);
  // The text of the dictionary key at object-table index `ref`, read once
  // and kept; null when it is not a string or the read budget is spent.
  const std::string* keyText(std::uint64_t ref);
  std::optional<std::optional<std::vector<std::uint64_t>>> binaryCollection(
      std::uint64_t uid, std::string_view key, std::initializer_list<std::string_view> classNames);
  std::optional<std::string> stringAt(std::uint64_t uid);
  std::optional<Date> dateAt(std::uint64_t uid);
  std::optional<std::string> urlAt(std::uint64_t uid);
  std::optional<Value> propertyListAt(std::uint64_t uid, std::size_t depth);
  bool valueClassAllowed(std::string_view className);
  std::shared_ptr<void> decodeRecordForKey(std::string_view key, std::type_index target, const AllowedClasses& allowed);
  Records decodeRecordsForKey(std::string_view key, Collection kind, std::type_index target, const AllowedClasses& allowed);
  std::optional<std::vector<std::pair<std::string, std::shared_ptr<void>>>> decodeRecordDictionaryForKey(
      std::string_view key, std::type_index target, const AllowedClasses& allowed);
  // `passed`, when given, is the last class this call site let through for
  // the same target and list: it is let through again without the checks.
  std::shared_ptr<void> decodeRecord(std::uint64_t uid, std::type_index target, const AllowedClasses& allowed,
                                     const ArchiveClass** passed = nullptr);
  struct Decoded;
  std::shared_ptr<void> finishRecord(std::uint64_t uid, const ArchiveClass* cls,
                                     std::unordered_map<std::uint64_t, Decoded>::iterator known, std::type_index target,
                                     Scope scope);
  void fail(const std::string& description);
  void failForKey(std::string_view key, const std::string& problem);

  struct Decoded {
    enum class State { inProgress, done } state;
    std::shared_ptr<void> object;  // points at the record's own class
    const ArchiveClass* cls;
    std::uint64_t walked;  // records in its subtree, as a tree walk counts them
  };

  Value root_;                                   // XML archives: the whole property list
  const Value::Array* objects_ = nullptr;        // XML archives: its "$objects"
  std::optional<BinaryPropertyListReader> reader_;  // binary archives
  std::vector<std::uint64_t> objectRefs_;        // binary archives: "$objects" as object-table indices
  std::size_t objectCount_ = 0;
  std::uint64_t readBudget_ = 0;                 // bytes binary fetches may still expand to
  std::unordered_map<std::uint64_t, std::string> classNames_;  // checked class descriptions by uid
  // Long strings and data are kept once fetched: a string shared by many
  // records is then decoded once and only copied at each reference (the
  // copies are paid from budget_). Short ones are cheaper to fetch again
  // than to keep.
  static constexpr std::size_t kLongObject = 1024;
  std::unordered_map<std::uint64_t, Held> longObjects_;
  std::vector<Scope> scopes_;  // [0] is $top; the back is the record being decoded
  Value fetched_;              // a binary record's field, as lookup() last read it
  // Dictionary keys read so far, each text once; the few recent ones are
  // found by their object without hashing.
  std::unordered_set<std::string> keys_;
  struct KnownKey {
    std::uint64_t ref = std::numeric_limits<std::uint64_t>::max();
    const std::string* text = nullptr;
  };
  KnownKey knownKeys_[64];
  std::uint64_t walked_ = 0;
  std::uint64_t walkLimit_ = 0;
  std::unordered_map<std::uint64_t, Decoded> decoded_;
  std::map<std::string, const ArchiveClass*, std::less<>> classesByName_;  // registry answers, cached
  std::unordered_map<std::type_index, const ArchiveClass*> classesByType_;
  std::unordered_set<std::uint64_t> inPropertyList_;  // collections on the current property-list path
  std::uint64_t budget_ = 0;                          // element references left to resolve
  AllowedClasses graphAllowed_;
  std::optional<Error> error_;
};

}  // namespace vozi::platform
