#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vozi {

// Cuts the byte stream of a socket connection into request pieces: one piece
// per line ended by "\n". A request may arrive over several reads, so the
// unterminated tail is kept and joined with the next bytes; a tail that
// already holds one whole JSON object (the peer sent it without a line feed)
// is handed out at once. Blank lines are skipped. Pieces are raw bytes; the
// caller decodes them.
//
// The splitter tracks the nesting of the current line as it goes, so each
// byte is looked at once however the stream is cut. A line longer than the
// limit makes the splitter refuse all further input.
class JSONLineSplitter {
 public:
  static constexpr std::size_t defaultMaxLineLength = 16 * 1024 * 1024;

  explicit JSONLineSplitter(std::size_t maxLineLength = defaultMaxLineLength);

  // Adds the bytes of one read and appends every piece now complete to
  // `pieces`, in stream order. Returns false when a line grows past the
  // limit: the pieces before it are in `pieces`, the overlong line and all
  // later input are dropped.
  bool append(std::string_view bytes, std::vector<std::string>& pieces);

  // End of the stream: the unterminated tail that was never handed out, if
  // it is not blank. The splitter starts afresh afterwards.
  std::optional<std::string> finish();

  // Bytes held of the current, unfinished line.
  std::size_t pendingLength() const { return pending_.size(); }
  bool overflowed() const { return overflowed_; }
  std::size_t maxLineLength() const { return maxLineLength_; }

 private:
  // What the current line looks like so far.
  enum class Shape {
    blank,   // only JSON whitespace
    object,  // inside a top-level object
    closed,  // a whole top-level object, then only whitespace
    other,   // anything else: handed out at the line feed for the decoder to refuse
  };

  void scan(std::string_view segment);
  void emit(std::vector<std::string>& pieces);
  void reset();

  std::size_t maxLineLength_;
  std::string pending_;
  Shape shape_ = Shape::blank;
  std::size_t depth_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
  bool overflowed_ = false;
};

}  // namespace vozi
