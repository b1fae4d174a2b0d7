// Builds the plain text of a configuration of any size, for benchmarks,
// load tests and trials against a loopback Modbus slave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace virk {

struct GeneratorOptions {
  // Totals over the whole file, spread as evenly as they go: devices over
  // channels, groups over devices, tags over groups.
  size_t channels = 1;
  size_t devices = 1;
  size_t groups = 1;
  size_t tags = 1;
  // Emulated devices answer from their emulators; otherwise every device is
  // polled over a Modbus TCP channel to 127.0.0.1:tcpPort.
  bool emulated = true;
  // COM channels (port numbers 1, 2, ...) instead of TCP channels.
  bool com = false;
  uint16_t tcpPort = 502;
  // One port per channel, channel c to 127.0.0.1:tcpPorts[c], when each
  // channel has a slave of its own; empty: every channel to tcpPort.
  std::vector<uint16_t> tcpPorts;
  // Every group polled at this period; 0: 100 ms, 500 ms and 1 s in turn.
  uint32_t groupPeriodMs = 0;
  // Every tag one holding register (Цел16, high byte first, so it reads as
  // the register's number) instead of a mix of kinds and types.
  bool holdingOnly = false;
  // With holdingOnly: every second tag a 32-bit float over two registers.
  bool holdingFloats = false;
};

// Empty when the options can make a file the loader accepts, else the reason.
std::string CheckGeneratorOptions(const GeneratorOptions& options);

// The record lines, LF-ended, without options or users sections. Register
// addresses start at 1 in every device and grow tag by tag, so a slave that
// serves the first registers of each kind answers all of them.
std::string GenerateConfiguration(const GeneratorOptions& options);

}  // namespace virk
