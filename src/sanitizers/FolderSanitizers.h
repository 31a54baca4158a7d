#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sanitizers/Sanitizer.h"

namespace vozi {

// The folder kinds of the synchronous family: the base sanitizer over the
// folders of one kind. Those of a user are none for an empty name.

// The machine's caches ("/Library/Caches").
class SystemCacheSanitizer : public Sanitizer {
 public:
  SystemCacheSanitizer();
  std::string name() const override { return "SystemCacheSanitizer"; }
};

// The user's "~/tmp", then the machine's temporary folder ("/tmp" as the
// tree's layout link leads).
class TempFilesSanitizer : public Sanitizer {
 public:
  static std::unique_ptr<TempFilesSanitizer> make(const std::string& userName);
  std::string name() const override { return "TempFilesSanitizer"; }

  using Sanitizer::Sanitizer;
};

// "/var/log", then "/Library/logs".
class SystemLogsSanitizer : public Sanitizer {
 public:
  SystemLogsSanitizer();
  std::string name() const override { return "SystemLogsSanitizer"; }
};

// The log folders of the user's containers, then the user's "Library/Logs".
class UserLogsSanitizer : public Sanitizer {
 public:
  static std::unique_ptr<UserLogsSanitizer> make(const std::string& userName);
  std::string name() const override { return "UserLogsSanitizer"; }

  using Sanitizer::Sanitizer;
};

// The cache folders of the user's containers and the user's caches.
class UserCacheSanitizer : public Sanitizer {
 public:
  static std::unique_ptr<UserCacheSanitizer> make(const std::string& userName);
  std::string name() const override { return "UserCacheSanitizer"; }

  using Sanitizer::Sanitizer;
};

// Each pictures folder of the user with "iPod Photo Cache" appended.
class PhotosCacheSanitizer : public Sanitizer {
 public:
  static std::unique_ptr<PhotosCacheSanitizer> make(const std::string& userName);
  std::string name() const override { return "PhotosCacheSanitizer"; }

  using Sanitizer::Sanitizer;
};

}  // namespace vozi
