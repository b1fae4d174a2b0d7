// What the OPC UA side asks of the exchange engine: a device's status
// variables, the published value of a tag, the read and write hooks of the
// item that owns a published variable, and starting and stopping the exchange.
#pragma once

#include <open62541/types.h>

#include <cstdint>
#include <vector>

#include "common/item.h"
#include "server/exchange/tag_value.h"

namespace virk {
class CGlobal;
}

namespace virk::server {

// Names of a device's status variables, in publishing order.
constexpr const char* kStatusVariableNames[] = {"_Emulation", "_Exchange", "_Connection", "_ResponseTime",
                                                "_ScanTime"};

struct StatusVariable {
  const char* name;
  CBaseTag* variable;
};

// The five status variables of a device in publishing order, after
// "_Emulation" and "_Exchange" were set again from the device's flags (status
// Good). Empty for an item that is not a device of the engine.
std::vector<StatusVariable> PrepareStatusVariables(CItem& device);

// The published value of a tag item; null for any other item.
CBaseTag* TagValue(CItem& item);

// Called before an unmonitored variable is read; never talks to a device.
void ClientRead(CItem& owner, CBaseTag& variable);

// Carries a client's write of `value` to `variable` out through its owner (a
// group writes to the device, a device stores "_Emulation" or "_Exchange").
// Good when done; BadOutOfService when the device's exchange or the
// polling is off; BadTimeout when the request went out and no answer came
// (the outcome is unknown); BadNotConnected or BadNoCommunication, at once,
// when the link or the device is down; BadCommunicationError for a garbled
// answer; the exception's status when the device refused the value.
UA_StatusCode ClientWrite(CItem& owner, CBaseTag& variable, const UA_Variant& value);

// Starting and stopping the polling threads of every channel.
class ExchangeControl {
 public:
  virtual ~ExchangeControl() = default;
  virtual bool IsStarted() const = 0;
  virtual void StartExchange() = 0;
  virtual void StopExchange() = 0;
};

// The engine's own start and stop.
class GlobalExchange : public ExchangeControl {
 public:
  explicit GlobalExchange(CGlobal& global) : m_Global(global) {}
  bool IsStarted() const override;
  void StartExchange() override;
  void StopExchange() override;

 private:
  CGlobal& m_Global;
};

}  // namespace virk::server
