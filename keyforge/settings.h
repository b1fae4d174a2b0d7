// Turns the option texts into checked values before any key is generated,
// so a bad value costs nothing and writes nothing.
#pragma once

#include <string>
#include <vector>

#include <openssl/evp.h>

#include "options.h"

namespace virk::keyforge {

// RSA moduli the cryptographic library will generate and sign with.
constexpr int kMinKeyBits = 512;
constexpr int kMaxKeyBits = 16384;

struct CertificateSettings {
  int keyBits = 0;
  int validityDays = 0;
  const EVP_MD* digest = nullptr;
  std::vector<std::string> domains;
  std::vector<std::string> ipAddresses;
  std::string applicationUri;
};

// The digest for one of "Sha1", "Sha224", "Sha256", "Sha384", "Sha512"
// (case-sensitive); nullptr for anything else.
const EVP_MD* DigestByName(const std::string& name);

// Fills `settings` from options that passed HasRequiredOptions. Returns an
// empty text on success, otherwise the message that says what is wrong.
std::string ReadCertificateSettings(const Options& options, CertificateSettings& settings);

}  // namespace virk::keyforge
