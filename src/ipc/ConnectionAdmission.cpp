#include "ipc/ConnectionAdmission.h"

#include <string>
#include <vector>

#include "common/MLog.h"
#include "ipc/PeerAccessRule.h"

namespace vozi {

namespace {

std::optional<uid_t> peerUid(const Socket& socket) {
  auto credentials = socket.peerCredentials();
  if (!credentials) return std::nullopt;
  return credentials->uid;
}

}  // namespace

std::shared_ptr<ConnectionAdmission> ConnectionAdmission::make() { return make(Limits{}); }

std::shared_ptr<ConnectionAdmission> ConnectionAdmission::make(Limits limits, UidSource uidSource,
                                                               LogRateLimiter::Clock clock) {
  return std::shared_ptr<ConnectionAdmission>(
      new ConnectionAdmission(limits, std::move(uidSource), std::move(clock)));
}

ConnectionAdmission::ConnectionAdmission(Limits limits, UidSource uidSource, LogRateLimiter::Clock clock)
    : limits_(limits),
      uidSource_(uidSource ? std::move(uidSource) : UidSource(peerUid)),
      clock_(std::move(clock)),
      unknownPeerBudget_("peers of unknown uid", limits.logLinesPerSecond, clock_) {}

void ConnectionAdmission::setSessionUid(std::optional<uid_t> uid) {
  std::lock_guard lock(mutex_);
  sessionUid_ = uid;
}

bool ConnectionAdmission::isPrivileged(uid_t uid) const {
  std::lock_guard lock(mutex_);
  return isPrivilegedLocked(uid);
}

bool ConnectionAdmission::isPrivilegedLocked(uid_t uid) const {
  return PeerAccessRule::isPrivileged(uid, sessionUid_);
}

ConnectionAdmission::Account& ConnectionAdmission::accountLocked(uid_t uid) {
  auto [it, added] = accounts_.try_emplace(uid);
  if (added)
    it->second.logBudget =
        std::make_shared<LogRateLimiter>("uid " + std::to_string(uid), limits_.logLinesPerSecond, clock_);
  return it->second;
}

const char* ConnectionAdmission::refusalLocked(uid_t uid, bool privileged) {
  const Usage& own = accountLocked(uid).usage;
  if (own.connections >= limits_.connectionsPerUid) return "the uid has as many connections as it may";
  if (own.heldBytes >= limits_.heldBytesPerUid) return "the uid's unfinished requests hold as much as they may";
  if (everyone_.connections >= limits_.connections) return "the daemon has as many connections as it may";
  if (everyone_.heldBytes >= limits_.heldBytes) return "unfinished requests hold as much as they may";
  if (!privileged) {
    if (ordinary_.connections >= limits_.ordinaryConnections)
      return "the other users have as many connections as they may";
    if (ordinary_.heldBytes >= limits_.ordinaryHeldBytes)
      return "the other users' unfinished requests hold as much as they may";
  }
  return nullptr;
}

std::shared_ptr<ConnectionAdmission::Ticket> ConnectionAdmission::admit(const Socket& socket) {
  const std::optional<uid_t> uid = uidSource_(socket);
  if (!uid) {
    if (unknownPeerBudget_.allow()) MLogf("Refused a connection: the peer's uid cannot be told");
    return nullptr;
  }
  std::shared_ptr<LogRateLimiter> budget;
  const char* refusal = nullptr;
  bool privileged = false;
  {
    std::lock_guard lock(mutex_);
    privileged = isPrivilegedLocked(*uid);
    budget = accountLocked(*uid).logBudget;
    refusal = refusalLocked(*uid, privileged);
    if (!refusal)
      for (Usage* usage : usagesLocked(*uid, privileged)) ++usage->connections;
  }
  if (refusal) {
    if (budget->allow()) MLogf("Refused a connection from uid %@: %@", *uid, refusal);
    return nullptr;
  }
  return std::shared_ptr<Ticket>(new Ticket(shared_from_this(), *uid, privileged, std::move(budget)));
}

ConnectionAdmission::Usage ConnectionAdmission::usage(uid_t uid) const {
  std::lock_guard lock(mutex_);
  auto it = accounts_.find(uid);
  return it == accounts_.end() ? Usage{} : it->second.usage;
}

ConnectionAdmission::Usage ConnectionAdmission::usage() const {
  std::lock_guard lock(mutex_);
  return everyone_;
}

std::vector<ConnectionAdmission::Usage*> ConnectionAdmission::usagesLocked(uid_t uid, bool privileged) {
  std::vector<Usage*> usages{&accountLocked(uid).usage, &everyone_};
  if (!privileged) usages.push_back(&ordinary_);
  return usages;
}

bool ConnectionAdmission::holdLocked(Ticket& ticket, std::size_t bytes) {
  if (ticket.released_) return true;
  bool fits = true;
  if (bytes > ticket.held_) {
    const std::size_t rise = bytes - ticket.held_;
    fits = accountLocked(ticket.uid_).usage.heldBytes + rise <= limits_.heldBytesPerUid &&
           everyone_.heldBytes + rise <= limits_.heldBytes &&
           (ticket.privileged_ || ordinary_.heldBytes + rise <= limits_.ordinaryHeldBytes);
    if (!fits) bytes = 0;  // refused: what the connection held stops counting at once
  }
  for (Usage* usage : usagesLocked(ticket.uid_, ticket.privileged_))
    usage->heldBytes = usage->heldBytes - ticket.held_ + bytes;
  ticket.held_ = bytes;
  return fits;
}

void ConnectionAdmission::releaseLocked(Ticket& ticket) {
  if (ticket.released_) return;
  holdLocked(ticket, 0);
  ticket.released_ = true;
  for (Usage* usage : usagesLocked(ticket.uid_, ticket.privileged_)) --usage->connections;
}

ConnectionAdmission::Ticket::Ticket(std::shared_ptr<ConnectionAdmission> admission, uid_t uid, bool privileged,
                                    std::shared_ptr<LogRateLimiter> logBudget)
    : admission_(std::move(admission)), uid_(uid), privileged_(privileged), logBudget_(std::move(logBudget)) {}

ConnectionAdmission::Ticket::~Ticket() { release(); }

bool ConnectionAdmission::Ticket::hold(std::size_t bytes) {
  std::lock_guard lock(admission_->mutex_);
  return admission_->holdLocked(*this, bytes);
}

void ConnectionAdmission::Ticket::release() {
  std::lock_guard lock(admission_->mutex_);
  admission_->releaseLocked(*this);
}

}  // namespace vozi
