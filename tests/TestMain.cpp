// The entry point of every test executable. A test that forgets to set up its
// own temporary root must never reach the machine's real "/Library" or home
// folders, so the whole run starts under a throwaway root of its own.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::string fallback;
  const char* root = std::getenv("VOZI_ROOT");
  if (!root || std::string(root).find_first_not_of('/') == std::string::npos) {
    fallback = (std::filesystem::temp_directory_path() / "vozi-unrooted-XXXXXX").string();
    if (!::mkdtemp(fallback.data())) return 2;
    ::setenv("VOZI_ROOT", fallback.c_str(), 1);
  }
  const int status = RUN_ALL_TESTS();
  if (!fallback.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(fallback, ignored);
  }
  return status;
}
