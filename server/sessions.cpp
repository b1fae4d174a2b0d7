#include "server/sessions.h"

#include <algorithm>
#include <cstring>

#include "server/logging.h"

namespace virk::server {

uint32_t SessionNumber(const UA_NodeId& sessionId) {
  uint32_t number = 0;
  std::memcpy(&number, &sessionId.identifier, sizeof number);
  return number;
}

void SessionTracker::SetExchange(ExchangeControl* exchange) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Exchange = exchange;
}

void SessionTracker::Activated(const UA_NodeId& sessionId) {
  std::lock_guard<std::mutex> lock(m_Lock);
  const uint32_t number = SessionNumber(sessionId);
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_USERLAND, "Client connected. Session ID: %zu\n", size_t(number));
  // A client re-activates its session after a new secure channel; counting it
  // twice would keep the exchange running after the client has gone.
  if (std::find(m_ActiveSessions.begin(), m_ActiveSessions.end(), number) == m_ActiveSessions.end())
    m_ActiveSessions.push_back(number);
  if (!m_ClientStartedExchange && m_Exchange != nullptr) {
    m_Exchange->StartExchange();
    m_ClientStartedExchange = true;
  }
}

void SessionTracker::Closed(const UA_NodeId& sessionId) {
  std::lock_guard<std::mutex> lock(m_Lock);
  const uint32_t number = SessionNumber(sessionId);
  ServerLog(UA_LOGLEVEL_INFO, UA_LOGCATEGORY_USERLAND, "Client disconnected. Session ID: %zu\n", size_t(number));
  const auto found = std::find(m_ActiveSessions.begin(), m_ActiveSessions.end(), number);
  if (found != m_ActiveSessions.end()) m_ActiveSessions.erase(found);
  if (m_ActiveSessions.empty() && m_ClientStartedExchange && m_Exchange != nullptr) {
    m_Exchange->StopExchange();
    m_ClientStartedExchange = false;
  }
}

std::vector<uint32_t> SessionTracker::ActiveSessions() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_ActiveSessions;
}

bool SessionTracker::ClientStartedExchange() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_ClientStartedExchange;
}

SessionTracker& Sessions() {
  static SessionTracker tracker;
  return tracker;
}

}  // namespace virk::server
