// Taking a response apart, checking it against the request and moving its
// values into the tags. Every index into a buffer is bounded by the bytes
// actually received, whatever the device sends.
#include <algorithm>
#include <cstring>

#include "common/log.h"
#include "common/settings.h"
#include "conversion.h"
#include "da_tag.h"
#include "modbus.h"
#include "modbus_frame.h"
#include "value_types.h"

namespace virk {
namespace {

constexpr size_t kDataOffset = 3;  // unit, function, byte count

// A received big-endian 16-bit field against the expected value.
bool WordMatches(const uint8_t* received, uint16_t expected) {
  const uint8_t bytes[2] = {uint8_t(expected >> 8), uint8_t(expected)};
  return CmpBufferValue(received, bytes);
}

// Hands the tag the value and takes its previous one back in `value`, the
// buffer for the next tag of the response.
void StoreTagValue(CDATag& tag, UA_Variant& value, uint32_t status, UA_DateTime time) {
  tag.ExchangeValue(value, status, time);
  tag.SetDone(true);
}

}  // namespace

uint32_t ExceptionStatus(uint8_t code) {
  switch (code) {
    case kExceptionIllegalFunction:
      return kStatusBadNotSupported;
    case kExceptionIllegalAddress:
    case kExceptionIllegalValue:
      return kStatusBadOutOfRange;
    default:
      return kStatusBadDeviceFailure;
  }
}

bool CModbus::SetRawData(const uint8_t* data, size_t length) {
  if (length > kBufferSize) return false;
  if (length) std::memcpy(m_Raw, data, length);
  m_RawLength = length;
  m_PduLength = 0;
  m_ResponseFun = 0;
  m_SplitTaken = false;
  return true;
}

bool CModbus::Fail(FrameCheck check) {
  m_CheckResult = check;
  return false;
}

bool CModbus::ExtractFrame() {
  const size_t raw = m_RawLength;
  size_t pdu = 0;
  m_PduLength = 0;
  m_ResponseFun = 0;
  if (m_Protocol == kProtocolAscii) {
    if (raw <= 4) return Fail(FrameCheck::kIncomplete);
    pdu = (raw - 5) / 2;
  } else if (m_Protocol == kProtocolTcp) {
    if (raw < 7) return Fail(FrameCheck::kIncomplete);
    pdu = raw - 6;
  } else {
    if (raw < 3) return Fail(FrameCheck::kIncomplete);
    pdu = raw - 2;
  }
  if (pdu <= 2) return Fail(FrameCheck::kIncomplete);
  if (m_Protocol == kProtocolAscii) {
    for (size_t i = 0; i < pdu; ++i)
      m_Pdu[i] = HexToByte(char(m_Raw[1 + 2 * i]), char(m_Raw[2 + 2 * i]));
  } else {
    std::memcpy(m_Pdu, m_Raw + (m_Protocol == kProtocolTcp ? 6 : 0), pdu);
  }
  m_PduLength = pdu;
  m_CheckResult = FrameCheck::kValid;
  return true;
}

bool CModbus::ValidateResponse() {
  m_CheckResult = FrameCheck::kValid;
  m_ResponseFun = 0;
  const size_t b = m_PduLength;
  if (b < 3) return Fail(FrameCheck::kIncomplete);
  if (m_Protocol == kProtocolTcp) {
    if (!WordMatches(m_Raw, m_TransactionId)) {
      LogFormat(LogLevel::Debug, kLogUserland, "CModbus::ValidateResponse CmpBufferValue failed = %u",
                unsigned(m_Raw[0] << 8 | m_Raw[1]));
      return Fail(FrameCheck::kTransactionIdMismatch);
    }
  }
  const uint8_t fun = m_Pdu[1];
  // The request is kept as it was: a retry of the same request must still
  // accept a normal answer after an exception or a broken frame.
  uint8_t responseFun = kExceptionFunction;
  if (!(fun & 0x80)) {
    if (m_Pdu[0] != m_Addr || fun != m_Reqv.Fun) {
      LogFormat(LogLevel::Debug, kLogUserland,
                "CModbus::ValidateResponse Addr or function failed =  %u != %u  %u != %u", m_Pdu[0], m_Addr,
                fun, m_Reqv.Fun);
      return Fail(m_Pdu[0] != m_Addr ? FrameCheck::kUnitMismatch : FrameCheck::kFunctionMismatch);
    }
    responseFun = fun;
    switch (fun) {
      case kFcReadCoils: case kFcReadDiscreteInputs: case kFcReadHoldingRegisters: case kFcReadInputRegisters:
        if (m_Pdu[2] != m_Reqv.nBytes) {
          LogFormat(LogLevel::Debug, kLogUserland, "CModbus::ValidateResponse bytes m_Addr = %u function = %u (%u != %u)",
                    m_Addr, fun, m_Pdu[2], m_Reqv.nBytes);
          m_Reqv.nBytes = m_Pdu[2];
        }
        if (b < m_Reqv.nBytes + kDataOffset) {
          LogFormat(LogLevel::Debug, kLogUserland,
                    "CModbus::ValidateResponse bytes 2 m_Addr = %u function = %u (size_used %u < 3 + bytes %u)",
                    m_Addr, fun, unsigned(b), m_Reqv.nBytes);
          return Fail(FrameCheck::kIncomplete);
        }
        break;
      case kFcWriteSingleCoil: case kFcWriteSingleRegister:
        if (b >= 4 && !WordMatches(m_Pdu + 2, m_Reqv.StartAddr)) {
          LogFormat(LogLevel::Debug, kLogUserland, "CModbus::ValidateResponse CmpBufferValue DO RO = %u",
                    m_Reqv.StartAddr);
          return Fail(FrameCheck::kEchoMismatch);
        }
        if (b <= 5) return Fail(FrameCheck::kIncomplete);
        break;
      case kFcWriteMultipleCoils: case kFcWriteMultipleRegisters:
        if (b < 6) return Fail(FrameCheck::kIncomplete);
        if (!WordMatches(m_Pdu + 2, m_Reqv.StartAddr)) {
          LogFormat(LogLevel::Debug, kLogUserland, "CModbus::ValidateResponse CmpBufferValue m_Reqv.StartAddr = %u",
                    m_Reqv.StartAddr);
          return Fail(FrameCheck::kEchoMismatch);
        }
        if (!WordMatches(m_Pdu + 4, m_Reqv.nRegs)) {
          LogFormat(LogLevel::Debug, kLogUserland, "CModbus::ValidateResponse CmpBufferValuem_Reqv.nRegs = %u",
                    m_Reqv.nRegs);
          return Fail(FrameCheck::kEchoMismatch);
        }
        break;
      default:
        break;
    }
  }
  if (!ChecksumMatches()) return Fail(FrameCheck::kChecksumError);
  m_ResponseFun = responseFun;
  return true;
}

bool CModbus::ChecksumMatches() const {
  const size_t raw = m_RawLength;
  if (m_Protocol == kProtocolTcp) return true;
  if (m_Protocol == kProtocolAscii) {
    if (raw < 5) return false;
    // The PDU holds exactly the character pairs between ':' and the LRC.
    char expected[2];
    ByteToHex(ModbusLrc(m_Pdu, m_PduLength), expected);
    return m_Raw[raw - 4] == uint8_t(expected[0]) && m_Raw[raw - 3] == uint8_t(expected[1]);
  }
  if (raw < 2) return false;
  const uint16_t crc = ModbusCrc16(m_Raw, raw - 2);
  const uint8_t expected[2] = {uint8_t(crc), uint8_t(crc >> 8)};
  return CmpBufferValue(m_Raw + raw - 2, expected);
}

bool CModbus::AnalyseResponse(std::vector<CDATag*>& tags) {
  switch (m_ResponseFun) {
    case kFcReadCoils: case kFcReadDiscreteInputs:
      AnalyseDiscretes(tags);
      return true;
    case kFcReadHoldingRegisters: case kFcReadInputRegisters:
      AnalyseRegisters(tags);
      return true;
    case kFcWriteSingleCoil: case kFcWriteSingleRegister:
      MarkSingleWriteDone(tags);
      return m_PduLength >= 6 && CmpBufferValue(m_Pdu + 4, m_Reqv.Value);
    case kFcWriteMultipleCoils: case kFcWriteMultipleRegisters:
      return AnalyseMultipleWrite(tags);
    case kExceptionFunction:
      AnalyseException(tags);
      return true;
    default:
      return false;
  }
}

uint8_t CModbus::ExceptionCode() const {
  return m_ResponseFun == kExceptionFunction && m_PduLength >= 3 ? m_Pdu[2] : 0;
}

void CModbus::AnalyseException(std::vector<CDATag*>& tags) {
  const uint8_t code = ExceptionCode();
  const bool read = m_Reqv.Fun >= kFcReadCoils && m_Reqv.Fun <= kFcReadInputRegisters;
  // One missing address must not spoil a whole block: read it in halves
  // until the addresses that fail stand alone, and keep the rest Good.
  if (read && code == kExceptionIllegalAddress && m_Reqv.nRegs > 1 && !tags.empty() &&
      tags.back()->Address() > tags.front()->Address()) {
    const uint32_t key = uint32_t(tags.front()->RegKind()) << 16 | m_Reqv.StartAddr;
    m_SplitLimits[key] = uint16_t(m_Reqv.nRegs / 2);
    m_SplitTaken = true;
    return;
  }
  for (CDATag* tag : tags) {
    // A write's tags keep what their polls read; the writer is told instead.
    if (read)
      tag->SetStatus(KeptValueStatus(*tag, ExceptionStatus(code)));
    tag->SetDone(true);
  }
}

void CModbus::AnalyseDiscretes(std::vector<CDATag*>& tags) {
  const uint8_t* data = m_Pdu + kDataOffset;
  // Bits exist only in the bytes both announced and received.
  const size_t dataBytes = std::min<size_t>(m_Reqv.nBytes, m_PduLength - kDataOffset);
  // One reading of the clock for the whole response.
  const UA_DateTime now = UA_DateTime_now();
  UA_Variant value;
  UA_Variant_init(&value);
  for (CDATag* tag : tags) {
    const int index = int(tag->EffectiveAddress()) - int(m_Reqv.StartAddr);
    if (index < 0 || index >= m_Reqv.nRegs || size_t(index / 8) >= dataBytes) continue;
    const UA_Boolean on = DiscreteBit(data, uint32_t(index));
    SetScalarValue(value, &on, &UA_TYPES[UA_TYPES_BOOLEAN]);
    StoreTagValue(*tag, value, kStatusGood, now);
  }
  UA_Variant_clear(&value);  // the last tag's previous value
}

void CModbus::AnalyseRegisters(std::vector<CDATag*>& tags) {
  const uint8_t* data = m_Pdu + kDataOffset;
  const size_t dataBytes = std::min<size_t>(m_Reqv.nBytes, m_PduLength - kDataOffset);
  const UA_DateTime now = UA_DateTime_now();
  UA_Variant value;
  UA_Variant_init(&value);
  for (CDATag* tag : tags) {
    const int index = int(tag->EffectiveAddress()) - int(m_Reqv.StartAddr);
    const size_t offset = size_t(2 * index);
    // A value not wholly received is left for a later request.
    if (index < 0 || offset + RawByteCount(tag->ValueType()) > dataBytes) continue;
    if (!GetConvData(data + offset, dataBytes - offset, tag->ValueType(), tag->ByteOrder(), value,
                     tag->RegisterImage())) {
      // A type that cannot be decoded is a configuration fault: say so
      // through the status instead of asking the device again forever.
      tag->SetStatus(kStatusBadConfigurationError);
      tag->SetDone(true);
      continue;
    }
    uint32_t status = kStatusGood;
    tag->ApplyTransform(value, status);
    StoreTagValue(*tag, value, status, now);
  }
  UA_Variant_clear(&value);
}

void CModbus::MarkSingleWriteDone(std::vector<CDATag*>& tags) const {
  if (tags.empty()) return;
  CDATag& written = *tags.front();
  written.SetDone(true);
  if (m_ResponseFun != kFcWriteSingleRegister) return;
  // Byte and bit tags of the register went out with it through the image.
  for (CDATag* tag : tags)
    if (UsesRegisterImage(tag->ValueType()) && tag->EffectiveAddress() == written.EffectiveAddress())
      tag->SetDone(true);
}

bool CModbus::AnalyseMultipleWrite(std::vector<CDATag*>& tags) {
  if (m_PduLength < 6) return false;
  if (!WordMatches(m_Pdu + 2, m_Reqv.StartAddr) || !WordMatches(m_Pdu + 4, m_Reqv.nRegs)) return false;
  const uint32_t end = uint32_t(m_Reqv.StartAddr) + m_Reqv.nRegs;
  for (CDATag* tag : tags) {
    if (m_ResponseFun == kFcWriteMultipleRegisters) tag->SetPendingValue(nullptr);
    if (tag->EffectiveAddress() < end) tag->SetDone(true);
  }
  return true;
}

}  // namespace virk
