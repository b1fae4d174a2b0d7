#include "settings.h"

#include <climits>

namespace virk::keyforge {

const EVP_MD* DigestByName(const std::string& name) {
  if (name == "Sha1") return EVP_sha1();
  if (name == "Sha224") return EVP_sha224();
  if (name == "Sha256") return EVP_sha256();
  if (name == "Sha384") return EVP_sha384();
  if (name == "Sha512") return EVP_sha512();
  return nullptr;
}

std::string ReadCertificateSettings(const Options& options, CertificateSettings& settings) {
  settings.digest = DigestByName(options.algorithm);
  if (settings.digest == nullptr) {
    return "Неизвестный алгоритм \"" + options.algorithm +
           "\": допустимы Sha1, Sha224, Sha256, Sha384, Sha512";
  }
  const int64_t bits = ParseDecimal(options.keySize);
  if (bits < kMinKeyBits || bits > kMaxKeyBits) {
    return "Недопустимая длина ключа \"" + options.keySize + "\": допустимо от " +
           std::to_string(kMinKeyBits) + " до " + std::to_string(kMaxKeyBits) + " бит";
  }
  settings.keyBits = static_cast<int>(bits);
  const int64_t days = ParseDecimal(options.validity);
  if (days < 1 || days > INT_MAX) {
    return "Недопустимый срок действия \"" + options.validity +
           "\": нужно целое число дней больше нуля";
  }
  settings.validityDays = static_cast<int>(days);
  settings.applicationUri =
      options.applicationUri.empty() ? kDefaultApplicationUri : options.applicationUri;
  // A comma would start another entry of the alternative name.
  if (settings.applicationUri.find_first_of(",\n") != std::string::npos) {
    return "Недопустимый URI приложения \"" + settings.applicationUri +
           "\": запятая и перевод строки не допускаются";
  }
  settings.domains = SplitList(options.domains);
  settings.ipAddresses = SplitList(options.ipAddresses);
  return {};
}

}  // namespace virk::keyforge
