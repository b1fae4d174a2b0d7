// Certificates for the server and its clients, made by the openssl command
// line, and an open62541 client that connects with one of them.
#pragma once

#include <open62541/client.h>
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/plugin/log.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace virk::server::test {

// A self-signed certificate (DER) and its key (PEM) for `applicationUri`.
inline bool MakeCertificate(const std::string& der, const std::string& pem, const std::string& applicationUri) {
  const std::string pemCertificate = der + ".pem";
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=virk test' -keyout '" + pem + "' -out '" +
      pemCertificate + "' -addext 'subjectAltName=URI:" + applicationUri +
      ",DNS:localhost' "
      "-addext 'keyUsage=digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment' "
      "-addext 'extendedKeyUsage=serverAuth,clientAuth' 2>/dev/null && "
      "openssl x509 -in '" + pemCertificate + "' -outform der -out '" + der + "'";
  return std::system(command.c_str()) == 0;
}

inline UA_ByteString ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  UA_ByteString result = UA_BYTESTRING_NULL;
  if (UA_ByteString_allocBuffer(&result, bytes.size()) == UA_STATUSCODE_GOOD && !bytes.empty())
    std::memcpy(result.data, bytes.data(), bytes.size());
  return result;
}

// A quiet client presenting its own certificate and key under
// `applicationUri` and trusting the server's certificate. The security
// policy and mode are the caller's to choose before connecting.
class CertificateClient {
 public:
  CertificateClient(const std::string& certificate, const std::string& key, const std::string& applicationUri,
                    const std::string& serverCertificate) {
    static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &quiet;
    // Never ask the console for a key password.
    config.privateKeyPasswordCallback = [](UA_ClientConfig*, UA_ByteString*) -> UA_StatusCode {
      return UA_STATUSCODE_BADSECURITYCHECKSFAILED;
    };
    UA_ByteString own = ReadFileBytes(certificate), ownKey = ReadFileBytes(key);
    UA_ByteString trusted = ReadFileBytes(serverCertificate);
    m_SetUp = UA_ClientConfig_setDefaultEncryption(&config, own, ownKey, &trusted, 1, nullptr, 0);
    UA_ByteString_clear(&own);
    UA_ByteString_clear(&ownKey);
    UA_ByteString_clear(&trusted);
    if (m_SetUp != UA_STATUSCODE_GOOD) {
      UA_ClientConfig_clear(&config);
      return;
    }
    UA_String_clear(&config.clientDescription.applicationUri);
    config.clientDescription.applicationUri = UA_STRING_ALLOC(applicationUri.c_str());
    config.timeout = 5000;
    m_Client = UA_Client_newWithConfig(&config);
  }
  ~CertificateClient() {
    if (m_Client != nullptr) UA_Client_delete(m_Client);
  }
  CertificateClient(const CertificateClient&) = delete;
  CertificateClient& operator=(const CertificateClient&) = delete;

  // The status of the set-up; a client that is not set up connects to nothing.
  UA_StatusCode SetUp() const { return m_SetUp; }
  UA_ClientConfig* Config() const { return UA_Client_getConfig(m_Client); }
  UA_Client* get() const { return m_Client; }

  // Logs in with a certificate as the user identity (an X.509 token) instead
  // of anonymously; the token is signed with `key`.
  UA_StatusCode UseCertificateIdentity(const std::string& certificate, const std::string& key) {
    UA_ByteString own = ReadFileBytes(certificate), ownKey = ReadFileBytes(key);
    const UA_StatusCode status = UA_ClientConfig_setAuthenticationCert(Config(), own, ownKey);
    UA_ByteString_clear(&own);
    UA_ByteString_clear(&ownKey);
    return status;
  }

  // Opens a session, as `user` when one is given.
  UA_StatusCode Connect(const std::string& url, const std::string& user = "", const std::string& password = "") {
    return user.empty() ? UA_Client_connect(m_Client, url.c_str())
                        : UA_Client_connectUsername(m_Client, url.c_str(), user.c_str(), password.c_str());
  }

  // Connects, then reads over the new session; the status of the first step
  // that fails.
  UA_StatusCode ConnectAndRead(const std::string& url, const std::string& user = "",
                               const std::string& password = "") {
    UA_StatusCode status = Connect(url, user, password);
    if (status != UA_STATUSCODE_GOOD) return status;
    UA_Variant value;
    UA_Variant_init(&value);
    status = UA_Client_readValueAttribute(m_Client, UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_SERVERSTATUS_STATE), &value);
    UA_Variant_clear(&value);
    UA_Client_disconnect(m_Client);
    return status;
  }

  void Choose(const std::string& policyUri, UA_MessageSecurityMode mode) {
    UA_String_clear(&Config()->securityPolicyUri);
    Config()->securityPolicyUri = UA_STRING_ALLOC(policyUri.c_str());
    Config()->securityMode = mode;
  }

 private:
  UA_StatusCode m_SetUp = UA_STATUSCODE_BADINTERNALERROR;
  UA_Client* m_Client = nullptr;
};

}  // namespace virk::server::test
