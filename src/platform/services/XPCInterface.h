#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "platform/AllowedClasses.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Result.h"
#include "platform/services/XPCArgument.h"

namespace vozi::platform {

// The description of a service protocol: for each method its selector, the
// class list of each argument and of each reply-block argument. One
// description serves both ends: the side that exports an object decodes
// calls with it (refusing what a list does not allow) and calls the object;
// the side that holds a proxy encodes calls with it and decodes replies.
//
// A protocol is an abstract C++ class whose methods return void; a method
// that answers takes a std::function<void(...)> reply block as its last
// parameter (an empty one when the caller gave none). Argument types: see
// XPCArgument.
//
//   class IScanService {
//    public:
//     virtual ~IScanService() = default;
//     virtual void scan(std::vector<std::shared_ptr<Group>> groups,
//                       std::function<void(std::string)> reply) = 0;
//     virtual void note(std::string text, Value userInfo) = 0;
//   };
//
//   const XPCInterfacePtr& scanServiceInterface() {
//     static const XPCInterfacePtr interface =
//         XPCInterface::describe<IScanService>("IScanService")
//             .method<&IScanService::scan>("scan:reply:", {kTreeClasses}, {{"NSString"}})
//             .method<&IScanService::note>("note:userInfo:", {{"NSString"}, {"NSDictionary", "NSString"}})
//             .build();
//     return interface;
//   }
//
// A list left out (or empty) means the argument type's own rule: a record
// of the declared class, any property-list value. A method may be a member
// of a base protocol of I (a protocol that adopts others).
class XPCInterface;
using XPCInterfacePtr = std::shared_ptr<const XPCInterface>;

// What the receiving side hands a decoded call: the exported object and a
// way to send the reply (empty when the caller gave no reply block). The
// sender is called with a function that encodes the reply's arguments.
using XPCReplySender = std::function<void(const std::function<void(KeyedArchiver&)>& encodeArguments)>;
using XPCDelivery = std::function<void(void* exportedObject, const XPCReplySender& reply)>;

struct XPCMethod {
  std::string selector;
  const void* tag = nullptr;  // identifies the C++ member function
  std::vector<AllowedClasses> arguments;
  std::vector<AllowedClasses> replyArguments;
  bool hasReply = false;
  // Decodes a call's arguments, each under its own list (the unarchiver's
  // graph list is set to it); a refusal is an error.
  std::function<Result<XPCDelivery>(KeyedUnarchiver&)> decodeCall;
};

namespace xpc {

// The key of argument `index` in a call or reply frame.
std::string_view argumentKey(std::size_t index);

template <class T>
struct ReplyBlock : std::false_type {};
template <class... R>
struct ReplyBlock<std::function<void(R...)>> : std::true_type {
  using Arguments = std::tuple<std::decay_t<R>...>;
};

template <class M>
struct MethodTraits;
template <class C, class... P>
struct MethodTraits<void (C::*)(P...)> {
  using Class = C;
  using Parameters = std::tuple<std::decay_t<P>...>;
  static constexpr std::size_t kCount = sizeof...(P);
  static constexpr bool kHasReply =
      kCount > 0 && ReplyBlock<std::tuple_element_t<(kCount > 0 ? kCount - 1 : 0), std::tuple<std::decay_t<P>..., void>>>::value;
  static constexpr std::size_t kArgumentCount = kHasReply ? kCount - 1 : kCount;
};

template <auto M>
struct MethodTag {
  static constexpr char id = 0;
};

inline const AllowedClasses& listAt(const std::vector<AllowedClasses>& lists, std::size_t index) {
  static const AllowedClasses kNone;
  return index < lists.size() ? lists[index] : kNone;
}

// Decodes the elements of a tuple of argument types from keys a0, a1, ...
template <class Tuple, std::size_t... I>
std::optional<Tuple> decodeAll(KeyedUnarchiver& u, const std::vector<AllowedClasses>& lists,
                               std::index_sequence<I...>) {
  Tuple values;
  bool ok = true;
  [[maybe_unused]] auto one = [&](auto& slot, std::size_t index) {
    if (!ok) return;
    using T = std::decay_t<decltype(slot)>;
    const auto& allowed = listAt(lists, index);
    u.setAllowedClassesForGraph(allowed);
    auto value = XPCArgument<T>::decode(u, argumentKey(index), allowed);
    if (!value || u.error()) {
      ok = false;
      if (!u.error())
        u.failWithError(Error("NSCocoaErrorDomain", 4864,
                              {{"NSLocalizedDescription",
                                Value("argument " + std::to_string(index) + " is missing or of another kind")}}));
      return;
    }
    slot = std::move(*value);
  };
  (one(std::get<I>(values), I), ...);
  u.setAllowedClassesForGraph({});
  if (!ok) return std::nullopt;
  return values;
}

template <class Tuple, std::size_t... I>
void encodeAll(KeyedArchiver& a, const Tuple& values, std::index_sequence<I...>) {
  (XPCArgument<std::decay_t<std::tuple_element_t<I, Tuple>>>::encode(a, argumentKey(I), std::get<I>(values)), ...);
}

}  // namespace xpc

template <class I>
class XPCInterfaceBuilder;

class XPCInterface {
 public:
  template <class I>
  static XPCInterfaceBuilder<I> describe(std::string name);

  const std::string& name() const { return name_; }
  std::type_index type() const { return type_; }
  const XPCMethod* method(std::string_view selector) const;
  const XPCMethod* methodWithTag(const void* tag) const;

  template <auto M>
  const XPCMethod* methodFor() const {
    return methodWithTag(&xpc::MethodTag<M>::id);
  }

 private:
  template <class I>
  friend class XPCInterfaceBuilder;
  XPCInterface(std::string name, std::type_index type) : name_(std::move(name)), type_(type) {}

  std::string name_;
  std::type_index type_;
  std::map<std::string, XPCMethod, std::less<>> methods_;
};

template <class I>
class XPCInterfaceBuilder {
 public:
  explicit XPCInterfaceBuilder(std::string name) : interface_(new XPCInterface(std::move(name), typeid(I))) {}

  // Adds the method M (a member of I or of a protocol I adopts) under
  // `selector`, with the class lists of its arguments and reply-block
  // arguments by position.
  template <auto M>
  XPCInterfaceBuilder& method(std::string selector, std::vector<AllowedClasses> arguments = {},
                              std::vector<AllowedClasses> replyArguments = {}) {
    using Traits = xpc::MethodTraits<decltype(M)>;
    static_assert(std::is_base_of_v<typename Traits::Class, I>, "the method belongs to another protocol");
    XPCMethod entry;
    entry.selector = selector;
    entry.tag = &xpc::MethodTag<M>::id;
    entry.arguments = std::move(arguments);
    entry.replyArguments = std::move(replyArguments);
    entry.hasReply = Traits::kHasReply;
    entry.decodeCall = [lists = entry.arguments](KeyedUnarchiver& u) -> Result<XPCDelivery> {
      return decodeCall<M>(u, lists);
    };
    interface_->methods_.insert_or_assign(std::move(selector), std::move(entry));
    return *this;
  }

  XPCInterfacePtr build() { return XPCInterfacePtr(std::move(interface_)); }

 private:
  template <auto M>
  static Result<XPCDelivery> decodeCall(KeyedUnarchiver& u, const std::vector<AllowedClasses>& lists) {
    using Traits = xpc::MethodTraits<decltype(M)>;
    using Parameters = typename Traits::Parameters;
    constexpr std::size_t n = Traits::kArgumentCount;
    using Arguments = decltype(firstOf<Parameters>(std::make_index_sequence<n>()));
    auto arguments = xpc::decodeAll<Arguments>(u, lists, std::make_index_sequence<n>());
    if (!arguments) return *u.error();
    return XPCDelivery([arguments = std::move(*arguments)](void* object, const XPCReplySender& send) mutable {
      auto* target = static_cast<I*>(object);
      if constexpr (Traits::kHasReply) {
        using Block = std::tuple_element_t<n, Parameters>;
        Block block;
        if (send) block = makeReplyBlock(send, static_cast<Block*>(nullptr));
        std::apply([&](auto&... a) { (target->*M)(std::move(a)..., std::move(block)); }, arguments);
      } else {
        std::apply([&](auto&... a) { (target->*M)(std::move(a)...); }, arguments);
      }
    });
  }

  template <class Tuple, std::size_t... K>
  static std::tuple<std::tuple_element_t<K, Tuple>...> firstOf(std::index_sequence<K...>);

  template <class... R>
  static std::function<void(R...)> makeReplyBlock(const XPCReplySender& send, std::function<void(R...)>*) {
    return [send](R... values) {
      const std::tuple<std::decay_t<R>...> held(values...);
      send([&](KeyedArchiver& a) { xpc::encodeAll(a, held, std::index_sequence_for<R...>()); });
    };
  }

  std::unique_ptr<XPCInterface> interface_;
};

template <class I>
XPCInterfaceBuilder<I> XPCInterface::describe(std::string name) {
  return XPCInterfaceBuilder<I>(std::move(name));
}

}  // namespace vozi::platform
