// A pymodbus slave of known contents (see pymodbus_slave.py) as a child
// process: Modbus TCP, RTU over TCP, or RTU or ASCII on a serial device.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"

namespace virk::test {

class PymodbusSlave {
 public:
  // framer: "socket" (Modbus TCP), "rtu" or "ascii". Listens on 127.0.0.1.
  bool StartTcp(const std::string& framer = "socket", const std::string& units = "1",
                const std::string& initJson = "{}");
  bool StartSerial(const std::string& device, const std::string& framer, uint32_t baud,
                   const std::string& units = "1", const std::string& initJson = "{}");
  // Options for the next start: "--size N" serves only N addresses of each
  // kind (the rest answer illegal address); "--log-writes" prints
  // "WRITE <kind> <address> <values>" for every value a request writes.
  void SetOptions(std::vector<std::string> options) { m_Options = std::move(options); }
  void Stop() { m_Process.Stop(); }
  uint16_t Port() const { return m_Port; }
  ChildProcess& Process() { return m_Process; }

 private:
  bool Start(const std::string& framer, const std::string& units, const std::string& initJson,
             const std::string& device, uint32_t baud);

  ChildProcess m_Process;
  std::vector<std::string> m_Options;
  uint16_t m_Port = 0;
};

}  // namespace virk::test
