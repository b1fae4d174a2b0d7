#include "server/create.h"

#include <open62541/plugin/pki_default.h>
#include <open62541/server_config_default.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/options.h"
#include "server/access_control.h"
#include "server/compact_nodestore.h"
#include "server/logging.h"
#include "server/session_hooks.h"

namespace virk::server {
namespace {

// Owns byte strings handed to the library by pointer.
class ByteStrings {
 public:
  ByteStrings() = default;
  ByteStrings(const ByteStrings&) = delete;
  ByteStrings& operator=(const ByteStrings&) = delete;
  ~ByteStrings() {
    for (UA_ByteString& bytes : m_Items) {
      UA_ByteString_memZero(&bytes);  // the key must not linger in freed memory
      UA_ByteString_clear(&bytes);
    }
  }
  std::vector<UA_ByteString> m_Items;
};

bool ReadWholeFile(const std::string& path, ByteStrings& into) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Failed to open %s", path.c_str());
    return false;
  }
  const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  UA_ByteString bytes;
  UA_ByteString_init(&bytes);
  if (file.bad() || UA_ByteString_allocBuffer(&bytes, content.size()) != UA_STATUSCODE_GOOD) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Failed to read %s", path.c_str());
    return false;
  }
  std::copy(content.begin(), content.end(), bytes.data);
  into.m_Items.push_back(bytes);
  return true;
}

// Every entry of the folder that is not a folder is a trusted certificate.
bool ListTrustedFiles(const std::string& folder, std::vector<std::string>& files) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError)) files.push_back(it->path().u8string());
  }
  if (ec) {
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER, "Loading trusted List failed: %s", ec.message().c_str());
    return false;
  }
  return true;
}

// The library would otherwise prompt on standard input for the password of an
// encrypted key and hang a server started without a console.
UA_StatusCode RefusePrivateKeyPassword(UA_ServerConfig*, UA_ByteString*) {
  return UA_STATUSCODE_BADSECURITYCHECKSFAILED;
}

UA_StatusCode SetTrustList(UA_CertificateVerification& verification, const ByteStrings& trusted) {
  if (verification.clear != nullptr) verification.clear(&verification);
  return UA_CertificateVerification_Trustlist(&verification, trusted.m_Items.data(), trusted.m_Items.size(),
                                              nullptr, 0, nullptr, 0);
}

// The library checks this only when the server starts listening, where it
// adds a line of its own that reads like a second fault; checked here, the
// start-up ends with the reason alone.
UA_StatusCode CheckApplicationUri(UA_CertificateVerification& verification, const UA_ByteString& certificate,
                                  const std::string& path) {
  static const UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
  const UA_Logger* logger = verification.logging;
  verification.logging = &quiet;
  const UA_String uri = UA_STRING(const_cast<char*>(kApplicationUri));
  const UA_StatusCode status = verification.verifyApplicationURI(&verification, &certificate, &uri);
  verification.logging = logger;
  if (status != UA_STATUSCODE_GOOD)
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER,
              "The server certificate %s does not carry the application URI %s among its names (%s); make it "
              "again with keyforge, which writes that URI unless -URI names another",
              path.c_str(), kApplicationUri, UA_StatusCode_name(status));
  return status;
}

UA_StatusCode AddSecurity(UA_ServerConfig& config, const ServerContext& context, const ByteStrings& trusted) {
  ByteStrings own;  // certificate, then key
  if (!ReadWholeFile(context.certificatePath, own) || !ReadWholeFile(context.privateKeyPath, own))
    return UA_STATUSCODE_BADNOTFOUND;
  UA_StatusCode status = SetTrustList(config.secureChannelPKI, trusted);
  if (status == UA_STATUSCODE_GOOD) status = SetTrustList(config.sessionPKI, trusted);
  if (status != UA_STATUSCODE_GOOD) return status;
  status = CheckApplicationUri(config.secureChannelPKI, own.m_Items[0], context.certificatePath);
  if (status != UA_STATUSCODE_GOOD) return status;
  status = UA_ServerConfig_addAllSecurityPolicies(&config, &own.m_Items[0], &own.m_Items[1]);
  if (status != UA_STATUSCODE_GOOD)
    ServerLog(UA_LOGLEVEL_ERROR, UA_LOGCATEGORY_SERVER,
              "Private key %s cannot be used (damaged, not PEM or protected by a password): %s",
              context.privateKeyPath.c_str(), UA_StatusCode_name(status));
  return status;
}

void SetApplicationDescription(UA_ApplicationDescription& description) {
  UA_ApplicationDescription_clear(&description);
  description.applicationType = UA_APPLICATIONTYPE_SERVER;
  description.applicationName = UA_LOCALIZEDTEXT_ALLOC("en-US", kApplicationName);
  description.applicationUri = UA_STRING_ALLOC(kApplicationUri);
  description.productUri = UA_STRING_ALLOC(kProductUri);
}

static_assert(kMaxSessionsLimit.max + kSpareSecureChannels <= UINT16_MAX, "the library counts channels in 16 bits");

// Everything between the minimal configuration and the server's creation.
UA_StatusCode Configure(UA_ServerConfig& config, ServerContext& context) {
  config.maxSubscriptions = kMaxSubscriptions;
  config.maxMonitoredItems = kMaxMonitoredItems;
  // Every session keeps its channel. With spare channels a full server still
  // takes the next connection (and purges a channel without a session when
  // the spares run out) and refuses the session with the session limit's own
  // status; the cap on the time-out frees the places of abandoned sessions.
  config.maxSessions = context.maxSessions;
  config.maxSecureChannels = UA_UInt16(context.maxSessions + kSpareSecureChannels);
  config.maxSessionTimeout = context.maxSessionTimeoutMs;
  config.privateKeyPasswordCallback = RefusePrivateKeyPassword;
  context.logins = LoadLogins(context.usersText, context.configPath);

  std::vector<std::string> trustedFiles;
  if (!context.trustFolder.empty() && !ListTrustedFiles(context.trustFolder, trustedFiles))
    return UA_STATUSCODE_BADNOTFOUND;
  ByteStrings trusted;
  for (const std::string& file : trustedFiles)
    if (!ReadWholeFile(file, trusted)) return UA_STATUSCODE_BADNOTFOUND;

  const bool haveOwnCertificate = !context.certificatePath.empty() && !context.privateKeyPath.empty();
  const bool secured = haveOwnCertificate && !trusted.m_Items.empty();
  if (haveOwnCertificate && !secured)
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "No trusted certificates found, only the endpoint without encryption (None) is offered");
  if (secured) {
    const UA_StatusCode status = AddSecurity(config, context, trusted);
    if (status != UA_STATUSCODE_GOOD) return status;
  }

  // Anonymous access and the logins apply whether or not encryption is offered.
  UA_StatusCode status = ApplyAccessControl(config, context, secured);
  if (status != UA_STATUSCODE_GOOD) return status;
  InstallSessionHooks(config.accessControl);
  if (!secured && !context.logins.empty())
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "User logins are configured, but passwords are only accepted over encrypted endpoints and "
              "none is offered (set derFile, pemFile and trustFolder)");
  if (secured) {
    status = UA_ServerConfig_addAllEndpoints(&config);
    if (status != UA_STATUSCODE_GOOD) return status;
  }

  SetApplicationDescription(config.applicationDescription);
  for (size_t i = 0; i < config.endpointsSize; ++i) SetApplicationDescription(config.endpoints[i].server);
  return UA_STATUSCODE_GOOD;
}

}  // namespace

ServerContext::~ServerContext() {
  if (server != nullptr) UA_Server_delete(server);
}

UA_StatusCode Create(ServerContext& context) {
  UA_ServerConfig config;
  std::memset(&config, 0, sizeof config);
  // Set before the minimal configuration so the event loop and the
  // certificate checks built there log through the server's logger too.
  config.logging = ConfigurationLogger();
  UA_StatusCode status = UA_ServerConfig_setMinimalCustomBuffer(&config, context.port, nullptr, 0, 0);
  if (status == UA_STATUSCODE_GOOD) status = InstallCompactNodestore(config);
  if (status == UA_STATUSCODE_GOOD) status = Configure(config, context);
  if (status != UA_STATUSCODE_GOOD) {
    UA_ServerConfig_clean(&config);
    return status;
  }
  context.server = UA_Server_newWithConfig(&config);
  if (context.server == nullptr) return UA_STATUSCODE_BADOUTOFMEMORY;
  context.namespaceIndex = UA_Server_addNamespace(context.server, kNamespaceUri);
  return UA_STATUSCODE_GOOD;
}

}  // namespace virk::server
