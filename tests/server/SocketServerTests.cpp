// The daemon's socket: its requests, its connections, its place on disk and
// its shutdown.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "backend/ZOLTrackingDataCoding.h"
#include "server/ServerTestSupport.h"

namespace vozi {
namespace {

using namespace std::chrono_literals;
using test::methodOf;
using test::request;

class SocketServerTest : public test::ServerTest {};

// Requests that have no reply leave nothing behind: the next reply on the
// connection is the next request's.
TEST_F(SocketServerTest, RequestsWithoutAReplyAnswerNothing) {
  auto client = socketClient();
  ASSERT_TRUE(client);
  const std::vector<std::string> silent = {
      R"({"method":"getTrackingData"})",  // not retrieved yet
      R"({"method":"scan"})",              // served by the named service
      R"({"method":"getBackgroundScanResults"})",
      R"({"method":"noSuchMethod"})",
      R"({"parameters":{}})",
      R"({"method":"reportEvent"})",  // without parameters
      R"({"method":"userEmail","parameters":{"email":"someone@example.com"}})",
      "not JSON at all",
      R"(["an array"])",
  };
  for (const std::string& line : silent) ASSERT_TRUE(client->sendRaw(line + "\n"));
  ASSERT_TRUE(client->send(request("getCleaningHistory")));
  auto reply = client->receive(60s);
  ASSERT_TRUE(reply && *reply);
  EXPECT_EQ(methodOf(**reply), "cleaningHistory");

  // The e-mail went to the state manager, and never to the log.
  EXPECT_EQ(stateManager->applicationState().userEmail(), std::optional<std::string>("someone@example.com"));
  EXPECT_EQ(log.count("someone@example.com"), 0u);
  EXPECT_GT(log.count("requested setUserEmail"), 0u);
}

TEST_F(SocketServerTest, AnEventWithoutAValueIsSentWithAnEmptyOne) {
  auto client = socketClient();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->sendRaw(
      R"({"method":"reportEvent","parameters":{"category":"c","action":"a","name":"n"}})"
      "\n"));
  ASSERT_TRUE(client->sendRaw(
      R"({"method":"reportEvent","parameters":{"category":"c","action":"a","name":"n","value":"v"}})"
      "\n"));
  const auto sent = events->waitFor(2);
  ASSERT_EQ(sent.size(), 2u);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const auto& body = sent[i].backendJsonRepresentation();
    EXPECT_EQ(sent[i].eventType(), ZOLEventType::userEvent);
    EXPECT_EQ(*body.at("category").asString(), "c");
    EXPECT_EQ(*body.at("action").asString(), "a");
    EXPECT_EQ(*body.at("name").asString(), "n");
    EXPECT_EQ(*body.at("value").asString(), i == 0 ? "" : "v");
  }
}

TEST_F(SocketServerTest, TrackingDataIsAnsweredOnceRetrievedAndPushedToEveryClient) {
  auto asking = socketClient();
  auto other = socketClient();
  ASSERT_TRUE(asking && other);
  // Both connections are registered once a request of each was served.
  for (auto* client : {asking.get(), other.get()}) {
    ASSERT_TRUE(client->send(request("getCleaningHistory")));
    ASSERT_TRUE(client->receive(60s));
  }
  ZOLTrackingData data;
  data.retrieved = true;
  data.clientID = "client-1";
  data.utmMatchType = "exact";
  stateManager->updateTrackingData(data);
  const auto expected = ZOLTrackingDataCoding::IPCRepresentations(data);
  for (auto* client : {asking.get(), other.get()}) {
    auto pushed = client->receive(60s);
    ASSERT_TRUE(pushed && *pushed);
    EXPECT_EQ(methodOf(**pushed), "trackingData");
    EXPECT_EQ(*(*pushed)->at("parameters").asDictionary(), expected);
  }
  ASSERT_TRUE(asking->send(request("getTrackingData")));
  auto answer = asking->receive(60s);
  ASSERT_TRUE(answer && *answer);
  EXPECT_EQ(methodOf(**answer), "trackingData");
  EXPECT_EQ(*(*answer)->at("parameters").asDictionary(), expected);
}

// A request that arrives in two pieces is one request; "quit" ends only the
// connection that sent it.
TEST_F(SocketServerTest, ARequestInTwoWritesIsAnsweredOnceAndQuitClosesOnlyItsConnection) {
  auto split = socketClient();
  auto bystander = socketClient();
  ASSERT_TRUE(split && bystander);
  ASSERT_TRUE(split->sendRaw(R"({"method":"getClea)"));
  ASSERT_TRUE(bystander->send(request("getCleaningHistory")));
  ASSERT_TRUE(bystander->receive(60s));  // the first piece has surely been read by now
  ASSERT_TRUE(split->sendRaw("ningHistory\"}\n"));
  auto answer = split->receive(60s);
  ASSERT_TRUE(answer && *answer);
  EXPECT_EQ(methodOf(**answer), "cleaningHistory");
  ASSERT_TRUE(split->send(request("quit")));
  auto after = split->receive(60s);
  ASSERT_TRUE(after);
  EXPECT_FALSE(*after);
  EXPECT_TRUE(split->closed());

  ASSERT_TRUE(bystander->send(request("getCleaningHistory")));
  auto still = bystander->receive(60s);
  ASSERT_TRUE(still && *still);
  EXPECT_EQ(methodOf(**still), "cleaningHistory");
  EXPECT_FALSE(bystander->closed());
  EXPECT_EQ(server->connections().size(), 1u);
  EXPECT_EQ(server->connectedSocketCount(), 1u);
}

TEST_F(SocketServerTest, TheSocketIsOpenToAllAndItsFolderToNoOtherWriter) {
  struct stat info {};
  ASSERT_EQ(::lstat(UnixSocketIPCServerConstant::Path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0777u);
  const std::string folder = root / "/Library/Application Support/div.ez.iru";
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_EQ(info.st_uid, ::geteuid());
}

// "shutdown" stops everything, removes the socket and ends with status 0,
// without an error line from the accept loop.
TEST_F(SocketServerTest, ShutdownEndsWithStatusZeroAndRemovesTheSocket) {
  auto client = socketClient();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->send(request("shutdown")));
  ASSERT_EQ(exitStatus.wait_for(60s), std::future_status::ready);
  shutDown = true;
  EXPECT_EQ(exitStatus.get(), 0);
  auto closed = client->receive(60s);
  ASSERT_TRUE(closed);
  EXPECT_FALSE(*closed);
  EXPECT_TRUE(client->closed());
  struct stat info {};
  EXPECT_NE(::lstat(UnixSocketIPCServerConstant::Path().c_str(), &info), 0);
  EXPECT_FALSE(client::SocketClient::connect(UnixSocketIPCServerConstant::Path()));
  EXPECT_TRUE(server->connections().empty());
  EXPECT_GE(initiator->stops.load(), 1);
  EXPECT_EQ(log.count("Error reported"), 0u);
  EXPECT_GT(log.count("Shutdown in progress..."), 0u);
}

// Where the socket goes: a socket an earlier run left is replaced; anything
// else there, or a folder that is a link, stops the daemon from starting.
class SocketPlaceTest : public ::testing::Test {
 protected:
  platform::Result<std::shared_ptr<UnixSocketIPCServer>> make() {
    UnixSocketIPCServer::Options options;
    options.agentLink = UserAgentManger::make(std::chrono::milliseconds(200));
    options.exitProcess = [](int) {};
    return UnixSocketIPCServer::make(UnixSocketIPCServer::Factories::standIns(), std::move(options));
  }

  test::TempRoot root;
  test::LogCapture log;
};

TEST_F(SocketPlaceTest, ASocketLeftByAnEarlierRunIsReplaced) {
  root.makeDirectory("/Library/Application Support/div.ez.iru");
  const std::string path = UnixSocketIPCServerConstant::Path();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);  // the file stays, as after a crash

  auto server = make();
  ASSERT_TRUE(server) << server.error().localizedDescription();
  (*server)->start();
  ASSERT_TRUE(log.waitForLine("Listening on path"));
  (*server)->dataSyncQueue()->sync([] {});
  auto client = client::SocketClient::connect(path);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->send(test::request("getCleaningHistory")));
  auto reply = (*client)->receive(60s);
  ASSERT_TRUE(reply && *reply);
  (*server)->dataSyncQueue()->sync([&] { (*server)->shutdownServer(); });
}

// (A product folder that is a link never gets this far: the stores in it
// refuse to open, which stops the process.)
TEST_F(SocketPlaceTest, SomethingElseInTheSocketsPlaceStopsTheStartAndStays) {
  root.writeFile("/Library/Application Support/div.ez.iru/div.ez.iru.socket", "not a socket");
  EXPECT_FALSE(make());
  EXPECT_EQ(log.count("remove socket file"), 1u);
  struct stat info {};
  ASSERT_EQ(::lstat(UnixSocketIPCServerConstant::Path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

}  // namespace
}  // namespace vozi
