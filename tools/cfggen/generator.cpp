#include "generator.h"

namespace virk {
namespace {

constexpr size_t kMaxDevicesPerChannel = 255;  // Modbus unit addresses 1..255
constexpr size_t kMaxComPorts = 1000;
constexpr size_t kAddressSpan = 65000;  // register addresses wrap below 65535

const char kChannelHeader[] = "CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\n";
const char kDeviceHeader[] = "DEVICE;1;2;3;4;5;6;7\n";
const char kGroupHeader[] = "GROUP;1;2;3\n";
const char kTagHeader[] = "TAG;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17\n";

// Item i of `parts` gets its even share of `total`; the first ones take the rest.
size_t Share(size_t total, size_t parts, size_t i) {
  return total / parts + (i < total % parts ? 1 : 0);
}

// Fields 2 and 6..15 of a tag, one pattern per register kind and value type
// worth covering; "@" stands for the register address.
struct TagPattern {
  const char* fields;
  size_t registers;  // 0 for a single bit
};
const TagPattern kTagPatterns[] = {
    {"Входной регистр;@;0;0;Да;;;Вещ32;AB CD;Нет;;;;", 2},
    {"Выходной регистр;@;0;0;Да;Да;Групповая;Цел16;AB;Нет;;;;", 1},
    {"Входной регистр;@;0;0;Да;;;Цел32(знак);CD AB;Линейная шкала;0;1000;0;100", 2},
    {"Выходной регистр;@;0;0;Да;Да;Одиночная;Вещ64;AB CD EF GH;Множитель;0.5;;;", 4},
    {"Входное состояние;@;0;0;Да;;;;;;;;;", 0},
    {"Выходное состояние;@;0;0;Да;Да;Одиночная;;;;;;;", 0},
};

// Register and bit addresses handed out within one device.
struct AddressCounter {
  size_t registers = 0;
  size_t bits = 0;
  size_t Next(const TagPattern& pattern) {
    size_t& counter = pattern.registers ? registers : bits;
    const size_t address = 1 + counter % kAddressSpan;
    counter += pattern.registers ? pattern.registers : 1;
    return address;
  }
};

// One holding register read as the number it holds, high byte first ("BA").
const TagPattern kHoldingPattern = {"Выходной регистр;@;0;0;Да;Да;Групповая;Цел16;BA;Нет;;;;", 1};
const TagPattern kHoldingFloatPattern = {"Выходной регистр;@;0;0;Да;Да;Групповая;Вещ32;AB CD;Нет;;;;", 2};

const TagPattern& PatternOf(size_t tag, const GeneratorOptions& options) {
  if (!options.holdingOnly) return kTagPatterns[tag % std::size(kTagPatterns)];
  return options.holdingFloats && tag % 2 ? kHoldingFloatPattern : kHoldingPattern;
}

void AppendTag(std::string& out, size_t tag, const GeneratorOptions& options, AddressCounter& addresses) {
  const TagPattern& pattern = PatternOf(tag, options);
  const std::string fields = pattern.fields;
  const size_t at = fields.find('@');
  out += ";Tag_" + std::to_string(tag) + ';' + fields.substr(0, at) +
         std::to_string(addresses.Next(pattern)) + fields.substr(at + 1) + ';';
  switch (tag % 3) {
    case 0:  // a constant that fits every pattern's type, Boolean included
      out += "Константа;" + std::to_string(pattern.registers ? tag % 100 : tag % 2);
      break;
    case 1:
      out += "Случайное число";
      break;
    default:
      out += "Синусоида;" + std::to_string(tag % 60 + 1);
      break;
  }
  out += '\n';
}

void AppendChannel(std::string& out, const GeneratorOptions& options, size_t channel) {
  out += kChannelHeader;
  out += ";Channel_" + std::to_string(channel);
  if (options.com)
    out += ";COM-порт;MODBUS RTU;500;3;0;" + std::to_string(channel + 1) +
           ";9600;8;1;Нет;Нет;Нет;Нет\n";
  else
    out += ";TCP-соединение;MODBUS TCP;1000;3;0;127.0.0.1;" +
           std::to_string(options.tcpPorts.empty() ? options.tcpPort : options.tcpPorts[channel]) + ";5000\n";
}

void AppendGroup(std::string& out, size_t group, uint32_t periodMs) {
  static const char* const kPeriods[] = {"100;мс", "500;мс", "1;с"};
  out += kGroupHeader;
  out += ";Group_" + std::to_string(group) + ';' +
         (periodMs ? std::to_string(periodMs) + ";мс" : kPeriods[group % std::size(kPeriods)]) + '\n';
}

}  // namespace

std::string CheckGeneratorOptions(const GeneratorOptions& options) {
  if (options.channels == 0) return "at least one channel is needed";
  if (options.groups && !options.devices) return "groups need at least one device";
  if (options.tags && !options.groups) return "tags need at least one group";
  if (Share(options.devices, options.channels, 0) > kMaxDevicesPerChannel)
    return "more than 255 devices on one channel";
  if (options.com && options.channels > kMaxComPorts) return "more than 1000 COM channels";
  if (!options.com && options.tcpPort == 0) return "TCP port 0";
  if (!options.tcpPorts.empty() && options.tcpPorts.size() != options.channels)
    return "the TCP port list needs one port per channel";
  for (uint16_t port : options.tcpPorts)
    if (port == 0) return "TCP port 0";
  return {};
}

std::string GenerateConfiguration(const GeneratorOptions& options) {
  std::string out;
  out.reserve(options.tags * 96 + options.groups * 40 + options.devices * 60 + 128);
  size_t device = 0, group = 0, tag = 0;
  for (size_t c = 0; c < options.channels; ++c) {
    AppendChannel(out, options, c);
    const size_t devices = Share(options.devices, options.channels, c);
    for (size_t d = 0; d < devices; ++d, ++device) {
      out += kDeviceHeader;
      out += ";Device_" + std::to_string(device) + ';' + std::to_string(d + 1) + ';' +
             (options.emulated ? "Да" : "Нет") + ";125;2000;0;Да\n";
      AddressCounter addresses;
      const size_t groups = Share(options.groups, options.devices, device);
      for (size_t g = 0; g < groups; ++g, ++group) {
        AppendGroup(out, group, options.groupPeriodMs);
        const size_t tags = Share(options.tags, options.groups, group);
        if (tags) out += kTagHeader;
        for (size_t t = 0; t < tags; ++t, ++tag) AppendTag(out, tag, options, addresses);
      }
    }
  }
  return out;
}

}  // namespace virk
