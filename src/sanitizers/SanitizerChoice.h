#pragma once

#include <array>
#include <memory>
#include <optional>

#include "common/ItemGroup.h"
#include "sanitizers/ISanitizer.h"
#include "sanitizers/SanitizerEnvironment.h"

namespace vozi {

// Which sanitizer serves a group: the rows are tested in order and the
// first class the group is of (or derives from) decides. The sanitizers of
// the applications, the user's logs and caches and plain file groups are
// built in; the modules that own the other sanitizers register theirs. A
// group whose row has nothing registered gets no sanitizer: it never falls
// through to a later row, which would scan or clean it the wrong way.
class SanitizerChoice {
 public:
  enum class Row {
    memory,             // MemoryGroup
    duplicates,         // DuplicatesGroup
    applications,       // ApplicationsGroup
    shredder,           // ShredderGroup
    languages,          // LanguagesGroup
    bigFiles,           // BigFilesGroup
    trashBin,           // TrashBinGroup
    userLogs,           // UserLogsGroup
    userCache,          // UserCacheGroup
    mailAttachments,    // MailAttachmentsGroup
    fileRepresentable,  // FileRepresentableGroup
  };
  static constexpr std::size_t kRowCount = 11;

  // The built-in rows filled.
  SanitizerChoice();

  // The first row whose class the group is of; none for a group of no row.
  static std::optional<Row> row(const ItemGroup& group);

  void registerSanitizer(Row row, SanitizerFactory factory);
  bool isRegistered(Row row) const;

  // The group's sanitizer, made for this request; null when its row has
  // none or the group is of no row.
  std::unique_ptr<ISanitizer> sanitizer(const ItemGroupPtr& group, const SanitizerEnvironment& environment) const;

 private:
  std::array<SanitizerFactory, kRowCount> factories_;
};

}  // namespace vozi
