#include "server/session_hooks.h"

#include "server/sessions.h"

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
  Sessions().Activated(*sessionId);
  return UA_STATUSCODE_GOOD;
}

void OnSessionClosed(UA_Server* server, UA_AccessControl* ac, const UA_NodeId* sessionId, void* sessionContext) {
  g_accessClose(server, ac, sessionId, sessionContext);
  Sessions().Closed(*sessionId);
}

}  // namespace

void InstallSessionHooks(UA_AccessControl& accessControl) {
  g_accessActivate = accessControl.activateSession;
  g_accessClose = accessControl.closeSession;
  accessControl.activateSession = OnSessionActivated;
  accessControl.closeSession = OnSessionClosed;
}

}  // namespace virk::server
