// Arbitrary configuration files against the loader: plain text read from a
// file, the same text stored scrambled, and the raw bytes taken as a scrambled
// file. A tree that loads must write out as records that load into the same
// records again; the sanitizers report any access outside a buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/csv_loader.h"
#include "common/csv_writer.h"
#include "common/log.h"
#include "common/text.h"
#include "scratch_file.h"

namespace {

using virk::fuzz::ScratchPath;

void WriteScratch(const std::string& bytes) {
  std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0)
    std::abort();
}

bool LoadInto(virk::CTreeItemRoot& root, const std::string& bytes, bool scrambled) {
  static const virk::CPlainItemFactory factory;
  WriteScratch(bytes);
  virk::CCsvLoader loader(root, factory);
  loader.SetLogRecordErrors(false);
  return loader.LoadFile(ScratchPath(), scrambled);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  virk::SetLogFunction([](virk::LogLevel, int, const std::string&) {});
  virk::fuzz::InitScratchFile("config_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int mode = data[0] % 3;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool scrambled = mode != 0;
  if (mode == 1) {  // the text as the writer stores it
    std::u16string text;
    size_t bad = 0;
    if (!virk::DecodeUtf8(bytes, text, bad)) return 0;
    bytes = virk::EncodeConfigText(text, true);
  }

  virk::CTreeItemRoot first;
  if (!LoadInto(first, bytes, scrambled)) return 0;
  const std::u16string records = virk::RecordsText(first);
  virk::CTreeItemRoot second;
  if (!LoadInto(second, virk::EncodeConfigText(records, scrambled), scrambled) ||
      virk::RecordsText(second) != records) {
    std::fprintf(stderr, "the written records of a loaded tree do not load back the same\n");
    std::abort();
  }
  return 0;
}
