#include <openssl/core_names.h>
#include <openssl/params.h>

#include "certificate.h"

namespace virk::keyforge {

PkeyPtr GenerateRsaKey(int bits) {
  PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!context || EVP_PKEY_keygen_init(context.get()) <= 0) return nullptr;
  unsigned int exponent = 65537;
  size_t modulusBits = static_cast<size_t>(bits);
  const OSSL_PARAM parameters[] = {
      OSSL_PARAM_construct_size_t(OSSL_PKEY_PARAM_RSA_BITS, &modulusBits),
      OSSL_PARAM_construct_uint(OSSL_PKEY_PARAM_RSA_E, &exponent),
      OSSL_PARAM_construct_end(),
  };
  if (EVP_PKEY_CTX_set_params(context.get(), parameters) <= 0) return nullptr;
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_generate(context.get(), &key) <= 0) return nullptr;
  return PkeyPtr(key);
}

}  // namespace virk::keyforge
