#include "pymodbus_slave.h"

#include <cstdio>

namespace virk::test {

bool PymodbusSlave::StartTcp(const std::string& framer, const std::string& units,
                             const std::string& initJson) {
  return Start(framer, units, initJson, std::string(), 0);
}

bool PymodbusSlave::StartSerial(const std::string& device, const std::string& framer,
                                uint32_t baud, const std::string& units,
                                const std::string& initJson) {
  return Start(framer, units, initJson, device, baud);
}

bool PymodbusSlave::Start(const std::string& framer, const std::string& units,
                          const std::string& initJson, const std::string& device, uint32_t baud) {
  std::vector<std::string> argv = {"/usr/bin/python3", VIRK_PEERS_DIR "/pymodbus_slave.py",
                                   "--framer", framer, "--units", units, "--init", initJson};
  argv.insert(argv.end(), m_Options.begin(), m_Options.end());
  if (!device.empty()) {
    argv.insert(argv.end(), {"--device", device, "--baud", std::to_string(baud)});
  }
  if (!m_Process.Start(argv)) return false;
  // Python and pymodbus take a moment to load on a busy machine.
  std::string line;
  unsigned port = 0;
  if (!m_Process.ReadLine(line, 20000) || std::sscanf(line.c_str(), "READY %u", &port) != 1) {
    m_Process.Stop();
    return false;
  }
  m_Port = uint16_t(port);
  return true;
}

}  // namespace virk::test
