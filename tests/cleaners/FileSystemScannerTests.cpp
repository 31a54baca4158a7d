#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "cleaners/FileSystemScanner.h"
#include "platform/PathComponents.h"
#include "platform/TreePath.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using Kind = FileSystemScannerIterationKind;

std::shared_ptr<FileSystemScanner> scanner(int threads, int scanAmount = 128) {
  auto made = FileSystemScanner::make(threads, scanAmount);
  EXPECT_TRUE(made);
  return made ? *made : nullptr;
}

// A tree in one line per node: path, kind, size, children; depth first.
std::string describe(const FileSystemScannerItem& root) {
  std::string out;
  std::function<void(const FileSystemScannerItem&, const std::string&)> add = [&](const FileSystemScannerItem& node,
                                                                               const std::string& at) {
    out += at + (node.isUnknown ? " ?" : node.isSymbolicLink ? " @" : node.isFolder ? " /" : " -") + " " +
           std::to_string(node.size) + " " + std::to_string(node.children) + "\n";
    std::vector<std::pair<std::string, const FileSystemScannerItem*>> children;
    for (const auto* list : {&node.links, &node.files, &node.folders, &node.unknowns}) {
      if (!*list) continue;
      EXPECT_FALSE((*list)->empty());
      for (const auto& child : **list) {
        EXPECT_EQ(child->parent.lock().get(), &node);
        children.emplace_back(child->shortcut, child.get());
      }
    }
    std::sort(children.begin(), children.end());
    for (const auto& [name, child] : children) add(*child, at + "/" + name);
  };
  add(root, "");
  return out;
}

class FileSystemScannerTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  test::MacTree tree{root};
  std::string host(const std::string& path) const { return tree.host(path); }
  platform::URL url(const std::string& path) const { return platform::URL::fileURLWithPath(host(path), true); }
};

TEST_F(FileSystemScannerTest, WorkIsCutIntoRangesOfTheBatchSize) {
  using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;
  EXPECT_EQ(FileSystemScanner::ranges(300, 128), (Ranges{{0, 128}, {128, 256}, {256, 300}}));
  EXPECT_EQ(FileSystemScanner::ranges(256, 128), (Ranges{{0, 128}, {128, 256}}));
  EXPECT_EQ(FileSystemScanner::ranges(0, 128), Ranges{});
  EXPECT_EQ(FileSystemScanner::ranges(1, 1), (Ranges{{0, 1}}));
  // Nothing that could never run or split is made.
  for (const auto& [threads, amount] : std::vector<std::pair<int, int>>{{0, 128}, {32, 0}, {-1, 1}}) {
    const auto made = FileSystemScanner::make(threads, amount);
    ASSERT_FALSE(made) << threads << " " << amount;
    EXPECT_EQ(made.error().code, EINVAL);
  }
}

TEST_F(FileSystemScannerTest, OneAndThirtyTwoThreadsBuildTheSameSizedTrees) {
  // 300 subfolders in one folder: three batches of work from one listing.
  for (int folder = 0; folder < 300; ++folder) {
    const std::string at = "/top/wide/f" + std::to_string(folder);
    tree.addFile(at + "/a", static_cast<std::uint64_t>(folder)).addFile(at + "/deeper/b", 1);
  }
  // A folder holding a file of 10 bytes, a link and a subfolder with 5.
  tree.addFile("/top/small/ten", 10).addFile("/top/small/sub/five", 5).addSymlink("/top/small/link", "/etc");
  tree.addFile("/top/.hidden", 3);
  const std::string one = describe(*scanner(1)->scan({url("/top")}).front());
  const std::string many = describe(*scanner(32)->scan({url("/top")}).front());
  EXPECT_EQ(one, many);
  auto roots = scanner(32, 7)->scan({url("/top")});
  const auto small = roots.front()->locate(url("/top/small"));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->size, 15);
  EXPECT_EQ(small->children, 3);
  EXPECT_EQ(small->locate(url("/top/small/sub"))->size, 5);
  std::int64_t wide = 0;
  for (int folder = 0; folder < 300; ++folder) wide += folder + 1;
  EXPECT_EQ(roots.front()->locate(url("/top/wide"))->size, wide);
  EXPECT_EQ(roots.front()->size, wide + 15 + 3);
}

TEST_F(FileSystemScannerTest, ProgressCountsEveryEntryOfEveryScan) {
  // 40 entries: 10 folders of 3 files each.
  for (int folder = 0; folder < 10; ++folder) {
    for (int file = 0; file < 3; ++file)
      tree.addFile("/forty/d" + std::to_string(folder) + "/f" + std::to_string(file), 1);
  }
  auto counting = scanner(4, 2);
  EXPECT_EQ(counting->progress(), 0);
  EXPECT_TRUE(counting->scan({url("/forty")}).front()->isFolder);
  EXPECT_TRUE(counting->completed());
  EXPECT_EQ(counting->progress(), 40);
  counting->scan({url("/forty")});
  EXPECT_EQ(counting->progress(), 80);
  EXPECT_TRUE(counting->scan({}).empty());
  EXPECT_EQ(counting->progress(), 80);
}

TEST_F(FileSystemScannerTest, RootsThatAreNoFolders) {
  tree.addFile("/plain", 12).addFile("/target/inside", 4).addSymlink("/linked", host("/target"));
  auto roots = scanner(2)->scan({url("/plain"), url("/missing"), url("/linked")});
  ASSERT_EQ(roots.size(), 3u);
  EXPECT_EQ(describe(*roots[0]), " - 12 0\n");
  EXPECT_TRUE(roots[1]->isUnknown);
  EXPECT_EQ(roots[1]->size, 0);
  // A root that is a link is not followed: it is a link, with nothing below.
  EXPECT_TRUE(roots[2]->isSymbolicLink);
  EXPECT_EQ(roots[2]->children, 0);
}

TEST_F(FileSystemScannerTest, AnUnreadableFolderStaysEmpty) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any folder";
  tree.addFile("/closed/secret", 9).addFile("/closed/sub/more", 2);
  ::chmod(host("/closed").c_str(), 0);
  auto closed = scanner(1)->scan({url("/closed")});
  ::chmod(host("/closed").c_str(), 0755);
  EXPECT_EQ(describe(*closed.front()), " / 0 0\n");
}

// A folder listed as a folder and swapped for a link before its own
// listing: the listing refuses the link and the node stays empty.
TEST_F(FileSystemScannerTest, AFolderSwappedForALinkIsNotListedThrough) {
  tree.addFile("/tree/a/file", 1).addFile("/outside/secret", 5);
  auto scanning = scanner(1);
  auto held = platform::TreePath::openFolder(host("/tree"));
  ASSERT_TRUE(held);
  auto root = FileSystemScannerItem::root(host("/tree"));
  platform::FolderListing::Entry listed;
  listed.name = "a";
  listed.kind = platform::FolderListing::Kind::folder;
  auto a = FileSystemScannerItem::child(root, listed);
  fs::remove_all(host("/tree/a"));
  fs::create_directory_symlink(host("/outside"), host("/tree/a"));
  auto work = std::make_shared<std::vector<FileSystemScanner::WorkItem>>();
  work->push_back(FileSystemScanner::WorkItem{
      std::make_shared<const platform::FileDescriptor>(std::move(held->descriptor)), "a", a});
  FolderScannerOperation(scanning, work, {0, 1}).main();
  EXPECT_EQ(a->children, 0);
  EXPECT_FALSE(a->files);
  EXPECT_EQ(scanning->progress(), 0);
}

TEST_F(FileSystemScannerTest, TheAsynchronousScanCallsBackWithTheTrees) {
  tree.addFile("/tree/a/file", 1);
  auto scanning = scanner(2);
  scanning->setSuspended(true);
  EXPECT_TRUE(scanning->isSuspended());
  std::promise<std::vector<FileSystemScannerItemPtr>> done;
  scanning->scan({url("/tree")}, [&](std::vector<FileSystemScannerItemPtr> roots) { done.set_value(std::move(roots)); });
  scanning->setSuspended(false);
  const auto roots = done.get_future().get();
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_EQ(roots.front()->size, 1);
  EXPECT_TRUE(scanning->completed());
}

// --- The tree -----------------------------------------------------------------

// root: w, a/{x, y}, b/c/{z}, b/l (link), u (unknown)
FileSystemScannerItemPtr sampleTree() {
  auto root = std::make_shared<FileSystemScannerItem>();
  root->shortcut = "/Users/a";
  root->isFolder = true;
  const auto add = [](const FileSystemScannerItemPtr& parent, std::string name, platform::FolderListing::Kind kind) {
    platform::FolderListing::Entry entry;
    entry.name = std::move(name);
    entry.kind = kind;
    auto node = FileSystemScannerItem::child(parent, entry);
    using K = platform::FolderListing::Kind;
    auto& list = kind == K::folder ? parent->folders : kind == K::link ? parent->links : kind == K::file ? parent->files
                                                                                                      : parent->unknowns;
    if (!list) list.emplace();
    list->push_back(node);
    ++parent->children;
    return node;
  };
  using K = platform::FolderListing::Kind;
  add(root, "w", K::file);
  const auto a = add(root, "a", K::folder);
  add(a, "x", K::file);
  add(a, "y.TXT", K::file);
  const auto b = add(root, "B", K::folder);
  const auto c = add(b, "c", K::folder);
  add(c, "z", K::file);
  add(b, "l", K::link);
  add(root, "u", K::unknown);
  return root;
}

std::vector<std::string> names(const FileSystemScannerSequence& sequence) {
  std::vector<std::string> out;
  for (const auto& node : sequence) out.push_back(node->shortcut);
  return out;
}

TEST(FileSystemScannerTreeTest, IterationPathsLookupsAndKinds) {
  const auto root = sampleTree();
  using Names = std::vector<std::string>;
  // Every node's own children before its subfolders'.
  EXPECT_EQ(names(root->iterate({Kind::files})), (Names{"w", "x", "y.TXT", "z"}));
  EXPECT_EQ(names(root->iterate({Kind::files, Kind::links})), (Names{"w", "x", "y.TXT", "l", "z"}));
  EXPECT_EQ(names(root->iterate({Kind::unknowns, Kind::files})), (Names{"w", "u", "x", "y.TXT", "z"}));
  EXPECT_EQ(names(root->iterate({Kind::folders})), (Names{"a", "B", "c"}));
  EXPECT_EQ(names(root->iterate({})), Names{});
  EXPECT_EQ(names(FileSystemScannerSequence(root->folders->front(), 2)), (Names{"x", "y.TXT"}));
  EXPECT_EQ(names(FileSystemScannerSequence(root->files->front(), 2)), Names{});
  // A sequence walks again from the start.
  const auto sequence = root->iterate({Kind::files});
  EXPECT_EQ(names(sequence), names(sequence));

  const auto z = root->folders->at(1)->folders->front()->files->front();
  EXPECT_EQ(z->path(), "/Users/a/B/c/z");
  EXPECT_EQ(z->url().path(), "/Users/a/B/c/z");
  EXPECT_EQ(root->files->front()->pathExtension, "");
  EXPECT_EQ(root->folders->front()->files->back()->pathExtension, "TXT");
  auto top = std::make_shared<FileSystemScannerItem>();
  top->shortcut = "/";
  platform::FolderListing::Entry entry;
  entry.name = "b";
  EXPECT_EQ(FileSystemScannerItem::child(top, entry)->path(), "/b");

  // Names below the root, lower-cased, equal the component; the root's own
  // path is never looked at.
  EXPECT_TRUE(z->containsPathComponent("b"));
  EXPECT_TRUE(z->containsPathComponent("z"));
  EXPECT_FALSE(z->containsPathComponent("B"));
  EXPECT_FALSE(z->containsPathComponent("users"));
  EXPECT_FALSE(z->containsPathComponent("a"));
  EXPECT_FALSE(root->containsPathComponent("/Users/a"));

  const auto at = [](const std::string& path) { return platform::URL::fileURLWithPath(path); };
  EXPECT_EQ(root->locate(at("/Users/a")), root);
  // A node without subfolders ends the walk, even before one of its files.
  const auto c = root->folders->at(1)->folders->front();
  EXPECT_EQ(root->locate(at("/Users/a/B/c")), c);
  EXPECT_EQ(root->locate(at("/Users/a/B/c/z")), c);
  EXPECT_EQ(root->locate(at("/Users/a/B/c/past/the/end")), c);
  EXPECT_EQ(root->locate(at("/Users/a/w")), root->files->front());
  EXPECT_EQ(root->locate(at("/Users/a/B/l")), nullptr);
  EXPECT_EQ(root->locate(at("/Users/a/u")), nullptr);
  EXPECT_EQ(root->locate(at("/Users/a/nothing")), nullptr);
  EXPECT_EQ(root->locate(at("/Users")), nullptr);

  EXPECT_EQ(fileSystemScannerIterationKind(8), Kind::unknowns);
  for (const int raw : {1, 2, 4, 8}) {
    EXPECT_EQ(static_cast<int>(*fileSystemScannerIterationKind(raw)), raw);
  }
  for (const int raw : {0, 3, 5, 6, 7, -1, 9, 16}) EXPECT_FALSE(fileSystemScannerIterationKind(raw)) << raw;

  // A node whose parent is gone is a root.
  FileSystemScannerItemPtr x;
  {
    const auto other = sampleTree();
    x = other->folders->front()->files->front();
  }
  EXPECT_EQ(x->path(), "x");
}

// --- Volumes ------------------------------------------------------------------

TEST_F(FileSystemScannerTest, VolumesComeFromTheMountTableAndTheirFigures) {
  fs::create_directories(host("/mnt/with space"));
  const std::string table = host("/mountinfo");
  std::ofstream(table) << "22 1 8:1 / " << host("") << " rw - ext4 /dev/sda1 rw\n"
                       << "23 22 0:5 / " << host("/mnt/with\\040space") << " rw - ext4 /dev/sdb1 rw\n"
                       << "24 22 0:6 / /proc rw - proc proc rw\n"
                       << "25 22 0:7 / " << host("/not/there") << " rw - ext4 /dev/sdc1 rw\n"
                       << "26 22 8:1 / " << host("") << " rw - ext4 /dev/sda1 rw\n"
                       << "broken line\n";
  const auto volumes = Volumes::all(table);
  EXPECT_TRUE(volumes.count(host("")));
  EXPECT_TRUE(volumes.count(host("/mnt/with space")));
  EXPECT_FALSE(volumes.count(host("/not/there")));
  EXPECT_FALSE(volumes.count("/proc"));  // no capacity
  for (const auto& [path, volume] : volumes) {
    EXPECT_GT(volume.second.totalCapacity, 0) << path;
    EXPECT_EQ(volume.first.path(), std::string(platform::PathComponents::withoutTrailingSlashes(path)));
  }
  EXPECT_FALSE(Volumes::all().empty());
  EXPECT_TRUE(Volumes::all(host("/no/table")).empty());
}

TEST(VolumeStatisticsTest, CodesExactlyItsThreeKeys) {
  VolumeStatistics statistics;
  statistics.resourceCount = 7;
  statistics.totalCapacity = 1000;
  statistics.availableCapacity = 400;
  const auto encoded = statistics.encode();
  EXPECT_EQ(encoded.size(), 3u);
  const auto decoded = VolumeStatistics::decode(platform::Value(encoded));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->resourceCount, 7);
  EXPECT_EQ(decoded->totalCapacity, 1000);
  EXPECT_EQ(decoded->availableCapacity, 400);
  for (const char* missing : {"resourceCount", "totalCapacity", "availableCapacity"}) {
    auto lacking = encoded;
    lacking.erase(missing);
    EXPECT_FALSE(VolumeStatistics::decode(platform::Value(lacking))) << missing;
  }
  auto wrong = encoded;
  wrong["totalCapacity"] = platform::Value("1000");
  EXPECT_FALSE(VolumeStatistics::decode(platform::Value(wrong)));
  EXPECT_FALSE(VolumeStatistics::decode(platform::Value(7)));
}

}  // namespace
}  // namespace vozi
