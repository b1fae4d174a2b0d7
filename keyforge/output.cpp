#include "output.h"

#include <openssl/pem.h>

#include "openssl_ptr.h"

namespace virk::keyforge {

namespace {

std::string BioContents(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

BioPtr ReadOnlyBio(const std::string& bytes) {
  return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// i2d-style encoder into a byte string; empty on failure.
template <typename T, typename Encoder>
std::string DerBytes(T* object, Encoder encode) {
  unsigned char* der = nullptr;
  const int length = encode(object, &der);
  if (length <= 0) return {};
  std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  return bytes;
}

bool WriteIntermediates(EVP_PKEY* key, X509* certificate, const IntermediateFiles& files,
                        std::string& failure) {
  BioPtr keyPem(BIO_new(BIO_s_mem()));
  BioPtr certificatePem(BIO_new(BIO_s_mem()));
  if (!keyPem || !certificatePem ||
      PEM_write_bio_PrivateKey(keyPem.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_X509(certificatePem.get(), certificate) != 1) {
    failure = "Не удалось закодировать ключ и сертификат в PEM";
    return false;
  }
  std::string error;
  if (!WriteFileBytes(files.KeyPath(), BioContents(keyPem.get()), true, error) ||
      !WriteFileBytes(files.CertificatePath(), BioContents(certificatePem.get()), true, error)) {
    failure = "Не удалось записать временный файл " + error;
    return false;
  }
  return true;
}

// Reads an intermediate PEM file back and encodes the object as DER; empty
// on failure. For the RSA key i2d_PrivateKey gives the type-specific form,
// PKCS #1 RSAPrivateKey.
template <typename Owner, typename PemReader, typename Encoder>
std::string DerFromPemFile(const std::string& path, PemReader read, Encoder encode,
                           std::string& error) {
  const std::optional<std::string> pem = ReadFileBytes(path, error);
  BioPtr bio = pem ? ReadOnlyBio(*pem) : nullptr;
  Owner object(bio ? read(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  return object ? DerBytes(object.get(), encode) : std::string();
}

// Writes one result from the DER read back; `readError` tells why it is
// empty when reading back failed.
bool WriteResult(const std::string& der, const std::string& readError, const std::string& path,
                 bool ownerOnly, const std::string& what, std::string& failure) {
  if (der.empty()) {
    failure = "Не удалось прочитать " + what + " из временного файла " + readError;
    return false;
  }
  std::string error;
  if (WriteFileBytes(path, der, ownerOnly, error)) return true;
  failure = "Не удалось записать " + what + " " + error;
  return false;
}

}  // namespace

bool WriteCertificateFiles(EVP_PKEY* key, X509* certificate, const IntermediateFiles& intermediates,
                           const std::string& certificateFolder, const std::string& keyFolder,
                           std::string& failure) {
  if (!WriteIntermediates(key, certificate, intermediates, failure)) return false;
  std::string error;
  const std::string certificateDer = DerFromPemFile<X509Ptr>(
      intermediates.CertificatePath(), PEM_read_bio_X509, i2d_X509, error);
  if (!WriteResult(certificateDer, error, certificateFolder + "/server_cert.der", false,
                   "сертификат", failure))
    return false;
  const std::string keyDer = DerFromPemFile<PkeyPtr>(intermediates.KeyPath(),
                                                     PEM_read_bio_PrivateKey, i2d_PrivateKey, error);
  return WriteResult(keyDer, error, keyFolder + "/server_key.pem", true, "ключ", failure);
}

}  // namespace virk::keyforge
