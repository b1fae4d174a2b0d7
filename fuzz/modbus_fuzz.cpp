// Arbitrary device bytes against the protocol core: for each protocol and
// each request kind the received bytes go through extraction, validation and
// analysis, whole and in two chunks, and through the value conversions. The
// sanitizers report any read or write outside a buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "conversion.h"
#include "da_tag.h"
#include "modbus.h"
#include "modbus_frame.h"

namespace {

using virk::CDATag;

struct Request {
  int32_t kind;
  bool write;
  int32_t type;
};

// Every function the engine sends: reads 1..4, writes 5, 6, 15, 16.
constexpr Request kRequests[] = {
    {virk::kRegDiscreteInput, false, virk::kTypeBool}, {virk::kRegCoil, false, virk::kTypeBool},
    {virk::kRegInput, false, virk::kTypeFloat64},      {virk::kRegHolding, false, virk::kTypeBit0 + 3},
    {virk::kRegCoil, true, virk::kTypeBool},           {virk::kRegHolding, true, virk::kTypeUInt16},
    {virk::kRegCoil, true, virk::kTypeBool},           {virk::kRegHolding, true, virk::kTypeInt32},
};

void Feed(virk::CModbus& modbus, const uint8_t* data, size_t size, std::vector<CDATag*> tags) {
  if (!modbus.SetRawData(data, size)) return;
  if (modbus.ExtractFrame()) modbus.ValidateResponse();
  modbus.AnalyseResponse(tags);
}

// Wraps fuzzer bytes as a correctly framed response PDU, so that validation
// and analysis see well-formed frames with arbitrary contents.
std::vector<uint8_t> Framed(const virk::CModbus& modbus, const uint8_t* pdu, size_t size) {
  size = std::min<size_t>(size, 260);
  std::vector<uint8_t> frame(2 * size + 6);
  frame.resize(virk::FrameAdu(modbus.Protocol(), modbus.TransactionId(), pdu, size, frame.data()));
  return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t protocol = data[0] % 3;
  const Request& request = kRequests[data[1] % 8];
  const bool group = request.write && (data[1] & 8);
  const size_t split = data[3];
  const uint8_t* raw = data + 4;
  size_t rawSize = size - 4;

  UA_Variant pending;
  UA_Variant_init(&pending);
  const UA_Int32 number = int32_t(data[2]) * 1000 - 70000;
  UA_Variant_setScalarCopy(&pending, &number, &UA_TYPES[UA_TYPES_INT32]);

  std::vector<std::unique_ptr<CDATag>> owned;
  std::vector<CDATag*> tags;
  uint8_t cell[2] = {0, 0};
  for (uint16_t i = 0; i < 6; ++i) {
    auto tag = std::make_unique<CDATag>();
    tag->m_Data.m_RegKind = request.kind;
    tag->m_Data.m_Addr = uint16_t(10 + i * (data[2] % 3));
    tag->m_Data.m_ValueType = request.type;
    tag->m_Data.m_ByteOrder = data[2] % 5;
    tag->m_Data.m_bWriteGroup = group;
    if (i == 5) {  // a segment tag far into its segment
      tag->m_Data.m_RegsInSegment = 200;
      tag->m_Data.m_PosInSegment = uint16_t(data[2]);
    }
    tag->Init();
    tag->SetRegisterImage(cell);
    tag->SetPendingValue(&pending);
    tags.push_back(tag.get());
    owned.push_back(std::move(tag));
  }

  virk::CModbus modbus;
  modbus.SetProtocol(protocol);
  modbus.SetUnitAddress(data[2]);
  modbus.SetLimits(data[2], uint16_t(data[2]) * 9, data[3]);
  std::vector<CDATag*> list = tags;
  const bool built = request.write ? modbus.Request_Write(list) : modbus.Request_Read(list);
  if (built) modbus.FinishFrame();

  std::vector<uint8_t> framed;
  if (data[1] & 16) {
    framed = Framed(modbus, raw, rawSize);
    raw = framed.data();
    rawSize = framed.size();
  }
  Feed(modbus, raw, rawSize, list);
  if (split < rawSize) {
    Feed(modbus, raw, split, list);
    Feed(modbus, raw, rawSize, list);
  }

  // Conversions straight from the device bytes, for every type and order.
  UA_Variant value;
  UA_Variant_init(&value);
  if (rawSize >= 2) {
    const int32_t type = raw[0] % 27;
    const int32_t order = int32_t(raw[1] % 6) - 1;
    if (virk::GetConvData(raw + 2, rawSize - 2, type, order, value, cell)) {
      uint8_t out[8];
      virk::PutConvData(out, sizeof out, type, order, value, cell);
      virk::MergeIntoImage(type, value, cell);
    }
  }
  UA_Variant_clear(&value);
  UA_Variant_clear(&pending);
  return 0;
}
