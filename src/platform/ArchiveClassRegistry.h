#pragma once

#include <concepts>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vozi::platform {

class KeyedArchiver;
class KeyedUnarchiver;

// What the keyed archive knows of one record class: its archive name, its
// superclass chain and how to encode and decode it.
struct ArchiveClass {
  using Upcast = std::function<std::shared_ptr<void>(const std::shared_ptr<void>&)>;

  std::string name;                  // written as "$classname"; empty for an interface
  std::vector<std::string> classes;  // name, superclass names..., "NSObject"; written as "$classes"
  std::type_index type;
  // Writes the keys of the object `object` points at (a T).
  std::function<void(const void* object, KeyedArchiver&)> encode;
  // Makes a T from the current object's keys; null for a class that cannot
  // be instantiated (an abstract base).
  std::function<std::shared_ptr<void>(KeyedUnarchiver&)> decode;
  // From a pointer to a T to a pointer to T or one of its registered bases.
  std::vector<std::pair<std::type_index, Upcast>> upcasts;

  // True when this class or one of its superclasses has the name.
  bool isKindOf(std::string_view className) const;
  // A pointer to `object` (a T) as the registered C++ type `target`, or null
  // when `target` is neither T nor one of its registered bases.
  std::shared_ptr<void> upcast(const std::shared_ptr<void>& object, std::type_index target) const;
};

// Record classes known to keyed archives, process-wide.
//
// A layer registers its classes once before archiving them, base classes
// first (registration is idempotent, so an `ensureRegistered()` function
// called on first use works well; static initialisers in a static library
// may never run):
//
//   auto& registry = ArchiveClassRegistry::shared();
//   registry.registerClass<ItemGroup>("ItemGroup");             // uses members
//   registry.registerClass<FileItemGroup, ItemGroup>("FileItemGroup");
//   registry.registerAbstractClass<Shape>("Shape");              // no instances
//   registry.registerInterface<IModelItem>();                    // a C++ base only
//
// With only a name, T needs `void encode(KeyedArchiver&) const` (virtual in
// a hierarchy; a subclass calls its base's encode first) and a constructor
// `T(KeyedUnarchiver&)` (a subclass passes the unarchiver to its base's
// constructor). Or give the two functions explicitly; a null decoder marks
// an abstract class. The archive's superclass chain is T's name followed
// by Base's chain, ending in "NSObject".
//
// Records are held by std::shared_ptr. Class hierarchies must be
// polymorphic (a virtual destructor suffices) so that an object archived
// through a base pointer is archived as its real class.
class ArchiveClassRegistry {
 public:
  template <class T>
  using Encoder = std::function<void(const T&, KeyedArchiver&)>;
  template <class T>
  using Decoder = std::function<std::shared_ptr<T>(KeyedUnarchiver&)>;

  static ArchiveClassRegistry& shared();

  // False when the name belongs to another type or to a Foundation class,
  // when T is registered under another name, or when Base is not registered.
  // Registering the same T under the same name again changes nothing.
  template <class T, class Base = void>
  bool registerClass(std::string name, Encoder<T> encode, Decoder<T> decode);

  template <class T, class Base = void>
    requires requires(const T& object, KeyedArchiver& archiver, KeyedUnarchiver& unarchiver) {
      object.encode(archiver);
      T(unarchiver);
    }
  bool registerClass(std::string name) {
    return registerClass<T, Base>(
        std::move(name), [](const T& object, KeyedArchiver& archiver) { object.encode(archiver); },
        [](KeyedUnarchiver& unarchiver) { return std::make_shared<T>(unarchiver); });
  }

  // A class that is never instantiated itself (an abstract base): only its
  // name, chain and, when T has `void encode(KeyedArchiver&) const`, encoder.
  template <class T, class Base = void>
  bool registerAbstractClass(std::string name) {
    Encoder<T> encode;
    if constexpr (requires(const T& object, KeyedArchiver& archiver) { object.encode(archiver); })
      encode = [](const T& object, KeyedArchiver& archiver) { object.encode(archiver); };
    return registerClass<T, Base>(std::move(name), std::move(encode), nullptr);
  }

  // A C++ base that is no archive class: an interface several record
  // classes implement so that one collection can hold them side by side.
  // Records registered with it as Base can be decoded as T; it adds nothing
  // to their archived superclass chains and cannot be named in an allowed
  // list (name the record classes instead).
  template <class T>
  bool registerInterface() {
    ArchiveClass entry{std::string(), {"NSObject"}, std::type_index(typeid(T)), nullptr, nullptr, {}};
    entry.upcasts.emplace_back(std::type_index(typeid(T)), [](const std::shared_ptr<void>& p) { return p; });
    return addInterface(std::move(entry));
  }

  const ArchiveClass* classNamed(std::string_view name) const;
  const ArchiveClass* classForType(std::type_index type) const;
  template <class T>
  const ArchiveClass* classFor() const {
    return classForType(std::type_index(typeid(T)));
  }

  // The Foundation classes the archive itself writes (arrays, dictionaries,
  // ordered sets, strings, numbers, data, dates, URLs) and their chains.
  static const std::vector<std::string>* foundationClassChain(std::string_view name);

 private:
  bool add(ArchiveClass entry, const std::type_index* base);
  bool addInterface(ArchiveClass entry);

  mutable std::shared_mutex mutex_;
  std::deque<ArchiveClass> classes_;  // stable addresses: entries are never removed
  std::map<std::string, const ArchiveClass*, std::less<>> byName_;
  std::unordered_map<std::type_index, const ArchiveClass*> byType_;
};

template <class T, class Base>
bool ArchiveClassRegistry::registerClass(std::string name, Encoder<T> encode, Decoder<T> decode) {
  static_assert(std::is_void_v<Base> || std::is_base_of_v<Base, T>, "Base must be a base class of T");
  ArchiveClass entry{std::move(name), {}, std::type_index(typeid(T)), nullptr, nullptr, {}};
  if (encode) {
    entry.encode = [encode = std::move(encode)](const void* object, KeyedArchiver& archiver) {
      encode(*static_cast<const T*>(object), archiver);
    };
  }
  if (decode) {
    entry.decode = [decode = std::move(decode)](KeyedUnarchiver& unarchiver) -> std::shared_ptr<void> {
      return std::static_pointer_cast<void>(decode(unarchiver));
    };
  }
  entry.upcasts.emplace_back(std::type_index(typeid(T)), [](const std::shared_ptr<void>& p) { return p; });
  if constexpr (std::is_void_v<Base>) {
    return add(std::move(entry), nullptr);
  } else {
    // The base's own casts, reached through T -> Base; add() appends them.
    entry.upcasts.emplace_back(std::type_index(typeid(Base)), [](const std::shared_ptr<void>& p) {
      return std::static_pointer_cast<void>(std::static_pointer_cast<Base>(std::static_pointer_cast<T>(p)));
    });
    const std::type_index base(typeid(Base));
    return add(std::move(entry), &base);
  }
}

}  // namespace vozi::platform
