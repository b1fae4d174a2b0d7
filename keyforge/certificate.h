// The RSA key and the self-signed application-instance certificate.
#pragma once

#include <string>
#include <vector>

#include "openssl_ptr.h"
#include "options.h"
#include "settings.h"

namespace virk::keyforge {

// RSA key of `bits` with public exponent 65537; null on failure (the
// library's error queue says why).
PkeyPtr GenerateRsaKey(int bits);

// "DNS:<d>," for every domain, "IP:<a>," for every address, then
// "URI:<applicationUri>", in the library's configuration syntax.
std::string SubjectAltNameValue(const CertificateSettings& settings);

// Version 3, serial 1, valid from now for the chosen number of days, the
// name of `options` (blanks already filled) as subject and issuer, the four
// extensions, signed with `key`. Null on failure, with `failure` saying
// which step failed.
X509Ptr BuildCertificate(const Options& options, const CertificateSettings& settings,
                         EVP_PKEY* key, std::string& failure);

}  // namespace virk::keyforge
