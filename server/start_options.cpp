#include <string>

#include "common/options.h"
#include "server/logging.h"
#include "server/server_context.h"

namespace virk::server {
namespace {

void ReplaceIfGiven(std::string& stored, const std::string& text) {
  if (!text.empty()) stored = text;
}

uint32_t LimitValue(const std::string& text, const StartLimit& limit) {
  if (StartLimitRefused(text, limit))
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER, "%s option \"%s\" is not a number %u..%u, using %u",
              limit.key, text.c_str(), unsigned(limit.min), unsigned(limit.max), unsigned(limit.fallback));
  return StartLimitValue(text, limit);
}

}  // namespace

std::string ApplyStartOptions(const std::vector<std::string>& values, ServerContext& context) {
  auto text = [&values](StartValue index) -> const std::string& {
    static const std::string kEmpty;
    return index < values.size() ? values[index] : kEmpty;
  };

  const std::string& port = text(kStartPort);
  context.port = StartPort(port);
  if (!port.empty() && port != std::to_string(context.port))
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "Port option \"%s\" is not a port number 1..65535, listening on %u", port.c_str(),
              unsigned(context.port));

  context.allowAnonymous = StartAllowAnonymous(text(kStartAllowAnonymous));
  const std::string& readOnly = text(kStartAnonymousReadOnly);
  context.anonymousReadOnly = readOnly == "true";
  if (!StartFlagKnown(readOnly))
    ServerLog(UA_LOGLEVEL_WARNING, UA_LOGCATEGORY_SERVER,
              "%s option \"%s\" is neither true nor false, anonymous sessions keep every right", kAnonymousReadOnlyKey,
              readOnly.c_str());
  ReplaceIfGiven(context.certificatePath, text(kStartDerFile));
  ReplaceIfGiven(context.privateKeyPath, text(kStartPemFile));
  ReplaceIfGiven(context.trustFolder, text(kStartTrustFolder));
  ReplaceIfGiven(context.usersText, text(kStartUsers));
  context.maxSessions = UA_UInt16(LimitValue(text(kStartMaxSessions), kMaxSessionsLimit));
  context.maxSessionTimeoutMs = LimitValue(text(kStartMaxSessionTimeout), kMaxSessionTimeoutLimit);
  DemotionRule demotion;
  demotion.failedExchanges = LimitValue(text(kStartDemoteAfter), kDemoteAfterLimit);
  demotion.skipMs = LimitValue(text(kStartDemoteMs), kDemoteMsLimit);
  context.global.SetDemotion(demotion);
  if (demotion.IsOn())
    ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_SERVER,
              "A device is left out of the polls for %u ms after %u failed exchanges in a row",
              unsigned(demotion.skipMs), unsigned(demotion.failedExchanges));
  return text(kStartLog);
}

}  // namespace virk::server
