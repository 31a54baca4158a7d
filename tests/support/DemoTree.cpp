#include "support/DemoTree.h"

namespace vozi::test {

DemoTree::Summary DemoTree::layOut(MacTree& tree, const std::string& user, int files) {
  Summary summary;
  tree.addUser(user);
  const std::string home = MacTree::homeOf(user);
  const std::string library = MacTree::libraryOf(user);
  auto add = [&tree](const std::string& path, std::uint64_t size, std::uint64_t& total) {
    tree.addFile(path, size);
    total += size;
  };

  const char* cacheOwners[] = {"com.demo.browser", "com.demo.music", "com.demo.editor", "com.demo.chat"};
  for (int i = 0; i < files; ++i) {
    const std::string owner = cacheOwners[i % 4];
    add(library + "/Caches/" + owner + "/Cache/entry" + std::to_string(i), 512 + (i * 7919) % 8192,
        summary.userCacheBytes);
  }
  tree.addContainer(user, "com.demo.mail");
  add(library + "/Logs/DemoEditor/editor.log", 4096, summary.userLogBytes);
  add(library + "/Logs/sync.log", 2048, summary.userLogBytes);
  add(library + "/Containers/com.demo.mail/Data/Library/Logs/mail.log", 1024, summary.userLogBytes);

  add(home + "/.Trash/old-report.pdf", 30000, summary.trashBytes);
  add(home + "/.Trash/Screenshot.png", 12000, summary.trashBytes);

  tree.addFile(home + "/Pictures/holiday.jpg", std::string(50000, 'p'));
  tree.addFile(home + "/Downloads/holiday copy.jpg", std::string(50000, 'p'));
  // A big film last watched two months ago: an old big file.
  const platform::Date twoMonthsAgo = platform::Date::now().addingTimeInterval(-60 * 86400.0);
  tree.addSparseFile(home + "/Movies/holiday.mov", 300ull << 20)
      .setDates(home + "/Movies/holiday.mov", twoMonthsAgo, twoMonthsAgo);
  add(library + "/Containers/com.apple.mail/Data/Library/Mail Downloads/invoice.pdf", 20000, summary.mailBytes);
  add(library + "/Mail/V10/Inbox.mbox/Attachments/7/2/contract.pdf", 15000, summary.mailBytes);
  tree.addFile(library + "/Mail/V10/Inbox.mbox/Messages/7.emlx", 3000);

  ApplicationBundle editor;
  editor.name = "Demo Editor";
  editor.bundleIdentifier = "com.demo.editor";
  editor.languages = {"en", "Base", "fr", "de", "ja"};
  tree.addApplication(editor);
  tree.addFile(library + "/Preferences/com.demo.editor.plist", 600)
      .addFile("/Library/Application Support/com.demo.editor/license.dat", 1200);
  tree.addFile(library + "/Application Support/com.demo.gone/state.db", 8000)
      .addFile(library + "/Preferences/com.demo.gone.plist", 300);

  tree.addFile("/System/Library/Caches/com.demo.system/index", 6000)
      .addFile("/Library/Logs/DemoDaemon.log", 3000)
      .addFile("/var/log/demo-install.log", 1500);
  add("/private/tmp/demo-download.tmp", 7000, summary.temporaryBytes);
  add("/private/tmp/demo-session/state.tmp", 900, summary.temporaryBytes);
  return summary;
}

}  // namespace vozi::test
