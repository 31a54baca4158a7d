#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ipc/socket/FD.h"
#include "ipc/socket/Socket.h"
#include "ipc/socket/SocketUtils.h"

namespace vozi {
namespace {

TEST(SocketEnumsTest, KindsConvertToAndFromTheSystemValues) {
  EXPECT_EQ(platformValue(SocketProtocolFamily::inet), AF_INET);
  EXPECT_EQ(platformValue(SocketProtocolFamily::inet6), AF_INET6);
  EXPECT_EQ(platformValue(SocketProtocolFamily::unix), AF_UNIX);
  EXPECT_EQ(platformValue(SocketType::stream), SOCK_STREAM);
  EXPECT_EQ(platformValue(SocketType::datagram), SOCK_DGRAM);
  EXPECT_EQ(platformValue(SocketProtocol::tcp), IPPROTO_TCP);
  EXPECT_EQ(platformValue(SocketProtocol::udp), IPPROTO_UDP);
  EXPECT_EQ(platformValue(SocketProtocol::unix), 0);

  for (auto family : {SocketProtocolFamily::inet, SocketProtocolFamily::inet6, SocketProtocolFamily::unix})
    EXPECT_EQ(protocolFamilyFromPlatformValue(platformValue(family)), family);
  for (auto type : {SocketType::stream, SocketType::datagram})
    EXPECT_EQ(socketTypeFromPlatformValue(platformValue(type)), type);
  for (auto proto : {SocketProtocol::tcp, SocketProtocol::udp, SocketProtocol::unix})
    EXPECT_EQ(socketProtocolFromPlatformValue(platformValue(proto)), proto);
  EXPECT_EQ(protocolFamilyFromPlatformValue(AF_APPLETALK), std::nullopt);
  EXPECT_EQ(socketTypeFromPlatformValue(SOCK_RAW), std::nullopt);
  EXPECT_EQ(socketProtocolFromPlatformValue(IPPROTO_ICMP), std::nullopt);

  EXPECT_EQ(rawValue(SocketProtocol::tcp), 0);
  EXPECT_EQ(rawValue(SocketProtocol::udp), 1);
  EXPECT_EQ(rawValue(SocketProtocol::unix), 2);
  EXPECT_EQ(socketProtocolFromRawValue(2), SocketProtocol::unix);
  EXPECT_EQ(socketProtocolFromRawValue(3), std::nullopt);
  EXPECT_EQ(socketProtocolFromRawValue(-1), std::nullopt);
}

std::optional<std::string> failureText(const SocketResult<SocketSignature>& result) {
  if (result) return std::nullopt;
  EXPECT_EQ(result.error().errorCode, Socket::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS);
  return result.error().errorReason.value_or("<no reason>");
}

using F = SocketProtocolFamily;
using T = SocketType;
using P = SocketProtocol;

TEST(SocketSignatureTest, NetworkSignaturesCheckTheirParts) {
  struct Row {
    F family;
    T type;
    P proto;
    std::optional<std::string> host;
    std::optional<std::int32_t> port;
    std::optional<std::string> failure;
  };
  const std::string missing = "Missing hostname, port or both or invalid protocol family.";
  const std::string stream = "Stream socket must use either .tcp or .unix for the protocol.";
  const std::string datagram = "Datagram socket must use .udp or .unix for the protocol.";
  const std::vector<Row> rows = {
      {F::inet, T::stream, P::tcp, "127.0.0.1", 80, std::nullopt},
      {F::inet6, T::datagram, P::udp, "::1", 53, std::nullopt},
      {F::inet, T::datagram, P::unix, "127.0.0.1", 53, std::nullopt},
      {F::inet, T::stream, P::tcp, std::nullopt, 80, missing},
      {F::inet, T::stream, P::tcp, "127.0.0.1", std::nullopt, missing},
      {F::unix, T::stream, P::unix, "127.0.0.1", 80, missing},
      {F::inet, T::stream, P::udp, "127.0.0.1", 80, stream},
      {F::inet, T::datagram, P::tcp, "127.0.0.1", 80, datagram},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failure.value_or("ok"));
    auto signature = SocketSignature::create(row.family, row.type, row.proto, row.host, row.port);
    EXPECT_EQ(failureText(signature), row.failure);
    if (signature) {
      EXPECT_EQ(signature->hostname, row.host);
      EXPECT_EQ(signature->port, *row.port);
      EXPECT_FALSE(signature->path.has_value());
      EXPECT_FALSE(signature->address.has_value());
    }
  }
}

TEST(SocketSignatureTest, PathSignaturesCheckTheirPath) {
  const std::string longest(103, 'p');
  struct Row {
    T type;
    P proto;
    std::optional<std::string> path;
    std::optional<std::string> failure;
  };
  const std::vector<Row> rows = {
      {T::stream, P::unix, "/tmp/s", std::nullopt},
      {T::datagram, P::unix, "/tmp/d", std::nullopt},
      {T::stream, P::unix, longest, std::nullopt},
      {T::stream, P::unix, longest + "p", "Pathname supplied is too long."},
      {T::stream, P::unix, std::nullopt, "Missing pathname."},
      {T::stream, P::unix, "", "Missing pathname."},
      {T::stream, P::udp, "/tmp/s", "Stream socket must use either .tcp or .unix for the protocol."},
      {T::datagram, P::tcp, "/tmp/s", "Datagram socket must use .udp or .unix for the protocol."},
      // A zero byte would make the system bind (and later remove) a shorter path.
      {T::stream, P::unix, std::string("/tmp/a\0b", 8), "Pathname contains a zero byte."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failure.value_or("ok"));
    auto signature = SocketSignature::create(row.type, row.proto, row.path);
    EXPECT_EQ(failureText(signature), row.failure);
    if (signature) {
      EXPECT_EQ(signature->protocolFamily, F::unix);
      EXPECT_EQ(signature->path, row.path);
      EXPECT_EQ(signature->hostname, "No hostname");
      EXPECT_EQ(signature->port, 0);
      ASSERT_TRUE(signature->address.has_value());
      ASSERT_EQ(signature->address->kind(), SocketAddress::Kind::unix);
      EXPECT_STREQ(signature->address->asUnix()->sun_path, row.path->c_str());
    }
  }
}

TEST(SocketSignatureTest, PlatformValueSignaturesCheckTheirParts) {
  // 2, 2, 0: an inet datagram signature with the unix protocol through the
  // address form; the host-name form demands udp for a datagram.
  auto withAddress = SocketSignature::fromPlatformValues(AF_INET, SOCK_DGRAM, 0, std::nullopt);
  ASSERT_TRUE(withAddress);
  EXPECT_EQ(withAddress->protocolFamily, F::inet);
  EXPECT_EQ(withAddress->socketType, T::datagram);
  EXPECT_EQ(withAddress->proto, P::unix);
  EXPECT_EQ(failureText(SocketSignature::fromPlatformValues(AF_INET, SOCK_DGRAM, 0, std::nullopt, "h", 1)),
            "Datagram socket must use .udp for the protocol.");
  EXPECT_EQ(failureText(SocketSignature::fromPlatformValues(AF_APPLETALK, SOCK_STREAM, 0, std::nullopt)),
            "Bad family, type or protocol passed.");
  EXPECT_EQ(failureText(SocketSignature::fromPlatformValues(AF_INET, SOCK_STREAM, IPPROTO_UDP, std::nullopt)),
            "Stream socket must use either .tcp or .unix for the protocol.");
  EXPECT_EQ(failureText(SocketSignature::fromPlatformValues(AF_INET, SOCK_STREAM, IPPROTO_TCP, std::nullopt,
                                                            std::nullopt, 1)),
            "Incomplete parameters.");
  auto connected =
      SocketSignature::fromPlatformValues(AF_INET6, SOCK_STREAM, IPPROTO_TCP, std::nullopt, "::1", 8080);
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->hostname, "::1");
  EXPECT_EQ(connected->port, 8080);
}

TEST(SocketSignatureTest, UnixAddressIsThePathWithFamilyAndTerminatingZero) {
  auto ten = SocketSignature::create(T::stream, P::unix, std::string("/tmp/abcde"));
  ASSERT_TRUE(ten);
  auto address = ten->unixAddress();
  ASSERT_TRUE(address);
  EXPECT_EQ(address->length, 13u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address->address);
  EXPECT_EQ(address->address.sun_family, AF_UNIX);
  EXPECT_EQ(std::memcmp(bytes + 2, "/tmp/abcde", 10), 0);
  EXPECT_EQ(bytes[12], 0);

  auto longest = SocketSignature::create(T::stream, P::unix, std::string(103, 'q'));
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->unixAddress()->length, 106u);

  SocketSignature network;
  auto none = network.unixAddress();
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().errorCode, Socket::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS);
  EXPECT_EQ(none.error().errorReason, "Specified path contains zero (0) bytes.");
}

TEST(SocketSignatureTest, DescriptionFollowsItsTemplate) {
  auto signature = SocketSignature::create(T::stream, P::unix, std::string("/tmp/s"));
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->description(),
            "Signature: family: unix, type: stream, protocol: unix, address: Optional(unix(\"/tmp/s\")), "
            "hostname: Optional(\"No hostname\"), port: 0, path: Optional(\"/tmp/s\"), bound: false, secure: false");
  auto network = SocketSignature::create(F::inet, T::datagram, P::udp, "127.0.0.1", 53);
  ASSERT_TRUE(network);
  network->isBound = true;
  EXPECT_EQ(network->description(),
            "Signature: family: inet, type: datagram, protocol: udp, address: nil, "
            "hostname: Optional(\"127.0.0.1\"), port: 53, path: nil, bound: true, secure: false");
}

TEST(SocketAddressTest, SizesAreThoseOfTheSystemRecords) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  sockaddr_in6 in6{};
  in6.sin6_family = AF_INET6;
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  EXPECT_EQ(SocketAddress::ipv4(in).size(), 16u);
  EXPECT_EQ(SocketAddress::ipv6(in6).size(), 28u);
  EXPECT_EQ(SocketAddress::unix(un).size(), sizeof(sockaddr_un));
  EXPECT_EQ(SocketAddress::ipv4(in).family(), AF_INET);
  EXPECT_EQ(SocketAddress::ipv6(in6).family(), AF_INET6);
  EXPECT_EQ(SocketAddress::unix(un).family(), AF_UNIX);
}

TEST(SocketAddressTest, HostnameAndPortOfEachFamily) {
  auto v4 = Socket::createAddress("127.0.0.1", 5000);
  ASSERT_TRUE(v4.has_value());
  ASSERT_EQ(v4->kind(), SocketAddress::Kind::ipv4);
  auto v4Host = Socket::hostnameAndPort(*v4);
  ASSERT_TRUE(v4Host.has_value());
  EXPECT_EQ(v4Host->hostname, "127.0.0.1");
  EXPECT_EQ(v4Host->port, 5000);

  auto v6 = Socket::createAddress("::1", 6000);
  ASSERT_TRUE(v6.has_value());
  ASSERT_EQ(v6->kind(), SocketAddress::Kind::ipv6);
  auto v6Host = Socket::hostnameAndPort(*v6);
  ASSERT_TRUE(v6Host.has_value());
  EXPECT_EQ(v6Host->hostname, "::1");
  EXPECT_EQ(v6Host->port, 6000);

  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  EXPECT_FALSE(Socket::hostnameAndPort(SocketAddress::unix(un)).has_value());
}

TEST(SocketUtilsTest, TellsValidUtf8) {
  EXPECT_TRUE(SocketUtils::isValidUTF8("abc"));
  EXPECT_TRUE(SocketUtils::isValidUTF8("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(SocketUtils::isValidUTF8("\xC3"));          // cut in the middle of a character
  EXPECT_FALSE(SocketUtils::isValidUTF8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(SocketUtils::isValidUTF8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(SocketUtils::isValidUTF8("\xFF"));
}

TEST(FDTest, SetsBitsOfThirtyTwoWords) {
  FD::Set set;
  set.fill(0xFFFFFFFF);
  FD::ZERO(set);
  for (auto word : set) EXPECT_EQ(word, 0u);
  FD::SET(31, set);
  EXPECT_EQ(set[0], 0x80000000u);
  EXPECT_TRUE(FD::ISSET(31, set));
  FD::SET(33, set);
  EXPECT_EQ(set[1], 0x2u);
  FD::SET(1023, set);
  EXPECT_TRUE(FD::ISSET(1023, set));
  FD::CLR(31, set);
  EXPECT_FALSE(FD::ISSET(31, set));
  EXPECT_EQ(set[0], 0u);
  FD::Set before = set;
  FD::SET(1024, set);
  FD::SET(-1, set);
  EXPECT_EQ(set, before);
  EXPECT_FALSE(FD::ISSET(1024, set));
  EXPECT_FALSE(FD::ISSET(-1, set));
}

}  // namespace
}  // namespace vozi
