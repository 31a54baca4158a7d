// Feeds arbitrary bytes, cut into arbitrary reads, to the socket connection's
// framing and request decoding, and checks what comes out against a plain
// model of the stream: one piece per non-blank line, however it was cut.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/IPCMessageCodec.h"
#include "ipc/JSONLineSplitter.h"
#include "platform/Json.h"

using vozi::IPCMessageCodec;
using vozi::JSONLineSplitter;
using vozi::platform::Value;

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}
void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

std::string withoutWhitespace(const std::vector<std::string>& pieces) {
  std::string out;
  for (const auto& piece : pieces)
    for (char c : piece)
      if (c != ' ' && c != '\t' && c != '\r') out.push_back(c);
  return out;
}

struct Outcome {
  std::vector<std::string> pieces;  // handed out, then the tail at the end
  bool overflowed = false;
};

Outcome run(std::string_view body, std::size_t limit, const std::vector<std::size_t>& cuts) {
  JSONLineSplitter splitter(limit);
  Outcome outcome;
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    if (!splitter.append(body.substr(at, cut - at), outcome.pieces)) {
      outcome.overflowed = true;
      return outcome;
    }
    at = cut;
    // What is held back is the end of what came, and never a whole request:
    // a request must not wait for a line feed that may never come.
    check(splitter.pendingLength() <= at, "more is held than came");
    const std::string_view held = body.substr(at - splitter.pendingLength(), splitter.pendingLength());
    check(held.find('\n') == std::string_view::npos, "a held line holds a line feed");
    check(!IPCMessageCodec::decode(held).ok(), "a whole request is held back");
  }
  if (!splitter.append(body.substr(at), outcome.pieces)) {
    outcome.overflowed = true;
    return outcome;
  }
  if (auto tail = splitter.finish()) outcome.pieces.push_back(*tail);
  return outcome;
}

void checkPieces(const Outcome& outcome, std::size_t limit) {
  for (const auto& piece : outcome.pieces) {
    check(piece.find('\n') == std::string::npos, "a piece holds a line feed");
    check(piece.size() <= limit, "a piece is longer than the limit");
    check(!isBlank(piece), "a blank piece was handed out");
  }
}

void decode(const std::string& piece) {
  auto request = IPCMessageCodec::decode(piece);
  if (!request) return;
  // Whatever was accepted can be written back, and reads back the same.
  auto json = IPCMessageCodec::encode(*request);
  check(json.ok(), "an accepted request cannot be written back");
  check(json->find('\n') == std::string::npos, "a reply spans lines");
  auto again = IPCMessageCodec::decode(*json);
  check(again.ok(), "a written reply does not read back");
  check(*again == *request, "a request changed on its way through JSON");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First byte: the line limit (small ones reach the overflow path); second:
  // the seed of the read boundaries.
  const std::size_t limit = data[0] < 128 ? 1 + data[0] % 64 : JSONLineSplitter::defaultMaxLineLength;
  std::uint32_t seed = data[1] | 0x100u;
  const std::string_view body(reinterpret_cast<const char*>(data + 2), size - 2);

  std::vector<std::size_t> cuts;
  for (std::size_t at = 0;;) {
    seed = seed * 1103515245u + 12345u;
    at += (seed >> 16) % 9;  // reads of 0 to 8 bytes
    if (at >= body.size()) break;
    cuts.push_back(at);
  }

  const Outcome whole = run(body, limit, {});
  const Outcome cut = run(body, limit, cuts);
  checkPieces(whole, limit);
  checkPieces(cut, limit);

  // The model: the non-blank lines, unless one is longer than the limit.
  std::vector<std::string> lines;
  bool tooLong = false;
  for (std::size_t start = 0; start <= body.size();) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view line = body.substr(start, end - start);
    if (line.size() > limit) {
      tooLong = true;
      break;
    }
    if (!isBlank(line)) lines.emplace_back(line);
    start = end + 1;
  }
  check(whole.overflowed == tooLong, "overflow does not match the longest line");
  if (!whole.overflowed) {
    check(whole.pieces == lines, "one read does not give the lines of the stream");
    // However the stream is cut, the same bytes come out, in order: a whole
    // object may be handed out before the rest of its line, nothing more.
    check(!cut.overflowed, "cutting the stream made a line overflow");
    check(withoutWhitespace(cut.pieces) == withoutWhitespace(whole.pieces), "cutting the stream changed its pieces");
  }

  for (const auto& piece : whole.pieces) decode(piece);
  for (const auto& piece : cut.pieces) decode(piece);
  return 0;
}
