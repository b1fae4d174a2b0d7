#include "server/access_control.h"

#include <open62541/plugin/accesscontrol_default.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/logging.h"
#include "server/login_throttle.h"
#include "server/remote_address.h"

namespace virk::server {
namespace {

// The default plug-in's own handlers, which the rules below wrap.
decltype(UA_AccessControl::activateSession) g_checkLogin = nullptr;
decltype(UA_AccessControl::getUserAccessLevel) g_accessLevel = nullptr;
decltype(UA_AccessControl::getUserRightsMask) g_rightsMask = nullptr;

bool g_anonymousReadOnly = false;
LoginThrottle g_throttle;  // used on the server thread only
// The session context of read-only anonymous sessions; only its address counts.
const char g_readOnlyMark = 0;

enum class TokenKind { kAnonymous, kUserName, kCertificate, kOther };

TokenKind KindOf(const UA_ExtensionObject& token) {
  if (token.encoding == UA_EXTENSIONOBJECT_ENCODED_NOBODY) return TokenKind::kAnonymous;
  if (token.encoding < UA_EXTENSIONOBJECT_DECODED) return TokenKind::kOther;
  const UA_DataType* type = token.content.decoded.type;
  if (type == &UA_TYPES[UA_TYPES_ANONYMOUSIDENTITYTOKEN]) return TokenKind::kAnonymous;
  if (type == &UA_TYPES[UA_TYPES_USERNAMEIDENTITYTOKEN]) return TokenKind::kUserName;
  if (type == &UA_TYPES[UA_TYPES_X509IDENTITYTOKEN]) return TokenKind::kCertificate;
  return TokenKind::kOther;
}

// Left to itself the library takes a password or a certificate identity on
// the None endpoint whenever it can encrypt or sign the token alone; the
// session that follows would still travel unsigned and in the clear, open to
// reading and tampering.
UA_StatusCode RefuseOverNone(TokenKind kind, const UA_ExtensionObject& token) {
  if (kind == TokenKind::kUserName) {
    const UA_String& user = static_cast<const UA_UserNameIdentityToken*>(token.content.decoded.data)->userName;
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "Login of user \"%.*s\" over the endpoint without encryption (None) refused: passwords are only "
              "accepted over encrypted endpoints",
              static_cast<int>(user.length), reinterpret_cast<const char*>(user.data));
  } else {
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "Login with a user certificate over the endpoint without encryption (None) refused: certificates "
              "are only accepted over encrypted endpoints");
  }
  return UA_STATUSCODE_BADSECURITYMODEINSUFFICIENT;
}

void NoteFailedLogin(const std::string& address, LoginThrottle::Clock::time_point now) {
  const std::optional<LoginThrottle::Notice> notice = g_throttle.Failed(address, now);
  if (notice)
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "%zu failed logins from %s within a minute: its logins are refused for %lld ms, longer with every "
              "further failure",
              notice->failures, address.empty() ? "an unknown address" : address.c_str(),
              static_cast<long long>(notice->penalty.count()));
}

UA_StatusCode ActivateSession(UA_Server* server, UA_AccessControl* ac, const UA_EndpointDescription* endpoint,
                              const UA_ByteString* remoteCertificate, const UA_NodeId* sessionId,
                              const UA_ExtensionObject* token, void** sessionContext) {
  const TokenKind kind = KindOf(*token);
  // Anonymous sessions carry no secret to guess, so only logins are throttled.
  const bool login = kind == TokenKind::kUserName || kind == TokenKind::kCertificate;
  const std::string& address = CurrentRemoteAddress();
  const auto now = LoginThrottle::Clock::now();
  UA_StatusCode decision = UA_STATUSCODE_GOOD;
  if (login && g_throttle.Refuses(address, now))
    decision = UA_STATUSCODE_BADUSERACCESSDENIED;
  else if (login && endpoint->securityMode == UA_MESSAGESECURITYMODE_NONE)
    decision = RefuseOverNone(kind, *token);
  else
    decision = g_checkLogin(server, ac, endpoint, remoteCertificate, sessionId, token, sessionContext);
  if (decision != UA_STATUSCODE_GOOD) {
    if (login) NoteFailedLogin(address, now);
    return decision;
  }
  if (kind == TokenKind::kAnonymous && g_anonymousReadOnly) *sessionContext = const_cast<char*>(&g_readOnlyMark);
  return UA_STATUSCODE_GOOD;
}

UA_Byte UserAccessLevel(UA_Server* server, UA_AccessControl* ac, const UA_NodeId* sessionId, void* sessionContext,
                        const UA_NodeId* nodeId, void* nodeContext) {
  const UA_Byte level = g_accessLevel(server, ac, sessionId, sessionContext, nodeId, nodeContext);
  return IsReadOnlySession(sessionContext) ? UA_Byte(level & (UA_ACCESSLEVELMASK_READ | UA_ACCESSLEVELMASK_HISTORYREAD))
                                           : level;
}

UA_UInt32 UserRightsMask(UA_Server* server, UA_AccessControl* ac, const UA_NodeId* sessionId, void* sessionContext,
                         const UA_NodeId* nodeId, void* nodeContext) {
  return IsReadOnlySession(sessionContext) ? 0 : g_rightsMask(server, ac, sessionId, sessionContext, nodeId, nodeContext);
}

// The address space mirrors the item tree: nodes added or deleted by the
// node management services would have no item (or leave one without its
// nodes, or take the methods away). The library's own calls are not asked.
UA_Boolean RefuseAddNode(UA_Server*, UA_AccessControl*, const UA_NodeId*, void*, const UA_AddNodesItem*) {
  return false;
}
UA_Boolean RefuseAddReference(UA_Server*, UA_AccessControl*, const UA_NodeId*, void*, const UA_AddReferencesItem*) {
  return false;
}
UA_Boolean RefuseDeleteNode(UA_Server*, UA_AccessControl*, const UA_NodeId*, void*, const UA_DeleteNodesItem*) {
  return false;
}
UA_Boolean RefuseDeleteReference(UA_Server*, UA_AccessControl*, const UA_NodeId*, void*,
                                 const UA_DeleteReferencesItem*) {
  return false;
}

// The library makes one token policy per token type and security policy, and
// every endpoint would list them all under the same id; one per token type
// is enough (an endpoint picks the security policy for each itself).
void KeepOnePolicyPerTokenType(UA_AccessControl& ac) {
  size_t kept = 0;
  for (size_t i = 0; i < ac.userTokenPoliciesSize; ++i) {
    UA_UserTokenPolicy& policy = ac.userTokenPolicies[i];
    bool seen = false;
    for (size_t k = 0; k < kept; ++k) seen = seen || ac.userTokenPolicies[k].tokenType == policy.tokenType;
    if (seen) {
      UA_UserTokenPolicy_clear(&policy);
    } else if (kept++ != i) {
      ac.userTokenPolicies[kept - 1] = policy;
      UA_UserTokenPolicy_init(&policy);
    }
  }
  ac.userTokenPoliciesSize = kept;
}

void LogRulesInForce(const ServerContext& context, bool secured) {
  const char* anonymous = !context.allowAnonymous       ? "refused"
                          : context.anonymousReadOnly ? "allowed to browse, read and subscribe only"
                                                      : "allowed";
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER,
            "Access control: anonymous sessions %s; users with a password: %zu%s; %s; %s", anonymous, context.logins.size(),
            secured ? ", over encrypted endpoints only" : "",
            secured ? "trusted client certificates log in over encrypted endpoints" : "no certificate logins",
            context.anonymousReadOnly && context.allowAnonymous
                ? "logged-in sessions may write and call the methods"
                : "every admitted session may read, write and call the methods");
}

bool IsDefaultAccessControlNote(const char* message) {
  return std::strncmp(message, "AccessControl:", 14) == 0 ||
         std::strstr(message, "Authentication configured, but no encrypting SecurityPolicy") != nullptr;
}

void FilterLibraryNotes(void* next, UA_LogLevel level, UA_LogCategory category, const char* message, va_list args) {
  if (IsDefaultAccessControlNote(message)) return;
  const auto* logger = static_cast<const UA_Logger*>(next);
  logger->log(logger->context, level, category, message, args);
}

}  // namespace

UA_StatusCode ApplyAccessControl(UA_ServerConfig& config, const ServerContext& context, bool secured) {
  std::vector<UA_UsernamePasswordLogin> logins;
  logins.reserve(context.logins.size());
  for (const auto& [name, password] : context.logins)
    logins.push_back({UA_STRING(const_cast<char*>(name.c_str())), UA_STRING(const_cast<char*>(password.c_str()))});
  // The plug-in copies the logins.
  const UA_StatusCode status =
      UA_AccessControl_default(&config, context.allowAnonymous, nullptr, logins.size(), logins.data());
  if (status != UA_STATUSCODE_GOOD) return status;

  UA_AccessControl& ac = config.accessControl;
  KeepOnePolicyPerTokenType(ac);
  g_anonymousReadOnly = context.anonymousReadOnly;
  g_throttle = LoginThrottle();
  g_checkLogin = ac.activateSession;
  g_accessLevel = ac.getUserAccessLevel;
  g_rightsMask = ac.getUserRightsMask;
  ac.activateSession = ActivateSession;
  ac.getUserAccessLevel = UserAccessLevel;
  ac.getUserRightsMask = UserRightsMask;
  ac.allowAddNode = RefuseAddNode;
  ac.allowAddReference = RefuseAddReference;
  ac.allowDeleteNode = RefuseDeleteNode;
  ac.allowDeleteReference = RefuseDeleteReference;
  TrackRemoteAddresses(config);
  LogRulesInForce(context, secured);
  return UA_STATUSCODE_GOOD;
}

bool IsReadOnlySession(const void* sessionContext) { return sessionContext == &g_readOnlyMark; }

UA_Logger* ConfigurationLogger() {
  static UA_Logger filter{FilterLibraryNotes, PLogLogger(), nullptr};
  return &filter;
}

}  // namespace virk::server
