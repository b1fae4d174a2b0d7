// The value a served sample configuration must show: "Setpoint" is emulated
// by the constant 215, published as it stands once the first poll is in.
#pragma once

#include "ua_calls.h"

namespace virk::server::test {

constexpr const char* kSampleSetpoint = "Plant_TCP.Boiler.Fast.Setpoint";
constexpr double kSampleSetpointValue = 215.0;

struct SetpointReading {
  UA_StatusCode service = UA_STATUSCODE_GOOD;  // of the last Read call
  UA_StatusCode status = UA_STATUSCODE_BADWAITINGFORINITIALDATA;  // of the value
  double value = 0;  // -1 when the value is no Double
};

// Reads until the value is Good, a Read call fails, or about 10 s have passed.
inline SetpointReading ReadSampleSetpoint(UA_Client* client) {
  SetpointReading reading;
  ReadResult read;
  ReadUntilGood(client, kSampleSetpoint, read);
  reading.service = read.service;
  if (read.service != UA_STATUSCODE_GOOD) return reading;
  reading.status = read.value.status;
  reading.value = read.Type() == &UA_TYPES[UA_TYPES_DOUBLE] ? read.Scalar<UA_Double>() : -1;
  return reading;
}

}  // namespace virk::server::test
