// The polled layout the server benchmarks and the soak share: holding
// registers on TCP channels, one slave port per channel, one group period,
// written scrambled with an options section for the OPC UA port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/text.h"
#include "generator.h"

namespace virk::bench {

inline bool WritePolledConfiguration(const std::string& path, int channels, int groupsPerChannel,
                                     int tagsPerGroup, uint32_t periodMs, const std::vector<uint16_t>& slavePorts,
                                     uint16_t opcuaPort, std::string& error,
                                     const std::function<std::string(std::string)>& edit = {},
                                     bool holdingFloats = false) {
  GeneratorOptions generator;
  generator.channels = generator.devices = channels;
  generator.groups = channels * groupsPerChannel;
  generator.tags = generator.groups * tagsPerGroup;
  generator.emulated = false;
  generator.tcpPorts = slavePorts;
  generator.groupPeriodMs = periodMs;
  generator.holdingOnly = true;
  generator.holdingFloats = holdingFloats;
  if (const std::string problem = CheckGeneratorOptions(generator); !problem.empty()) return error = problem, false;
  StartOptions start;
  start.port = std::to_string(opcuaPort);
  std::string text = GenerateConfiguration(generator);
  if (edit) text = edit(std::move(text));
  return WriteConfigText(path, WithStartOptions(Utf8ToUtf16(text), start), true, error);
}

}  // namespace virk::bench
