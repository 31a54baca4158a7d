// Feeds arbitrary bytes, cut into arbitrary reads, to the socket connection's
// framing and request decoding, and checks what comes out against a plain
// model of the stream, taken line by line: each object that closes on its
// line is a piece, the rest of a line from any other byte (or from an object
// the line does not close) is one piece; the same however the stream is cut.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ipc/IPCMessageCodec.h"
#include "ipc/JSONLineSplitter.h"
#include "platform/Json.h"

using vozi::IPCMessageCodec;
using vozi::JSONLineSplitter;
using vozi::fuzz::check;
using vozi::platform::Value;

namespace {

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Where the object opening at line[0] closes on its line, if it does.
std::optional<std::size_t> objectEnd(std::string_view line) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (inString) {
      if (c == '\\') ++at;  // the escaped byte cannot end the string
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return at + 1;
    }
  }
  return std::nullopt;
}

// The pieces of one line, without its line feed.
void linePieces(std::string_view line, std::vector<std::string>& pieces) {
  for (;;) {
    while (!line.empty() && isWhitespace(line.front())) line.remove_prefix(1);
    if (line.empty()) return;
    const auto end = line.front() == '{' ? objectEnd(line) : std::nullopt;
    if (!end) {
      pieces.emplace_back(line);
      return;
    }
    pieces.emplace_back(line.substr(0, *end));
    line.remove_prefix(*end);
  }
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

  // The model: the pieces of every line, up to the first one longer than
  // the limit, which ends the stream.
  std::vector<std::string> model;
  for (std::size_t start = 0; start <= body.size();) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    linePieces(body.substr(start, end - start), model);
    start = end + 1;
  }
  bool tooLong = false;
  for (std::size_t i = 0; i < model.size(); ++i) {
    if (model[i].size() > limit) {
      model.resize(i);
      tooLong = true;
      break;
    }
  }
  check(whole.overflowed == tooLong, "overflow does not match the longest piece");
  check(whole.pieces == model, "one read does not give the pieces of the model");
  check(cut.overflowed == whole.overflowed, "cutting the stream changed whether it overflows");
  check(cut.pieces == whole.pieces, "cutting the stream changed its pieces");

  for (const auto& piece : whole.pieces) decode(piece);
  for (const auto& piece : cut.pieces) decode(piece);
  return 0;
}
