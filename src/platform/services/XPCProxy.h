#pragma once

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/services/ServiceLog.h"
#include "platform/services/XPCInterface.h"

namespace vozi::platform {

class XPCConnection;

// The peer's exported object, seen through the connection's remote
// interface: each call is encoded by its description and sent; a reply
// block (the method's last parameter) runs with the decoded reply on the
// connection's reading queue, at most once (see XPCConnection).
//
//   auto scanner = connection->remoteObjectProxy<IScanService>();
//   scanner.call<&IScanService::scan>(groups, [](std::string operationID) { ... });
//
// The call's arguments are the method's own, in order (the reply block may
// be left empty). A method the remote interface does not describe is
// dropped with a log line.
template <class I>
class XPCProxy {
 public:
  using ErrorHandler = std::function<void(const Error&)>;

  XPCProxy(std::shared_ptr<XPCConnection> connection, ErrorHandler onError)
      : connection_(std::move(connection)), onError_(std::move(onError)) {}

  const std::shared_ptr<XPCConnection>& connection() const { return connection_; }

  template <auto M, class... A>
  void call(A&&... arguments) const;

 private:
  std::shared_ptr<XPCConnection> connection_;
  ErrorHandler onError_;
};

}  // namespace vozi::platform

#include "platform/services/XPCConnection.h"

namespace vozi::platform {

template <class I>
template <auto M, class... A>
void XPCProxy<I>::call(A&&... arguments) const {
  using Traits = xpc::MethodTraits<decltype(M)>;
  static_assert(std::is_base_of_v<typename Traits::Class, I>, "the method belongs to another protocol");
  using Parameters = typename Traits::Parameters;
  static_assert(sizeof...(A) == Traits::kCount, "give every argument of the method, the reply block included");
  const XPCInterfacePtr remote = connection_->remoteObjectInterface();
  const XPCMethod* method = remote ? remote->template methodFor<M>() : nullptr;
  if (!method) {
    ServiceLog::log("service " + connection_->serviceName() + ": a call of a method the remote interface " +
                    (remote ? remote->name() : std::string("(none)")) + " does not describe was dropped");
    if (onError_)
      onError_(Error(XPCConnection::kErrorDomain, XPCConnection::connectionInvalid,
                     {{"NSLocalizedDescription", Value("the remote interface does not describe the method")}}));
    return;
  }
  Parameters values(std::forward<A>(arguments)...);
  constexpr std::size_t n = Traits::kArgumentCount;
  auto encode = [&](KeyedArchiver& a) { xpc::encodeAll(a, values, std::make_index_sequence<n>()); };
  XPCConnection::ReplyDecoder decode;
  if constexpr (Traits::kHasReply) {
    using Block = std::tuple_element_t<n, Parameters>;
    using Replies = typename xpc::ReplyBlock<Block>::Arguments;
    Block block = std::move(std::get<n>(values));
    if (block) {
      decode = [block = std::move(block), lists = method->replyArguments](
                   KeyedUnarchiver& u) mutable -> Result<std::function<void()>> {
        auto replies = xpc::decodeAll<Replies>(u, lists, std::make_index_sequence<std::tuple_size_v<Replies>>());
        if (!replies) return *u.error();
        return std::function<void()>([block = std::move(block), replies = std::move(*replies)]() mutable {
          std::apply([&](auto&... r) { block(std::move(r)...); }, replies);
        });
      };
    }
  }
  connection_->sendCall(*method, encode, std::move(decode), onError_);
}

}  // namespace vozi::platform
