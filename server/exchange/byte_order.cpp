#include "byte_order.h"

namespace virk {
namespace {

constexpr uint8_t kOrder2[2][2] = {{0, 1}, {1, 0}};
constexpr uint8_t kOrder4[4][4] = {{0, 1, 2, 3}, {2, 3, 0, 1}, {1, 0, 3, 2}, {3, 2, 1, 0}};
constexpr uint8_t kOrder8[4][8] = {{0, 1, 2, 3, 4, 5, 6, 7},
                                   {6, 7, 4, 5, 2, 3, 0, 1},
                                   {1, 0, 3, 2, 5, 4, 7, 6},
                                   {7, 6, 5, 4, 3, 2, 1, 0}};

}  // namespace

const std::vector<std::string>& ByteOrderNames(uint16_t sizeInRegisters) {
  static const std::vector<std::string> kNone = {""};
  static const std::vector<std::string> kTwo = {"AB", "BA"};
  static const std::vector<std::string> kFour = {"AB CD", "CD AB", "BA DC", "DC BA"};
  static const std::vector<std::string> kEight = {"AB CD EF GH", "GH EF CD AB", "BA DC FE HG",
                                                  "HG FE DC BA"};
  switch (sizeInRegisters) {
    case 1:
      return kTwo;
    case 2:
      return kFour;
    case 4:
      return kEight;
    default:
      return kNone;
  }
}

const uint8_t* ByteOrderMap(size_t valueBytes, int32_t order) {
  if (order < 0) return nullptr;
  if (valueBytes == 2 && order < 2) return kOrder2[order];
  if (valueBytes == 4 && order < 4) return kOrder4[order];
  if (valueBytes == 8 && order < 4) return kOrder8[order];
  return nullptr;
}

bool DecodeOrdered(const uint8_t* transmitted, size_t valueBytes, int32_t order, uint64_t& value) {
  value = 0;
  const uint8_t* map = ByteOrderMap(valueBytes, order);
  if (!map) return false;
  for (size_t i = 0; i < valueBytes; ++i) value |= uint64_t(transmitted[i]) << (8 * map[i]);
  return true;
}

bool EncodeOrdered(uint64_t value, size_t valueBytes, int32_t order, uint8_t* transmitted) {
  const uint8_t* map = ByteOrderMap(valueBytes, order);
  if (!map) return false;
  for (size_t i = 0; i < valueBytes; ++i) transmitted[i] = uint8_t(value >> (8 * map[i]));
  return true;
}

}  // namespace virk
