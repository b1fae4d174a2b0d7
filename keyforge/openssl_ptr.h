// Owning pointers for the OpenSSL objects keyforge makes, so every exit path
// frees them.
#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace virk::keyforge {

template <auto Free>
struct OpenSslDeleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, OpenSslDeleter<X509_NAME_free>>;
using X509ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;

}  // namespace virk::keyforge
