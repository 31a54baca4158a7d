#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

namespace vozi {

// The socket layer's fixed numbers and its table of error codes. Socket
// derives from this so that every value reads as Socket::NAME; the records
// that Socket is built from reach them through SocketConstants directly.
struct SocketConstants {
  static constexpr long SOCKET_MINIMUM_READ_BUFFER_SIZE = 1024;
  static constexpr long SOCKET_DEFAULT_READ_BUFFER_SIZE = 4096;
  // One read stops taking more once it holds this much, so a peer that keeps
  // sending cannot make a single read grow without limit.
  static constexpr long SOCKET_MAXIMUM_BYTES_PER_READ = 1 << 20;
  static constexpr long SOCKET_DEFAULT_SSL_READ_BUFFER_SIZE = 32768;
  static constexpr long SOCKET_MAXIMUM_SSL_READ_BUFFER_SIZE = 8000000;
  static constexpr long SOCKET_DEFAULT_MAX_BACKLOG = 50;
  static constexpr long SOCKET_MAX_DARWIN_BACKLOG = 128;
  static constexpr std::int32_t SOCKET_INVALID_PORT = 0;
  static constexpr std::int32_t SOCKET_INVALID_DESCRIPTOR = -1;
  // The wildcard IPv4 address (the system header spells it INADDR_ANY, a macro).
  static constexpr std::uint32_t SOCKET_INADDR_ANY = 0;
  static constexpr bool isLittleEndian = std::endian::native == std::endian::little;
  static constexpr std::string_view NO_HOSTNAME = "No hostname";
  static constexpr std::string_view SOCKET_ERR_DOMAIN = "der.ezo.oss.Socket.ErrorDomain";

  // The longest socket path accepted, in UTF-8 bytes. Kept below what
  // sockaddr_un could hold so that paths work on every platform the clients
  // run on.
  static constexpr long SOCKET_MAXIMUM_PATH_LENGTH = 103;

  static constexpr std::int32_t SOCKET_ERR_UNABLE_TO_CREATE_SOCKET = -9999;
  static constexpr std::int32_t SOCKET_ERR_BAD_DESCRIPTOR = -9998;
  static constexpr std::int32_t SOCKET_ERR_ALREADY_CONNECTED = -9997;
  static constexpr std::int32_t SOCKET_ERR_NOT_CONNECTED = -9996;
  static constexpr std::int32_t SOCKET_ERR_NOT_LISTENING = -9995;
  static constexpr std::int32_t SOCKET_ERR_ACCEPT_FAILED = -9994;
  static constexpr std::int32_t SOCKET_ERR_SETSOCKOPT_FAILED = -9993;
  static constexpr std::int32_t SOCKET_ERR_BIND_FAILED = -9992;
  static constexpr std::int32_t SOCKET_ERR_INVALID_HOSTNAME = -9991;
  static constexpr std::int32_t SOCKET_ERR_INVALID_PORT = -9990;
  static constexpr std::int32_t SOCKET_ERR_GETADDRINFO_FAILED = -9989;
  static constexpr std::int32_t SOCKET_ERR_CONNECT_FAILED = -9988;
  static constexpr std::int32_t SOCKET_ERR_MISSING_CONNECTION_DATA = -9987;
  static constexpr std::int32_t SOCKET_ERR_SELECT_FAILED = -9986;
  static constexpr std::int32_t SOCKET_ERR_LISTEN_FAILED = -9985;
  static constexpr std::int32_t SOCKET_ERR_INVALID_BUFFER = -9984;
  static constexpr std::int32_t SOCKET_ERR_INVALID_BUFFER_SIZE = -9983;
  static constexpr std::int32_t SOCKET_ERR_RECV_FAILED = -9982;
  static constexpr std::int32_t SOCKET_ERR_RECV_BUFFER_TOO_SMALL = -9981;
  static constexpr std::int32_t SOCKET_ERR_WRITE_FAILED = -9980;
  static constexpr std::int32_t SOCKET_ERR_GET_FCNTL_FAILED = -9979;
  static constexpr std::int32_t SOCKET_ERR_SET_FCNTL_FAILED = -9978;
  static constexpr std::int32_t SOCKET_ERR_NOT_IMPLEMENTED = -9977;
  static constexpr std::int32_t SOCKET_ERR_NOT_SUPPORTED_YET = -9976;
  static constexpr std::int32_t SOCKET_ERR_BAD_SIGNATURE_PARAMETERS = -9975;
  static constexpr std::int32_t SOCKET_ERR_INTERNAL = -9974;
  static constexpr std::int32_t SOCKET_ERR_WRONG_PROTOCOL = -9973;
  static constexpr std::int32_t SOCKET_ERR_NOT_ACTIVE = -9972;
  static constexpr std::int32_t SOCKET_ERR_CONNECTION_RESET = -9971;
  static constexpr std::int32_t SOCKET_ERR_SET_RECV_TIMEOUT_FAILED = -9970;
  static constexpr std::int32_t SOCKET_ERR_SET_WRITE_TIMEOUT_FAILED = -9969;
  static constexpr std::int32_t SOCKET_ERR_CONNECT_TIMEOUT = -9968;
  static constexpr std::int32_t SOCKET_ERR_GETSOCKOPT_FAILED = -9967;
  static constexpr std::int32_t SOCKET_ERR_INVALID_DELEGATE_CALL = -9966;
};

}  // namespace vozi
