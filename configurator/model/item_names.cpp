#include "model/item_names.h"

std::string IncrementTrailingNumber(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  std::string number = name.substr(digits);
  // Decimal increment on the text, so a number of any length carries correctly.
  int i = int(number.size()) - 1;
  for (; i >= 0; --i) {
    if (number[i] != '9') {
      ++number[i];
      break;
    }
    number[i] = '0';
  }
  if (i < 0) number.insert(number.begin(), '1');
  return name.substr(0, digits) + number;
}

std::string UniqueChildName(const virk::CItem& parent, std::string name) {
  while (parent.FindChild(name)) name = IncrementTrailingNumber(name);
  return name;
}

std::string NextFreeName(const virk::CItem& parent, const std::string& name) {
  return UniqueChildName(parent, IncrementTrailingNumber(name));
}

std::string WithCopySuffix(const std::string& name) {
  if (name.size() < 5 || name.find("_Copy") == std::string::npos) return name + "_Copy1";
  return name;
}
