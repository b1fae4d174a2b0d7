// Writes the record section of an item tree: plain (.csv, CR LF) or scrambled
// (.cfg, LF, carrying over the options and users sections the file already had).
#pragma once

#include <string>

#include "item.h"

namespace virk {

// Results of WriteConfiguration.
enum WriteResult : int {
  kWriteOk = 0,
  kWriteRecordsFailed = 1,   // the file could not be written
  kWriteCheckFailed = 2,     // the written file did not read back as written
};

// The header and record lines of the tree, LF-separated, ending with an LF.
std::u16string RecordsText(const CTreeItemRoot& root);

int WriteConfiguration(const CTreeItemRoot& root, const std::string& path, bool plain);
// The same with the records already made by RecordsText.
int WriteRecordsText(const std::u16string& records, const std::string& path, bool plain);

}  // namespace virk
