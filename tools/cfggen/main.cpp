// cfggen: writes a generated configuration, plain or scrambled.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/options.h"
#include "common/text.h"
#include "generator.h"

namespace {

const char kUsage[] =
    "usage: cfggen [options] OUTPUT\n"
    "  --channels N     channels (default 1)\n"
    "  --devices N      devices in all, spread over the channels (default 1)\n"
    "  --groups N       groups in all, spread over the devices (default 1)\n"
    "  --tags N         tags in all, spread over the groups (default 1)\n"
    "  --tcp PORT       TCP channels to 127.0.0.1:PORT (the default, port 502)\n"
    "  --com            COM channels on ports 1, 2, ... instead\n"
    "  --polled         devices are polled, not emulated\n"
    "  --opcua-port N   add an options section with this server port\n"
    "  --scrambled      write the scrambled .cfg form (default: plain text)\n";

constexpr size_t kMaxCount = 100000000;

bool ParseCount(const char* text, size_t max, size_t& value) {
  if (!*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 9)
    return false;
  value = std::stoul(text);
  return value <= max;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "cfggen: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  virk::GeneratorOptions options;
  bool scrambled = false;
  size_t opcuaPort = 0;
  std::string output;
  size_t tcpPort = options.tcpPort;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // Takes the number after the option into `target`.
    auto number = [&](size_t max, size_t& target) {
      if (i + 1 >= argc || !ParseCount(argv[i + 1], max, target)) return false;
      ++i;
      return true;
    };
    bool ok = true;
    if (arg == "--channels") ok = number(kMaxCount, options.channels);
    else if (arg == "--devices") ok = number(kMaxCount, options.devices);
    else if (arg == "--groups") ok = number(kMaxCount, options.groups);
    else if (arg == "--tags") ok = number(kMaxCount, options.tags);
    else if (arg == "--tcp") ok = number(65535, tcpPort);
    else if (arg == "--opcua-port") ok = number(65535, opcuaPort);
    else if (arg == "--com") options.com = true;
    else if (arg == "--polled") options.emulated = false;
    else if (arg == "--scrambled") scrambled = true;
    else if (arg == "-h" || arg == "--help") return std::fputs(kUsage, stdout), 0;
    else if (arg[0] != '-' && output.empty()) output = arg;
    else return Fail("unexpected argument " + arg + "\n" + kUsage);
    if (!ok) return Fail("bad value for " + arg + "\n" + kUsage);
  }
  options.tcpPort = uint16_t(tcpPort);
  if (output.empty()) return Fail(std::string("no output file\n") + kUsage);
  if (const std::string problem = virk::CheckGeneratorOptions(options); !problem.empty())
    return Fail(problem);

  std::u16string text = virk::Utf8ToUtf16(virk::GenerateConfiguration(options));
  if (opcuaPort) {
    virk::StartOptions start;
    start.port = std::to_string(opcuaPort);
    text = virk::WithStartOptions(text, start);
  }
  std::string error;
  if (!virk::WriteConfigText(output, text, scrambled, error)) return Fail(output + ": " + error);
  return 0;
}
