#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Bundle.h"
#include "platform/UniformType.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

TEST(UniformTypeTest, ConformanceFollowsParents) {
  using platform::UniformType;
  const struct {
    const char* type;
    const char* parent;
    bool expected;
  } cases[] = {
      {"public.jpeg", "public.image", true},
      {"public.jpeg", "public.content", true},
      {"public.jpeg", "public.item", true},
      {"PUBLIC.JPEG", "public.Image", true},
      {"public.image", "public.image", true},
      {"public.image", "public.jpeg", false},
      {"com.sony.arw-raw-image", "public.image", true},
      {"com.apple.m4a-audio", "public.audio", true},
      {"com.apple.m4a-audio", "public.movie", false},
      {"public.mpeg-4", "public.movie", true},
      {"public.mpeg-4", "public.audio", false},
      {"com.adobe.pdf", "public.composite-content", true},
      {"com.adobe.pdf", "public.archive", false},
      {"org.openxmlformats.wordprocessingml.document", "public.content", true},
      {"org.openxmlformats.wordprocessingml.document", "public.archive", true},
      {"org.gnu.gnu-zip-tar-archive", "public.archive", true},
      {"public.iso-image", "public.archive", true},
      {"public.plain-text", "public.content", true},
      {"public.zip-archive", "public.content", false},
      {"dyn.ext.xyz", "public.data", true},
      {"dyn.ext.xyz", "public.content", false},
      {"unknown.type", "public.data", false},
      {"unknown.type", "unknown.type", true},
      {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(UniformType::conformsTo(c.type, c.parent), c.expected) << c.type << " " << c.parent;

  EXPECT_EQ(UniformType::preferredIdentifier("JPG"), "public.jpeg");
  EXPECT_EQ(UniformType::preferredIdentifier("nope"), std::nullopt);
  EXPECT_EQ(UniformType::typeIdentifier("mp3"), "public.mp3");
  EXPECT_EQ(UniformType::typeIdentifier(""), "public.data");
  EXPECT_EQ(UniformType::typeIdentifier("XyZ"), "dyn.ext.xyz");
}

TEST(BundleTest, ResourceFolderAndResources) {
  test::TempRoot root;
  const char* previous = std::getenv("VOZI_RESOURCES");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  ::setenv("VOZI_RESOURCES", (root / "/res").c_str(), 1);
  root.writeFile("/res/a.plist", "x");
  root.makeDirectory("/res/folder.plist");
  std::filesystem::create_symlink(root / "/res/a.plist", root / "/res/link.plist");
  const auto bundle = platform::Bundle::main();
  EXPECT_EQ(bundle.resourcePath(), root / "/res");
  EXPECT_EQ(bundle.pathForResource("a", "plist"), root / "/res/a.plist");
  EXPECT_EQ(bundle.pathForResource("link", "plist"), root / "/res/link.plist");
  EXPECT_EQ(bundle.pathForResource("missing", "plist"), std::nullopt);
  EXPECT_EQ(bundle.pathForResource("folder", "plist"), std::nullopt);
  EXPECT_EQ(bundle.pathForResource("../res/a", "plist"), std::nullopt);
  EXPECT_EQ(bundle.pathForResource("a", "plist/x"), std::nullopt);
  // An embedded NUL does not find the file named by the text before it.
  EXPECT_EQ(bundle.pathForResource(std::string("a.plist\0x", 9), ""), std::nullopt);
  EXPECT_EQ(bundle.pathForResource("a", std::string("plist\0x", 7)), std::nullopt);

  ::unsetenv("VOZI_RESOURCES");
  // The test executables have no Resources folder beside them: the source tree's.
  EXPECT_EQ(bundle.resourcePath(), std::string(VOZI_SOURCE_DIR) + "/resources");
  if (saved) ::setenv("VOZI_RESOURCES", saved->c_str(), 1);
}

}  // namespace
}  // namespace vozi
