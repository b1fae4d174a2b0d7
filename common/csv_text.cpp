#include "csv_text.h"

namespace virk {

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    const size_t next = end == text.npos ? text.size() : end + 1;
    if (end == text.npos) end = text.size();
    size_t length = end - start;
    if (length > 0 && text[end - 1] == u'\r' && end < text.size()) --length;
    lines.push_back(text.substr(start, length));
    start = next;
  }
  return lines;
}

void SplitFields(std::u16string_view line, Fields& fields) {
  fields.clear();
  size_t start = 0;
  while (start < line.size()) {
    const size_t end = line.find(u';', start);
    if (end == line.npos) {
      fields.push_back(line.substr(start));
      return;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

bool EndsRecordSection(const Fields& fields) {
  for (std::u16string_view field : fields) {
    // Every line is checked; most fields are told apart by their length alone.
    if (field.size() < 5 || field.size() > 9) continue;
    if (field == u"INIFILE" || field == u"USERS" || field == u"[options]" || field == u"[users]")
      return true;
  }
  return false;
}

size_t RecordSectionEnd(std::u16string_view text) {
  Fields fields;
  for (std::u16string_view line : SplitLines(text)) {
    SplitFields(line, fields);
    if (EndsRecordSection(fields)) return size_t(line.data() - text.data());
  }
  return text.size();
}

}  // namespace virk
