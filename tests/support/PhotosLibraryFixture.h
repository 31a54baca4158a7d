#pragma once

#include <string>
#include <vector>

namespace vozi::test {

// Photos library bundles of both formats, their databases made with the
// tables (and the triggers calling the library's notification functions)
// the repair works on. Paths are host paths.
struct PhotosLibraryFixture {
  // The argument counts the triggers call the functions with; 0: no
  // trigger. A negative count makes the trigger abort the delete instead.
  struct NewFormat {
    int masterArity = 18;
    int versionArity = 23;
    int momentArity = 3;
  };
  struct OldFormat {
    int masterArity = 17;
    int versionArity = 20;
    int momentArity = 2;
    int modelResourceArity = 5;
    bool withProxies = true;
  };

  // "<bundle>/database/photos.db"; returns the database's path.
  static std::string makeNew(const std::string& bundle, const NewFormat& format);
  static std::string makeNew(const std::string& bundle) { return makeNew(bundle, NewFormat{}); }
  // "<bundle>/database/Library.apdb" and "ImageProxies.apdb"; returns the
  // library database's path.
  static std::string makeOld(const std::string& bundle, const OldFormat& format);
  static std::string makeOld(const std::string& bundle) { return makeOld(bundle, OldFormat{}); }

  // Runs statements on a database (throws std::runtime_error on failure).
  static void execute(const std::string& database, const std::string& sql);
  // Every row of every table, one line each, tables by name, rows sorted.
  static std::string dump(const std::string& database);
};

}  // namespace vozi::test
