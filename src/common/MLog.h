#pragma once

// The logging entry points. Each call writes one line
//   "<Main|BG> <file> <function>()[<line>]: <message>"
// through the logger's queue, and never waits or fails.
//
//   MLog(message)              message form: any text; written in double
//                              quotes with backslash escapes, so it stays on
//                              one line.
//   MLogf(format, args...)     format form: printf-style with "%@" for any
//                              argument's description (see StringFormat.h);
//                              the result is written as it is.
//
// The call site's file, function and line are passed automatically.

#include <source_location>

#include "common/Logger.h"
#include "common/StringFormat.h"

#define MLog(message) ::vozi::MLogMessage((message), std::source_location::current())
#define MLogf(format, ...) \
  ::vozi::MLogFormatted(::vozi::StringFormat::formatted((format)__VA_OPT__(, ) __VA_ARGS__), \
                        std::source_location::current())
