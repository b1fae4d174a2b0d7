// Client sessions and the exchange: polling starts with the first activated
// session and stops when the last one closes.
#pragma once

#include <open62541/types.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "server/engine_link.h"

namespace virk::server {

class SessionTracker {
 public:
  // The exchange the sessions start and stop; null leaves it alone.
  void SetExchange(ExchangeControl* exchange);

  // After the access control accepted the session.
  void Activated(const UA_NodeId& sessionId);
  // After the access control closed the session.
  void Closed(const UA_NodeId& sessionId);

  std::vector<uint32_t> ActiveSessions() const;
  bool ClientStartedExchange() const;

 private:
  mutable std::mutex m_Lock;  // the session mutex
  ExchangeControl* m_Exchange = nullptr;
  std::vector<uint32_t> m_ActiveSessions;  // in order of activation
  bool m_ClientStartedExchange = false;
};

// The first 32 bits of the session identifier (the number of a numeric one).
uint32_t SessionNumber(const UA_NodeId& sessionId);

// The process's one tracker, which the session hooks feed.
SessionTracker& Sessions();

}  // namespace virk::server
