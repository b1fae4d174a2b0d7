#include "options.h"

#include <cctype>
#include <limits>
#include <sstream>
#include <utility>

namespace virk::keyforge {

const char* const kDefaultApplicationUri = "urn:virkopcua.server.application";

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Tried in this order; the first prefix that matches takes the argument.
std::vector<std::pair<const char*, std::string Options::*>> PrefixTable() {
  return {
      {"-CN=", &Options::commonName},
      {"-O=", &Options::organization},
      {"-OU=", &Options::organizationalUnit},
      {"-ST=", &Options::state},
      {"-L=", &Options::locality},
      {"-C=", &Options::country},
      {"-DNS=", &Options::domains},
      {"-IP=", &Options::ipAddresses},
      {"-size=", &Options::keySize},
      {"-alg=", &Options::algorithm},
      {"-val=", &Options::validity},
      {"-der=", &Options::certificateFolder},
      {"-pem=", &Options::keyFolder},
      {"-URI=", &Options::applicationUri},
  };
}

// std::getline semantics: a separator at the very end opens no new piece.
std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::istringstream stream(text);
  std::string piece;
  while (std::getline(stream, piece, separator)) pieces.push_back(piece);
  return pieces;
}

}  // namespace

Options ParseArguments(const std::vector<std::string>& arguments) {
  static const auto prefixes = PrefixTable();
  Options options;
  for (const std::string& argument : arguments) {
    if (!StartsWith(argument, "-")) continue;
    if (StartsWith(argument, "-help")) {
      options.help = true;
      continue;
    }
    for (const auto& [prefix, field] : prefixes) {
      if (StartsWith(argument, prefix)) {
        options.*field = argument.substr(std::string(prefix).size());
        break;
      }
    }
  }
  return options;
}

bool HasRequiredOptions(const Options& options) {
  for (const std::string* value :
       {&options.commonName, &options.organization, &options.keySize, &options.algorithm,
        &options.validity, &options.certificateFolder, &options.keyFolder}) {
    if (value->empty()) return false;
  }
  return !options.domains.empty() || !options.ipAddresses.empty();
}

void FillBlankNameValues(Options& options) {
  for (std::string* value : {&options.organizationalUnit, &options.state, &options.locality}) {
    if (value->empty()) *value = " ";
  }
  if (options.country.empty()) options.country = "  ";
}

int64_t ParseDecimal(const std::string& text) {
  size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position])))
    ++position;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
  int64_t magnitude = 0;
  for (; position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]));
       ++position) {
    const int digit = text[position] - '0';
    magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
  }
  return negative ? -magnitude : magnitude;
}

std::vector<std::string> SplitList(const std::string& value) {
  std::vector<std::string> entries;
  for (const std::string& line : SplitAt(value, '\n')) {
    for (std::string& piece : SplitAt(line, ',')) entries.push_back(std::move(piece));
  }
  return entries;
}

}  // namespace virk::keyforge
