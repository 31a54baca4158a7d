#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/LogRateLimiter.h"
#include "ipc/socket/Socket.h"

namespace vozi {

// Decides which accepted clients of the daemon's socket get a connection, and
// keeps account of what the admitted ones hold, per peer uid, so that one
// local user's flood of connections or of unfinished requests can neither
// exhaust the daemon's memory and threads nor lock the UI out.
//
// Peers are counted by the uid the kernel recorded for the connection
// (SO_PEERCRED). Root, the daemon's own uid and the session user (set by the
// owner once it knows it) are privileged: beyond the pool that all other
// uids share, part of every total is kept for them.
//
// The accept loop calls admit() for each accepted socket before it makes a
// connection: a refusal is logged (rate-limited per uid) and the caller
// closes the socket without starting anything. An admitted connection holds
// its Ticket, tells it how many bytes of unfinished requests it holds as
// that changes, and releases it when it stops. Everything here is safe to
// call from any thread.
class ConnectionAdmission : public std::enable_shared_from_this<ConnectionAdmission> {
 public:
  // The caps. Requests on the socket are small (at most
  // IPCConnection::maxRequestLength, 1 MiB, each) and the UI holds a handful
  // of connections, so one uid's share is generous for it and small for the
  // machine.
  struct Limits {
    // Open connections of one uid (each costs two threads).
    std::size_t connectionsPerUid = 32;
    // Open connections of all uids that are not privileged, together.
    std::size_t ordinaryConnections = 64;
    // Open connections of everyone: what lies above ordinaryConnections is
    // kept for privileged peers.
    std::size_t connections = 96;
    // Bytes of unfinished requests held by one uid's connections.
    std::size_t heldBytesPerUid = 16 * 1024 * 1024;
    // The same for all uids that are not privileged, together.
    std::size_t ordinaryHeldBytes = 32 * 1024 * 1024;
    // The same for everyone; what lies above ordinaryHeldBytes is kept for
    // privileged peers.
    std::size_t heldBytes = 48 * 1024 * 1024;
    // Log lines the connections of one uid, and its refusals, may write per
    // second.
    std::size_t logLinesPerSecond = LogRateLimiter::defaultLinesPerSecond;
  };

  // Who the peer of an accepted socket is; none when that cannot be told
  // (such a peer is refused). The default asks the socket (SO_PEERCRED).
  using UidSource = std::function<std::optional<uid_t>(const Socket&)>;

  // One admitted connection's place in the account. Released when the
  // connection calls release() or when the ticket goes, whichever is first.
  class Ticket {
   public:
    ~Ticket();
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    uid_t uid() const { return uid_; }
    // Sets the bytes of unfinished requests the connection holds now. A rise
    // that would take its uid, its pool or everyone past a cap is refused:
    // false, and the connection's bytes no longer count (the caller drops
    // the connection). Falling always succeeds, and so does anything after
    // release(): a stopped connection's last read no longer counts.
    bool hold(std::size_t bytes);
    // Gives back the connection's place and bytes; later calls do nothing.
    void release();
    // The log budget shared by every connection of this uid.
    const std::shared_ptr<LogRateLimiter>& logBudget() const { return logBudget_; }

   private:
    friend class ConnectionAdmission;
    Ticket(std::shared_ptr<ConnectionAdmission> admission, uid_t uid, bool privileged,
           std::shared_ptr<LogRateLimiter> logBudget);

    std::shared_ptr<ConnectionAdmission> admission_;
    uid_t uid_;
    bool privileged_;  // as decided at admission, so the account stays balanced
    std::shared_ptr<LogRateLimiter> logBudget_;
    std::size_t held_ = 0;   // guarded by the admission's mutex
    bool released_ = false;  // guarded by the admission's mutex
  };

  struct Usage {
    std::size_t connections = 0;
    std::size_t heldBytes = 0;
  };

  // With the stated caps, peers told by SO_PEERCRED and the steady clock.
  static std::shared_ptr<ConnectionAdmission> make();
  static std::shared_ptr<ConnectionAdmission> make(Limits limits, UidSource uidSource = {},
                                                   LogRateLimiter::Clock clock = {});
  ConnectionAdmission(const ConnectionAdmission&) = delete;
  ConnectionAdmission& operator=(const ConnectionAdmission&) = delete;

  const Limits& limits() const { return limits_; }
  // The session user's uid (the uid of the connected agent), or none.
  void setSessionUid(std::optional<uid_t> uid);
  // Root, the daemon's own uid, or the session user.
  bool isPrivileged(uid_t uid) const;

  // A ticket for the client on `socket`, or nullptr when it is refused.
  std::shared_ptr<Ticket> admit(const Socket& socket);
  // What one uid holds now, and what everyone does.
  Usage usage(uid_t uid) const;
  Usage usage() const;

 private:
  struct Account {
    Usage usage;
    std::shared_ptr<LogRateLimiter> logBudget;
  };

  ConnectionAdmission(Limits limits, UidSource uidSource, LogRateLimiter::Clock clock);

  Account& accountLocked(uid_t uid);
  bool isPrivilegedLocked(uid_t uid) const;
  // Why a connection of `uid` cannot be admitted now, or none.
  const char* refusalLocked(uid_t uid, bool privileged);
  // The account of the uid, everyone's, and the ordinary pool's unless the
  // peer is privileged: the usages a connection of `uid` counts in.
  std::vector<Usage*> usagesLocked(uid_t uid, bool privileged);
  bool holdLocked(Ticket& ticket, std::size_t bytes);
  void releaseLocked(Ticket& ticket);

  const Limits limits_;
  const UidSource uidSource_;
  const LogRateLimiter::Clock clock_;
  // Refusals of peers whose uid cannot be told share one budget.
  LogRateLimiter unknownPeerBudget_;

  mutable std::mutex mutex_;
  std::optional<uid_t> sessionUid_;
  std::map<uid_t, Account> accounts_;  // kept when empty, so a uid's log budget outlives reconnecting
  Usage ordinary_;
  Usage everyone_;
};

}  // namespace vozi
