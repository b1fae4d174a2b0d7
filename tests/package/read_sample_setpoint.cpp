// Reads the sample's setpoint from a server already running on 127.0.0.1:PORT,
// one this program did not start (server.exe under Wine). Exit code 0 only
// when the value is Good and the emulated constant.
#include <cstdio>
#include <cstdlib>

#include "sample_setpoint.h"

int main(int argc, char** argv) {
  using namespace virk::server::test;
  const long port = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (port < 1 || port > 65535) {
    std::fputs("usage: read_sample_setpoint PORT\n", stderr);
    return 2;
  }
  OpcUaClient client;
  if (!Connect(client, LoopbackUrl(static_cast<uint16_t>(port)))) {
    std::fprintf(stderr, "no OPC UA session with 127.0.0.1:%ld\n", port);
    return 1;
  }
  const SetpointReading reading = ReadSampleSetpoint(client.get());
  std::printf("%s: read %s, value %s, %g\n", kSampleSetpoint, UA_StatusCode_name(reading.service),
              UA_StatusCode_name(reading.status), reading.value);
  const bool good = reading.service == UA_STATUSCODE_GOOD && reading.status == UA_STATUSCODE_GOOD &&
                    reading.value == kSampleSetpointValue;
  return good ? 0 : 1;
}
