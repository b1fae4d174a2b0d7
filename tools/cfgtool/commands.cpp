#include "commands.h"

#include "common/text.h"

namespace virk::cfgtool {
namespace {

int Transfer(const std::string& from, bool fromScrambled, const std::string& to, bool toScrambled,
             std::ostream& out) {
  std::u16string text;
  std::string error;
  if (!ReadConfigText(from, fromScrambled, text, error)) {
    out << from << ": " << error << '\n';
    return 1;
  }
  if (!fromScrambled) {
    // The plain form may come with CR LF line ends; the scrambled one has LF only.
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lf += text[i];
    text.swap(lf);
  }
  if (!WriteConfigText(to, text, toScrambled, error)) {
    out << to << ": " << error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace

int Unpack(const std::string& cfgPath, const std::string& textPath, std::ostream& out) {
  return Transfer(cfgPath, true, textPath, false, out);
}

int Pack(const std::string& textPath, const std::string& cfgPath, std::ostream& out) {
  return Transfer(textPath, false, cfgPath, true, out);
}

}  // namespace virk::cfgtool
