#include "cleaners/Cleaners.h"

#include "cleaners/BigFilesDefaultSearchOperation.h"
#include "cleaners/BigFilesGroupSanitizer.h"
#include "cleaners/DuplicatesSanitizer.h"
#include "cleaners/LanguagesSanitizer.h"
#include "cleaners/MailAttachmentGroupSanitizer.h"
#include "cleaners/MemorySanitizer.h"
#include "cleaners/ModelFile.h"
#include "cleaners/ShredderGroupSanitizer.h"
#include "cleaners/TrashBinGroupSanitizer.h"
#include "sanitizers/FileSearcher.h"

namespace vozi {

void registerCleaners(SanitizerChoice& choice) {
  using Row = SanitizerChoice::Row;
  choice.registerSanitizer(Row::duplicates, &DuplicatesSanitizer::make<DuplicatesSanitizer>);
  choice.registerSanitizer(Row::memory, &RAMMemorySanitizer::make<RAMMemorySanitizer>);
  choice.registerSanitizer(Row::trashBin, &TrashBinGroupSanitizer::make<TrashBinGroupSanitizer>);
  choice.registerSanitizer(Row::shredder, &ShredderGroupSanitizer::make<ShredderGroupSanitizer>);
  choice.registerSanitizer(Row::languages, &LanguagesSanitizer<>::make<LanguagesSanitizer<>>);
  choice.registerSanitizer(Row::bigFiles, &BigFilesGroupSanitizer::make<BigFilesGroupSanitizer>);
  choice.registerSanitizer(Row::mailAttachments,
                           &MailAttachmentGroupSanitizer::make<MailAttachmentGroupSanitizer>);
  registerFileSearches();
}

void registerFileSearches() {
  FileSearcher<ModelFile>::setDefaultSearchFactory(
      [](const platform::URL& folder, std::uint64_t bigFileMinSize,
         const std::optional<platform::Date>& minLastFileAccessDate, const std::vector<ZOLMFileItemType>& fileTypes,
         FileSearcher<ModelFile>::Completion completion, FileSearcher<ModelFile>::SearchProgressHandler progress) {
        auto operation = std::make_shared<BigFilesDefaultSearchOperation<ModelFile>>(
            folder, bigFileMinSize, minLastFileAccessDate, fileTypes, std::move(completion), std::move(progress));
        operation->directoryEnumerationOptions = platform::DirectoryEnumerationOptions::SkipsPackageDescendants;
        return operation;
      });
}

}  // namespace vozi
