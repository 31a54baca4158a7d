#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ipc/socket/Socket.h"

namespace vozi {
namespace {

struct CodeRow {
  std::int32_t constant;
  std::int32_t value;
  const char* description;
};

// Peers and logs read these numbers and texts: every code keeps its value
// and its description form.
TEST(SocketErrorTest, CodesHoldTheirValuesAndDescribeThemselves) {
  const std::vector<CodeRow> rows = {
      {Socket::SOCKET_ERR_UNABLE_TO_CREATE_SOCKET, -9999, "Error code: -9999(0x-270F), Reason: Unavailable"},
      {Socket::SOCKET_ERR_BAD_DESCRIPTOR, -9998, "Error code: -9998(0x-270E), Reason: Unavailable"},
      {Socket::SOCKET_ERR_ALREADY_CONNECTED, -9997, "Error code: -9997(0x-270D), Reason: Unavailable"},
      {Socket::SOCKET_ERR_NOT_CONNECTED, -9996, "Error code: -9996(0x-270C), Reason: Unavailable"},
      {Socket::SOCKET_ERR_NOT_LISTENING, -9995, "Error code: -9995(0x-270B), Reason: Unavailable"},
      {Socket::SOCKET_ERR_ACCEPT_FAILED, -9994, "Error code: -9994(0x-270A), Reason: Unavailable"},
      {Socket::SOCKET_ERR_SETSOCKOPT_FAILED, -9993, "Error code: -9993(0x-2709), Reason: Unavailable"},
      {Socket::SOCKET_ERR_BIND_FAILED, -9992, "Error code: -9992(0x-2708), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INVALID_HOSTNAME, -9991, "Error code: -9991(0x-2707), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INVALID_PORT, -9990, "Error code: -9990(0x-2706), Reason: Unavailable"},
      {Socket::SOCKET_ERR_GETADDRINFO_FAILED, -9989, "Error code: -9989(0x-2705), Reason: Unavailable"},
      {Socket::SOCKET_ERR_CONNECT_FAILED, -9988, "Error code: -9988(0x-2704), Reason: Unavailable"},
      {Socket::SOCKET_ERR_MISSING_CONNECTION_DATA, -9987, "Error code: -9987(0x-2703), Reason: Unavailable"},
      {Socket::SOCKET_ERR_SELECT_FAILED, -9986, "Error code: -9986(0x-2702), Reason: Unavailable"},
      {Socket::SOCKET_ERR_LISTEN_FAILED, -9985, "Error code: -9985(0x-2701), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INVALID_BUFFER, -9984, "Error code: -9984(0x-2700), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INVALID_BUFFER_SIZE, -9983, "Error code: -9983(0x-26FF), Reason: Unavailable"},
      {Socket::SOCKET_ERR_RECV_FAILED, -9982, "Error code: -9982(0x-26FE), Reason: Unavailable"},
      {Socket::SOCKET_ERR_RECV_BUFFER_TOO_SMALL, -9981, "Error code: -9981(0x-26FD), Reason: Unavailable"},
      {Socket::SOCKET_ERR_WRITE_FAILED, -9980, "Error code: -9980(0x-26FC), Reason: Unavailable"},
      {Socket::SOCKET_ERR_GET_FCNTL_FAILED, -9979, "Error code: -9979(0x-26FB), Reason: Unavailable"},
      {Socket::SOCKET_ERR_SET_FCNTL_FAILED, -9978, "Error code: -9978(0x-26FA), Reason: Unavailable"},
      {Socket::SOCKET_ERR_NOT_IMPLEMENTED, -9977, "Error code: -9977(0x-26F9), Reason: Unavailable"},
      {Socket::SOCKET_ERR_NOT_SUPPORTED_YET, -9976, "Error code: -9976(0x-26F8), Reason: Unavailable"},
      {Socket::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS, -9975, "Error code: -9975(0x-26F7), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INTERNAL, -9974, "Error code: -9974(0x-26F6), Reason: Unavailable"},
      {Socket::SOCKET_ERR_WRONG_PROTOCOL, -9973, "Error code: -9973(0x-26F5), Reason: Unavailable"},
      {Socket::SOCKET_ERR_NOT_ACTIVE, -9972, "Error code: -9972(0x-26F4), Reason: Unavailable"},
      {Socket::SOCKET_ERR_CONNECTION_RESET, -9971, "Error code: -9971(0x-26F3), Reason: Unavailable"},
      {Socket::SOCKET_ERR_SET_RECV_TIMEOUT_FAILED, -9970, "Error code: -9970(0x-26F2), Reason: Unavailable"},
      {Socket::SOCKET_ERR_SET_WRITE_TIMEOUT_FAILED, -9969, "Error code: -9969(0x-26F1), Reason: Unavailable"},
      {Socket::SOCKET_ERR_CONNECT_TIMEOUT, -9968, "Error code: -9968(0x-26F0), Reason: Unavailable"},
      {Socket::SOCKET_ERR_GETSOCKOPT_FAILED, -9967, "Error code: -9967(0x-26EF), Reason: Unavailable"},
      {Socket::SOCKET_ERR_INVALID_DELEGATE_CALL, -9966, "Error code: -9966(0x-26EE), Reason: Unavailable"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(row.constant, row.value);
    const SocketError error(row.constant);
    EXPECT_EQ(error.domain, "der.ezo.oss.Socket.ErrorDomain");
    EXPECT_EQ(error.errorCode, row.value);
    EXPECT_FALSE(error.errorReason.has_value());
    EXPECT_EQ(error.bufferSizeNeeded, 0);
    EXPECT_EQ(error.description(), row.description);
  }
}

struct DescriptionRow {
  SocketError error;
  const char* description;
  std::int32_t bufferSizeNeeded;
};

TEST(SocketErrorTest, ReasonsSizesAndSecureLayerErrorsDescribeThemselves) {
  const std::vector<DescriptionRow> rows = {
      {SocketError(Socket::SOCKET_ERR_INVALID_DELEGATE_CALL, "x"), "Error code: -9966(0x-26EE), x", 0},
      {SocketError(Socket::SOCKET_ERR_LISTEN_FAILED, ""), "Error code: -9985(0x-2701), ", 0},
      {SocketError::bufferTooSmall(10), "Error code: -9981(0x-26FD), Reason: Unavailable", 10},
      {SocketError(SSLError::fail(42, "handshake failed")), "Error code: 42(0x2A), handshake failed", 0},
      {SocketError(SSLError::success()), "Error code: 0(0x0), Success", 0},
      {SocketError(SSLError::retryNeeded()), "Error code: -1(0x-1), Retry operation", 0},
      // Codes and sizes beyond 32 bits are held at the nearest 32-bit value.
      {SocketError(SSLError::fail(std::numeric_limits<long>::max(), "big")),
       "Error code: 2147483647(0x7FFFFFFF), big", 0},
      {SocketError::bufferTooSmall(std::numeric_limits<long>::max()),
       "Error code: -9981(0x-26FD), Reason: Unavailable", std::numeric_limits<std::int32_t>::max()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    EXPECT_EQ(row.error.description(), row.description);
    EXPECT_EQ(row.error.bufferSizeNeeded, row.bufferSizeNeeded);
    EXPECT_EQ(row.error.domain, "der.ezo.oss.Socket.ErrorDomain");
  }
}

TEST(SocketErrorTest, BecomesAGenericPlatformErrorOfItsOwnType) {
  const auto error = SocketError(Socket::SOCKET_ERR_NOT_CONNECTED).platformError();
  EXPECT_EQ(error.domain, "VOZi.Socket.Error");
  EXPECT_EQ(error.code, 1);
}

TEST(SocketErrorTest, SecureLayerErrorsCarryTheirCodesAndTexts) {
  EXPECT_EQ(SSLError::fail(7, "bad record").code(), 7);
  EXPECT_EQ(SSLError::fail(7, "bad record").description(), "bad record");
  EXPECT_EQ(SSLError::success().code(), 0);
  EXPECT_EQ(SSLError::success().description(), "Success");
  EXPECT_EQ(SSLError::retryNeeded().code(), -1);
  EXPECT_EQ(SSLError::retryNeeded().description(), "Retry operation");
}

TEST(SocketErrorTest, ConstantsKeepTheirValues) {
  EXPECT_EQ(Socket::SOCKET_MINIMUM_READ_BUFFER_SIZE, 1024);
  EXPECT_EQ(Socket::SOCKET_DEFAULT_READ_BUFFER_SIZE, 4096);
  EXPECT_EQ(Socket::SOCKET_DEFAULT_SSL_READ_BUFFER_SIZE, 32768);
  EXPECT_EQ(Socket::SOCKET_MAXIMUM_SSL_READ_BUFFER_SIZE, 8000000);
  EXPECT_EQ(Socket::SOCKET_DEFAULT_MAX_BACKLOG, 50);
  EXPECT_EQ(Socket::SOCKET_MAX_DARWIN_BACKLOG, 128);
  EXPECT_EQ(Socket::SOCKET_INVALID_PORT, 0);
  EXPECT_EQ(Socket::SOCKET_INVALID_DESCRIPTOR, -1);
  EXPECT_EQ(Socket::NO_HOSTNAME, "No hostname");
}

}  // namespace
}  // namespace vozi
