#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SocketTestSupport.h"
#include "ipc/ConnectionAdmission.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

constexpr uid_t kSession = 501;
constexpr uid_t kAlice = 1001;
constexpr uid_t kBob = 1002;
constexpr uid_t kCarol = 1003;

// Small caps, so that each one is reached in a few steps.
ConnectionAdmission::Limits smallLimits() {
  ConnectionAdmission::Limits limits;
  limits.connectionsPerUid = 2;
  limits.ordinaryConnections = 3;
  limits.connections = 5;
  limits.heldBytesPerUid = 100;
  limits.ordinaryHeldBytes = 150;
  limits.heldBytes = 250;
  return limits;
}

// The uid the next admitted socket belongs to is whatever the step says; the
// socket itself is only a stand-in.
class Admitting {
 public:
  explicit Admitting(ConnectionAdmission::Limits limits, LogRateLimiter::Clock clock = {})
      : admission_(ConnectionAdmission::make(limits, [this](const Socket&) { return next_; }, std::move(clock))),
        socket_(*Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix)) {
    admission_->setSessionUid(kSession);
  }
  std::shared_ptr<ConnectionAdmission::Ticket> admit(std::optional<uid_t> uid) {
    next_ = uid;
    return admission_->admit(*socket_);
  }
  ConnectionAdmission& admission() { return *admission_; }

 private:
  std::shared_ptr<ConnectionAdmission> admission_;
  Socket::Ptr socket_;
  std::optional<uid_t> next_;
};

struct Step {
  enum Kind { admit, hold, release, session } kind;
  uid_t uid = 0;              // admit, session
  std::size_t ticket = 0;     // hold, release: the index among the admitted
  std::size_t bytes = 0;      // hold
  bool expected = true;       // admit, hold
};

Step admit(uid_t uid, bool expected) { return {Step::admit, uid, 0, 0, expected}; }
Step hold(std::size_t ticket, std::size_t bytes, bool expected) { return {Step::hold, 0, ticket, bytes, expected}; }
Step release(std::size_t ticket) { return {Step::release, 0, ticket, 0, true}; }
Step session(uid_t uid) { return {Step::session, uid, 0, 0, true}; }

struct Case {
  const char* name;
  std::vector<Step> steps;
  uid_t checked;            // the uid whose usage is checked at the end
  std::size_t connections;  // its open connections then
  std::size_t heldBytes;    // and the bytes they hold
};

TEST(ConnectionAdmissionTest, CapsConnectionsAndHeldBytesPerUidAndKeepsRoomForPrivilegedPeers) {
  const Case cases[] = {
      {"one uid stops at its own connection cap", {admit(kAlice, true), admit(kAlice, true), admit(kAlice, false)},
       kAlice, 2, 0},
      {"ordinary uids share one pool",
       {admit(kAlice, true), admit(kAlice, true), admit(kBob, true), admit(kCarol, false)}, kCarol, 0, 0},
      {"root and the session user use the room kept for them",
       {admit(kAlice, true), admit(kAlice, true), admit(kBob, true), admit(0, true), admit(kSession, true)},
       kSession, 1, 0},
      {"the whole total holds privileged peers too",
       {admit(kAlice, true), admit(kAlice, true), admit(kBob, true), admit(0, true), admit(kSession, true),
        admit(0, false)},
       0, 1, 0},
      {"a released place can be taken again",
       {admit(kAlice, true), admit(kAlice, true), release(0), admit(kAlice, true), admit(kAlice, false)}, kAlice, 2,
       0},
      {"one uid's bytes stop at its cap, and a refused rise stops counting",
       {admit(kAlice, true), admit(kAlice, true), hold(0, 60, true), hold(1, 40, true), hold(1, 41, false)}, kAlice,
       2, 60},
      {"falling is always allowed", {admit(kAlice, true), hold(0, 100, true), hold(0, 10, true)}, kAlice, 1, 10},
      {"a uid whose requests hold its cap gets no new connection",
       {admit(kAlice, true), hold(0, 100, true), admit(kAlice, false)}, kAlice, 1, 100},
      {"ordinary uids share one byte pool",
       {admit(kAlice, true), admit(kBob, true), admit(kCarol, true), hold(0, 100, true), hold(1, 50, true),
        hold(2, 1, false)},
       kCarol, 1, 0},
      {"privileged peers hold bytes beyond the pool",
       {admit(kAlice, true), admit(kBob, true), admit(0, true), hold(0, 100, true), hold(1, 50, true),
        hold(2, 100, true)},
       0, 1, 100},
      {"a connection admitted before its uid became the session user stays in the pool",
       {admit(kAlice, true), admit(kBob, true), session(kAlice), admit(kCarol, true), admit(kAlice, true),
        release(0), admit(kCarol, true)},
       kCarol, 2, 0},
      {"a stopped connection's last read is not counted", {admit(kAlice, true), release(0), hold(0, 1000, true)},
       kAlice, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::LogCapture log;
    Admitting admitting(smallLimits());
    std::vector<std::shared_ptr<ConnectionAdmission::Ticket>> tickets;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      switch (step.kind) {
        case Step::admit: {
          auto ticket = admitting.admit(step.uid);
          EXPECT_EQ(ticket != nullptr, step.expected);
          if (ticket) {
            EXPECT_EQ(ticket->uid(), step.uid);
            tickets.push_back(std::move(ticket));
          }
          break;
        }
        case Step::hold:
          ASSERT_LT(step.ticket, tickets.size());
          EXPECT_EQ(tickets[step.ticket]->hold(step.bytes), step.expected);
          break;
        case Step::release:
          ASSERT_LT(step.ticket, tickets.size());
          tickets[step.ticket]->release();
          break;
        case Step::session:
          admitting.admission().setSessionUid(step.uid);
          break;
      }
    }
    const auto usage = admitting.admission().usage(c.checked);
    EXPECT_EQ(usage.connections, c.connections);
    EXPECT_EQ(usage.heldBytes, c.heldBytes);
    // Every refusal names the uid on a log line.
    std::size_t refusals = 0;
    for (const auto& step : c.steps) refusals += step.kind == Step::admit && !step.expected;
    EXPECT_EQ(log.count("Refused a connection from uid "), refusals);
    // Once every ticket has gone, nothing is counted any more: the account
    // balances whatever happened in between.
    tickets.clear();
    EXPECT_EQ(admitting.admission().usage().connections, 0u);
    EXPECT_EQ(admitting.admission().usage().heldBytes, 0u);
    for (uid_t uid : {kAlice, kBob, kCarol, kSession, uid_t{0}}) {
      EXPECT_EQ(admitting.admission().usage(uid).connections, 0u) << uid;
      EXPECT_EQ(admitting.admission().usage(uid).heldBytes, 0u) << uid;
    }
  }
}

TEST(ConnectionAdmissionTest, APeerWhoseUidCannotBeToldIsRefused) {
  test::LogCapture log;
  Admitting admitting(smallLimits());
  EXPECT_EQ(admitting.admit(std::nullopt), nullptr);
  EXPECT_EQ(log.count("Refused a connection: the peer's uid cannot be told"), 1u);
  EXPECT_EQ(admitting.admission().usage().connections, 0u);
}

TEST(ConnectionAdmissionTest, RefusalsOfAFloodWriteAFewLinesAndThenTheirCount) {
  test::LogCapture log;
  auto now = std::chrono::steady_clock::time_point{};
  auto limits = smallLimits();
  Admitting admitting(limits, [&] { return now; });
  std::vector<std::shared_ptr<ConnectionAdmission::Ticket>> held{admitting.admit(kAlice), admitting.admit(kAlice)};
  for (int i = 0; i < 10'000; ++i) ASSERT_EQ(admitting.admit(kAlice), nullptr);
  EXPECT_EQ(log.count("Refused a connection from uid 1001"), limits.logLinesPerSecond);
  // Another uid has a budget of its own.
  EXPECT_EQ(admitting.admit(kBob) != nullptr, true);
  now += std::chrono::seconds(1);
  EXPECT_EQ(admitting.admit(kAlice), nullptr);
  const std::string count = "uid 1001: " + std::to_string(10'000 - limits.logLinesPerSecond) + " lines suppressed";
  EXPECT_EQ(log.count(count), 1u);
  EXPECT_EQ(log.count("Refused a connection from uid 1001"), limits.logLinesPerSecond + 1);
}

TEST(ConnectionAdmissionTest, ByDefaultThePeerIsToldByTheCredentialsOfItsSocket) {
  test::TempRoot root;
  auto local = sockettest::connectUnix(root.path() + "/admission.socket");
  ASSERT_TRUE(local.server);
  auto admission = ConnectionAdmission::make();
  auto ticket = admission->admit(*local.server);
  ASSERT_NE(ticket, nullptr);
  EXPECT_EQ(ticket->uid(), ::geteuid());
  // The daemon's own uid is privileged whoever it is.
  EXPECT_TRUE(admission->isPrivileged(::geteuid()));
  EXPECT_EQ(admission->usage(::geteuid()).connections, 1u);

  // A TCP peer has no credentials to tell.
  auto tcp = sockettest::connectTcp();
  ASSERT_TRUE(tcp.server);
  EXPECT_EQ(admission->admit(*tcp.server), nullptr);
}

TEST(ConnectionAdmissionTest, RootAndTheSessionUserArePrivileged) {
  Admitting admitting(smallLimits());
  auto& admission = admitting.admission();
  EXPECT_TRUE(admission.isPrivileged(0));
  EXPECT_TRUE(admission.isPrivileged(kSession));
  EXPECT_FALSE(admission.isPrivileged(kAlice));
  admission.setSessionUid(kAlice);
  EXPECT_TRUE(admission.isPrivileged(kAlice));
  EXPECT_FALSE(admission.isPrivileged(kSession));
  admission.setSessionUid(std::nullopt);
  EXPECT_FALSE(admission.isPrivileged(kAlice));
}

}  // namespace
}  // namespace vozi
