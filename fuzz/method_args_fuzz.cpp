// Arbitrary argument strings of addNode and editNode: splitting, the field
// counts by kind, and applying the fields to a new item of the kind the
// message names. An applied item other than a group has a name that can be
// part of a full name, and its settings copy to another item of its kind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/item.h"
#include "common/log.h"
#include "common/method_args.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  virk::SetLogFunction([](virk::LogLevel, int, const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace virk;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const MethodFields fields = SplitMethodArgument(input);
  for (const std::string& field : fields) {
    DecimalField(field);
    CharacterCodedField(field);
  }
  ExpectedFieldCount(fields);
  if (fields.size() < 2) return 0;

  const int64_t kind = DecimalField(fields[1]);
  if (kind < virk::kKindChannel || kind > virk::kKindTag) return 0;
  static const virk::CPlainItemFactory factory;
  virk::ItemPtr item = factory.Create(int32_t(kind));
  if (!ApplyItemFields(*item, fields)) return 0;
  const std::string& name = item->Name();
  if (kind != virk::kKindGroup && (name.empty() || name.find('.') != std::string::npos)) {
    std::fprintf(stderr, "an applied item has a name no full name can hold\n");
    std::abort();
  }
  virk::ItemPtr copy = factory.Create(int32_t(kind));
  if (!CopyItemSettings(*copy, *item)) std::abort();
  return 0;
}
