// Files keyforge writes: the PEM intermediates in the profile folder and the
// two DER results.
#pragma once

#include <string>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "file_io.h"

namespace virk::keyforge {

// Steps through the intermediates: writes key and certificate as PEM, reads
// them back and writes the certificate DER to `certificateFolder`/
// "server_cert.der" and the PKCS #1 RSAPrivateKey DER to `keyFolder`/
// "server_key.pem". On failure returns false with `failure` saying which
// step failed (the library's error queue may say more).
bool WriteCertificateFiles(EVP_PKEY* key, X509* certificate, const IntermediateFiles& intermediates,
                           const std::string& certificateFolder, const std::string& keyFolder,
                           std::string& failure);

}  // namespace virk::keyforge
