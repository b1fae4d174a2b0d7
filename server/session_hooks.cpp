#include "server/session_hooks.h"

namespace virk::server {
namespace {

// The access control's own handlers, which decide on and clean up sessions.
decltype(UA_AccessControl::activateSession) g_accessActivate = nullptr;
decltype(UA_AccessControl::closeSession) g_accessClose = nullptr;

UA_StatusCode OnSessionActivated(UA_Server* server, UA_AccessControl* ac, const UA_EndpointDescription* endpoint,
                                 const UA_ByteString* remoteCertificate, const UA_NodeId* sessionId,
                                 const UA_ExtensionObject* userIdentityToken, void** sessionContext) {
  const UA_StatusCode decision = g_accessActivate(server, ac, endpoint, remoteCertificate, sessionId,
                                                  userIdentityToken, sessionContext);
  if (decision != UA_STATUSCODE_GOOD) return decision;
  // The exchange start on the first session is added here with the methods.
  return UA_STATUSCODE_GOOD;
}

void OnSessionClosed(UA_Server* server, UA_AccessControl* ac, const UA_NodeId* sessionId, void* sessionContext) {
  g_accessClose(server, ac, sessionId, sessionContext);
  // The exchange stop after the last session is added here with the methods.
}

}  // namespace

void InstallSessionHooks(UA_AccessControl& accessControl) {
  g_accessActivate = accessControl.activateSession;
  g_accessClose = accessControl.closeSession;
  accessControl.activateSession = OnSessionActivated;
  accessControl.closeSession = OnSessionClosed;
}

}  // namespace virk::server
