// Command-line options of keyforge: what the configurator passes and the
// checks that decide whether a certificate can be made at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace virk::keyforge {

// The application URI written when "-URI=" is not given; it is the one the
// server announces, and a secured server refuses a certificate without it.
extern const char* const kDefaultApplicationUri;

struct Options {
  std::string commonName;          // -CN=
  std::string organization;        // -O=
  std::string organizationalUnit;  // -OU=
  std::string state;               // -ST=
  std::string locality;            // -L=
  std::string country;             // -C=
  std::string domains;             // -DNS=, a list
  std::string ipAddresses;         // -IP=, a list
  std::string keySize;             // -size=, decimal bits
  std::string algorithm;           // -alg=, one of the five digest names
  std::string validity;            // -val=, decimal days
  std::string certificateFolder;   // -der=
  std::string keyFolder;           // -pem=
  std::string applicationUri;      // -URI=
  bool help = false;               // any argument beginning with "-help"
};

// Reads every argument after the program name. Unknown options and
// arguments without a leading '-' are ignored; the last value of an option
// wins.
Options ParseArguments(const std::vector<std::string>& arguments);

// True when every required option has a non-empty value.
bool HasRequiredOptions(const Options& options);

// Empty optional name values become blanks so that each name entry is
// present: one space for OU, ST and L, two for the two-letter country.
void FillBlankNameValues(Options& options);

// atol-like: leading white space, optional sign, the digits up to the first
// non-digit; no digits give 0. Saturates instead of overflowing.
int64_t ParseDecimal(const std::string& text);

// Splits a list value into lines at line feeds and each line at ','. A
// separator at the very end adds no empty entry; two adjacent commas do.
std::vector<std::string> SplitList(const std::string& value);

}  // namespace virk::keyforge
