#include "certificate.h"

#include <ctime>
#include <utility>

#include <openssl/err.h>

namespace virk::keyforge {

namespace {

// The name entries in their order. A value the library refuses (a country
// that is not two characters, a value over the length limit) is left out of
// the name; the certificate is still made. The values are taken as UTF-8,
// the encoding of the command line, so a Cyrillic name reads back as typed.
X509NamePtr BuildName(const Options& options) {
  X509NamePtr name(X509_NAME_new());
  if (!name) return nullptr;
  const std::pair<const char*, const std::string*> entries[] = {
      {"CN", &options.commonName},         {"O", &options.organization},
      {"OU", &options.organizationalUnit}, {"ST", &options.state},
      {"L", &options.locality},            {"C", &options.country},
  };
  for (const auto& [field, value] : entries) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(value->c_str());
    if (X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8, bytes, -1, -1, 0) != 1)
      ERR_clear_error();  // refused entries are left out, not reported
  }
  return name;
}

bool AddExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, nullptr, nullptr, nullptr, nullptr, 0);
  X509ExtensionPtr extension(X509V3_EXT_nconf_nid(nullptr, &context, nid, value.c_str()));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool AddExtensions(X509* certificate, const CertificateSettings& settings) {
  return AddExtension(certificate, NID_basic_constraints, "CA:FALSE") &&
         AddExtension(certificate, NID_key_usage,
                      "digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,"
                      "keyCertSign") &&
         AddExtension(certificate, NID_subject_alt_name, SubjectAltNameValue(settings)) &&
         AddExtension(certificate, NID_ext_key_usage, "serverAuth,clientAuth");
}

// Day-based adjustment: no seconds product that could overflow.
bool SetValidity(X509* certificate, int days) {
  time_t now = std::time(nullptr);
  return X509_time_adj_ex(X509_getm_notBefore(certificate), 0, 0, &now) != nullptr &&
         X509_time_adj_ex(X509_getm_notAfter(certificate), days, 0, &now) != nullptr;
}

}  // namespace

std::string SubjectAltNameValue(const CertificateSettings& settings) {
  std::string value;
  for (const std::string& domain : settings.domains) value += "DNS:" + domain + ",";
  for (const std::string& address : settings.ipAddresses) value += "IP:" + address + ",";
  return value + "URI:" + settings.applicationUri;
}

X509Ptr BuildCertificate(const Options& options, const CertificateSettings& settings,
                         EVP_PKEY* key, std::string& failure) {
  X509Ptr certificate(X509_new());
  X509NamePtr name = BuildName(options);
  if (!certificate || !name || X509_set_version(certificate.get(), X509_VERSION_3) != 1 ||
      ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1) != 1 ||
      X509_set_subject_name(certificate.get(), name.get()) != 1 ||
      X509_set_issuer_name(certificate.get(), name.get()) != 1 ||
      X509_set_pubkey(certificate.get(), key) != 1) {
    failure = "Не удалось создать сертификат";
    return nullptr;
  }
  if (!SetValidity(certificate.get(), settings.validityDays)) {
    // Short of memory, this fails only for an end past what X.509 time holds.
    failure = "Недопустимый срок действия " + std::to_string(settings.validityDays) +
              " дней: сертификат должен истекать не позже 9999 года";
    return nullptr;
  }
  if (!AddExtensions(certificate.get(), settings)) {
    failure = "Не удалось добавить расширения сертификата (альтернативное имя \"" +
              SubjectAltNameValue(settings) + "\")";
    return nullptr;
  }
  if (X509_sign(certificate.get(), key, settings.digest) <= 0) {
    failure = "Не удалось подписать сертификат";
    return nullptr;
  }
  return certificate;
}

}  // namespace virk::keyforge
