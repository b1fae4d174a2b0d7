// Lines and fields of the configuration text: LF ends a line (a CR before it
// is dropped), ';' separates fields, with no quoting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace virk {

using Fields = std::vector<std::u16string_view>;

// The lines of the text; an LF at the very end starts no further line.
std::vector<std::u16string_view> SplitLines(std::u16string_view text);

// The fields of one line, as views into it. A final ';' adds no empty field;
// an empty line has no fields.
void SplitFields(std::u16string_view line, Fields& fields);

// True when a field is one of the words that end the record section:
// "INIFILE", "USERS", "[options]", "[users]".
bool EndsRecordSection(const Fields& fields);

// Offset of the first line that ends the record section (the start of the
// options and users sections), or the text's size when there is none.
size_t RecordSectionEnd(std::u16string_view text);

}  // namespace virk
