#pragma once

#include <string>
#include <string_view>

namespace vozi {

// The pieces of one log line:
//   "<" + thread label + "> " + source file + " " + function + "[" + line + "]: " + message
class LogLine {
 public:
  // "Main" on the process's main thread, else "BG".
  static std::string threadLabel();

  // The last path component of a source path read as a URL string, with
  // percent escapes decoded; "Unknown file" when the text is not a valid URL
  // string (a blank, say) or has no last component.
  static std::string sourceFileName(std::string_view path);

  // The bare name of a function plus "()", from a compiler's full signature
  // (std::source_location::function_name()): "void vozi::Server::run(int)"
  // gives "run()". A lambda is named after the function it was written in. A
  // text that is not a signature is returned with "()" added.
  static std::string functionName(std::string_view signature);

  // The message in double quotes with backslash escapes, so that a message
  // never spans more than one line of the log:
  //   \ " '  -> \\ \" \'      NUL tab LF CR -> \0 \t \n \r
  //   other controls and DEL -> \u{XX} (two upper-case hex digits)
  static std::string debugRendering(std::string_view message);

  // The text with every e-mail address in it (local@domain.tld) replaced by
  // "<e-mail>": what a user or a client sends is logged without them.
  static std::string withoutEmailAddresses(std::string_view text);

  // Pieces 1 to 9: everything before the message.
  static std::string prefix(std::string_view threadLabel, std::string_view fileName, std::string_view function,
                            unsigned long line);
};

}  // namespace vozi
