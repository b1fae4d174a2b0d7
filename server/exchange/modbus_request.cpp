// Building and framing requests.
#include <algorithm>

#include "common/log.h"
#include "common/settings.h"
#include "conversion.h"
#include "da_tag.h"
#include "modbus.h"
#include "modbus_frame.h"
#include "request_planner.h"
#include "value_types.h"

namespace virk {
namespace {

// Largest quantities a standard device accepts in one multiple write.
constexpr uint16_t kMaxWriteRegisters = 123;
constexpr uint16_t kMaxWriteCoils = 1968;

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value >> 8);
  at[1] = uint8_t(value);
}

template <typename Key>
void SortTags(std::vector<CDATag*>& tags, Key key) {
  const auto less = [key](const CDATag* a, const CDATag* b) { return key(*a) < key(*b); };
  // Lists usually arrive sorted already; skip the sort then.
  if (!std::is_sorted(tags.begin(), tags.end(), less)) std::stable_sort(tags.begin(), tags.end(), less);
}

uint8_t ReadFunction(int32_t kind) {
  // By register kind: discrete inputs, coils, input registers, holding registers.
  static const uint8_t kByKind[] = {kFcReadDiscreteInputs, kFcReadCoils, kFcReadInputRegisters,
                                    kFcReadHoldingRegisters};
  return (kind >= 0 && kind <= 3) ? kByKind[kind] : 0;
}

uint8_t WriteFunction(const CDATag& tag) {
  if (!tag.m_Data.m_Write) return 0;
  const bool single = !tag.IsWriteGroup() && tag.SizeInRegisters() == 1;
  if (tag.RegKind() == kRegCoil) return single ? kFcWriteSingleCoil : kFcWriteMultipleCoils;
  if (tag.RegKind() == kRegHolding) return single ? kFcWriteSingleRegister : kFcWriteMultipleRegisters;
  return 0;
}

bool PendingIsOn(const CDATag& tag) {
  double value = 0;
  return tag.PendingValue() && VariantToDouble(*tag.PendingValue(), value) && value != 0;
}

// Byte and bit tags carry their new value into the register image first,
// so the register goes out with its other bits as last read. Without an
// image (the group is not polling) the rest of the register is unknown and
// the write is refused rather than clearing it.
bool MergePendingIntoImages(const std::vector<CDATag*>& tags) {
  for (CDATag* tag : tags) {
    if (!UsesRegisterImage(tag->ValueType())) continue;
    if (!tag->RegisterImage() || !tag->PendingValue() ||
        !MergeIntoImage(tag->ValueType(), *tag->PendingValue(), tag->RegisterImage())) {
      LogFormat(LogLevel::Debug, kLogUserland, "CModbus::Request_Write no register image %d",
                int(tag->EffectiveAddress()));
      return false;
    }
  }
  return true;
}

// The register bytes of a tag's pending value, after the reverse transformation.
bool EncodePending(const CDATag& tag, uint8_t* target, size_t capacity) {
  if (UsesRegisterImage(tag.ValueType()))
    return PutConvData(target, capacity, tag.ValueType(), tag.ByteOrder(), UA_Variant{}, tag.RegisterImage());
  if (!tag.PendingValue()) return false;
  UA_Variant value;
  UA_Variant_init(&value);
  UA_Variant_copy(tag.PendingValue(), &value);
  tag.ApplyReverseTransform(value);
  const bool ok = PutConvData(target, capacity, tag.ValueType(), tag.ByteOrder(), value, nullptr);
  UA_Variant_clear(&value);
  return ok;
}

}  // namespace

void CModbus::SetLimits(uint8_t maxRegisters, uint16_t maxDiscretes, uint8_t maxFragment) {
  m_MaxRegisters = (maxRegisters == 0 || maxRegisters > 125) ? 125 : maxRegisters;
  m_MaxDiscretes = (maxDiscretes == 0 || maxDiscretes > 2000) ? 2000 : maxDiscretes;
  m_MaxFragment = std::min<uint8_t>(maxFragment, 123);
}

void CModbus::PutHeader(uint8_t fun, uint16_t start, uint16_t quantity) {
  m_Pdu[0] = m_Addr;
  m_Pdu[1] = fun;
  PutWord(m_Pdu + 2, start);
  PutWord(m_Pdu + 4, quantity);
  m_PduLength = 6;
}

uint16_t CModbus::ReadLimit(int32_t kind, uint16_t start, uint16_t limit) const {
  if (m_SplitLimits.empty()) return limit;
  const auto split = m_SplitLimits.find(uint32_t(kind) << 16 | start);
  return split == m_SplitLimits.end() ? limit : std::min(limit, split->second);
}

bool CModbus::Request_Read(std::vector<CDATag*>& tags) {
  m_PduLength = 0;
  m_ResponseFun = 0;
  const uint8_t fun = tags.empty() ? 0 : ReadFunction(tags.front()->RegKind());
  if (!fun) {
    LogFormat(LogLevel::Debug, kLogUserland, "Request_Read Fun<%d> StartReg<%d> nRegs<%d> nBytes<%d>\n",
              m_Reqv.Fun, m_Reqv.StartAddr, m_Reqv.nRegs, m_Reqv.nBytes);
    return false;
  }
  SortTags(tags, [](const CDATag& t) { return t.Address(); });
  const bool registers = tags.front()->IsRegisterKind();
  const uint16_t limit = ReadLimit(tags.front()->RegKind(), tags.front()->Address(),
                                   registers ? m_MaxRegisters : m_MaxDiscretes);
  const uint16_t count = PlanRead(tags, limit, m_MaxFragment);
  m_Reqv = ModbusRequest{};
  m_Reqv.Fun = fun;
  m_Reqv.StartAddr = tags.front()->Address();
  m_Reqv.nRegs = count;
  m_Reqv.nBytes = registers ? uint16_t(2 * count) : uint16_t((count + 7) / 8);
  PutHeader(fun, m_Reqv.StartAddr, count);
  LogFormat(LogLevel::Debug, kLogUserland, "Request_Read Fun<%d> StartReg<%d> nRegs<%d> nBytes<%d>\n",
            m_Reqv.Fun, m_Reqv.StartAddr, m_Reqv.nRegs, m_Reqv.nBytes);
  return m_PduLength == 6;
}

bool CModbus::Request_Write(std::vector<CDATag*>& tags) {
  m_PduLength = 0;
  m_ResponseFun = 0;
  if (tags.empty()) return false;
  // Writes address effective addresses, so they are ordered by them.
  SortTags(tags, [](const CDATag& t) { return t.EffectiveAddress(); });
  CDATag& first = *tags.front();
  const uint8_t fun = WriteFunction(first);
  if (!fun) return false;
  if (!first.IsWriteGroup()) {
    const uint16_t address = first.EffectiveAddress();
    tags.erase(std::remove_if(tags.begin(), tags.end(),
                              [address](const CDATag* t) { return t->EffectiveAddress() != address; }),
               tags.end());
  }
  m_Reqv = ModbusRequest{};
  m_Reqv.Fun = fun;
  if (fun == kFcWriteSingleCoil || fun == kFcWriteSingleRegister) return BuildSingleWrite(first, tags);
  return BuildMultipleWrite(tags);
}

bool CModbus::BuildSingleWrite(CDATag& tag, const std::vector<CDATag*>& tags) {
  m_Reqv.StartAddr = tag.EffectiveAddress();
  m_Reqv.nRegs = 1;
  m_Reqv.nBytes = 2;
  if (m_Reqv.Fun == kFcWriteSingleCoil) {
    if (!tag.PendingValue()) return false;
    m_Reqv.Value[0] = PendingIsOn(tag) ? 0xFF : 0x00;
    m_Reqv.Value[1] = 0x00;
  } else if (!MergePendingIntoImages(tags) || !EncodePending(tag, m_Reqv.Value, 2)) {
    return false;
  }
  PutHeader(m_Reqv.Fun, m_Reqv.StartAddr, 0);
  m_Pdu[4] = m_Reqv.Value[0];
  m_Pdu[5] = m_Reqv.Value[1];
  return true;
}

bool CModbus::BuildMultipleWrite(std::vector<CDATag*>& tags) {
  const bool coils = m_Reqv.Fun == kFcWriteMultipleCoils;
  const uint16_t limit = coils ? std::min(m_MaxDiscretes, kMaxWriteCoils)
                               : std::min<uint16_t>(m_MaxRegisters, kMaxWriteRegisters);
  const uint16_t count = PlanWrite(tags, limit);
  const uint16_t start = tags.front()->EffectiveAddress();
  const size_t dataBytes = coils ? (count + 7u) / 8u : 2u * count;
  m_Reqv.StartAddr = start;
  m_Reqv.nRegs = count;
  m_Reqv.nBytes = uint16_t(dataBytes);
  PutHeader(m_Reqv.Fun, start, count);
  m_Pdu[6] = uint8_t(dataBytes);
  uint8_t* data = m_Pdu + 7;
  std::fill(data, data + dataBytes, 0);
  m_PduLength = 7 + dataBytes;
  if (coils) {
    for (const CDATag* tag : tags) {
      const unsigned bit = unsigned(tag->EffectiveAddress() - start);
      if (bit < count && PendingIsOn(*tag)) data[bit / 8] |= uint8_t(1u << (bit % 8));
    }
    return m_PduLength > 7;
  }
  if (!MergePendingIntoImages(tags)) return false;
  int previous = -1;
  for (const CDATag* tag : tags) {
    const int address = tag->EffectiveAddress();
    if (address == previous) continue;  // the first tag at an address writes it
    previous = address;
    const size_t offset = 2u * size_t(address - start);
    if (offset >= dataBytes) break;
    if (!EncodePending(*tag, data + offset, dataBytes - offset)) return false;
  }
  return m_PduLength == 7 + 2u * count;
}

void CModbus::FinishFrame() {
  if (m_Protocol == kProtocolTcp) ++m_TransactionId;
  m_FrameLength = FrameAdu(m_Protocol, m_TransactionId, m_Pdu, m_PduLength, m_Frame);
}

size_t CModbus::ExpectedResponseLength(size_t pduLength) const {
  if (pduLength == 0) return 0;
  if (m_Protocol == kProtocolAscii) return 2 * pduLength + 5;
  if (m_Protocol == kProtocolTcp) return pduLength + 6;
  return pduLength + 2;
}

}  // namespace virk
