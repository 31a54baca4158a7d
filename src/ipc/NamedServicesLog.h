#pragma once

namespace vozi {

// Sends the named-services transport's log lines (refused peers, refused
// calls, oversized frames, service-folder problems) to the daemon's log.
// Peers can make the transport write lines, so at most
// LogRateLimiter::defaultLinesPerSecond of them reach the log each second;
// the rest are counted in a "Named services: <N> lines suppressed" line.
//
// The daemon calls install() at start-up, before it listens; tests may call
// it too. Any number of times, from any thread.
class NamedServicesLog {
 public:
  static void install();
};

}  // namespace vozi
