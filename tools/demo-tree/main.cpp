// vozi-demo-tree DIR [--files N] [--user NAME]: lays out a demo macOS-style
// tree under DIR (made when missing) for the demo user: the running user,
// or NAME (as root, the name vozi-agent is given). The tree stays.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/FileSystemLayout.h"
#include "platform/ProcessUser.h"
#include "support/DemoTree.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

int main(int argc, char** argv) {
  std::string folder;
  std::string user = vozi::platform::ProcessUser::name();
  int files = vozi::test::DemoTree::kDefaultFiles;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--files" && i + 1 < argc) {
      files = std::atoi(argv[++i]);
    } else if (argument == "--user" && i + 1 < argc) {
      user = argv[++i];
    } else if (folder.empty() && !argument.empty() && argument[0] != '-') {
      folder = argument;
    } else {
      folder.clear();
      break;
    }
  }
  if (folder.empty() || files < 0 || !vozi::platform::FileSystemLayout::isValidUserName(user)) {
    std::fprintf(stderr, "usage: vozi-demo-tree DIR [--files N] [--user NAME]\n");
    return 2;
  }
  try {
    auto root = vozi::test::TempRoot::kept(folder);
    vozi::test::MacTree tree(root);
    const auto summary = vozi::test::DemoTree::layOut(tree, user, files);
    std::printf(
        "demo tree for %s in %s: %d cache files (%llu bytes), logs %llu bytes, Trash %llu bytes, "
        "temporary files %llu bytes, mail attachments %llu bytes\n",
        user.c_str(), root.path().c_str(), files, static_cast<unsigned long long>(summary.userCacheBytes),
        static_cast<unsigned long long>(summary.userLogBytes), static_cast<unsigned long long>(summary.trashBytes),
        static_cast<unsigned long long>(summary.temporaryBytes), static_cast<unsigned long long>(summary.mailBytes));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vozi-demo-tree: %s\n", error.what());
    return 1;
  }
  return 0;
}
