// The Modbus protocol of one device: builds a request for a list of tags,
// frames it for RTU, ASCII or TCP, takes a received byte stream apart, checks
// it against the request and moves the response values into the tags. No
// I/O: the caller sends the frame and hands back what it received.
//
// One request: Request_Read or Request_Write (the list shrinks to the tags
// the request serves), FinishFrame, send Frame(); then after every chunk
// received: SetRawData with all bytes so far, ExtractFrame and, if it
// succeeds, ValidateResponse; read on while CheckResult() is kIncomplete.
// After a valid response AnalyseResponse marks the tags it served done. A
// tag it could not serve stays undone (its value lay outside what the device
// sent), so a caller that repeats requests until every tag is done must stop
// when a pass serves none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "frame_check.h"

namespace virk {

class CDATag;

// The request last built.
struct ModbusRequest {
  uint8_t Fun = 0;
  uint16_t StartAddr = 0;
  uint16_t nRegs = 0;   // registers, coils or discrete inputs
  uint16_t nBytes = 0;  // data bytes expected in the response, or sent by a multiple write
  uint8_t Value[2] = {0, 0};  // what a single write sent, as in the frame
};

// Modbus function codes, as the frames carry them.
enum FunctionCode : uint8_t {
  kFcReadCoils = 1,
  kFcReadDiscreteInputs = 2,
  kFcReadHoldingRegisters = 3,
  kFcReadInputRegisters = 4,
  kFcWriteSingleCoil = 5,
  kFcWriteSingleRegister = 6,
  kFcWriteMultipleCoils = 15,
  kFcWriteMultipleRegisters = 16,
};

class CModbus {
 public:
  static constexpr size_t kBufferSize = 550;
  // A transaction never takes in more than this.
  static constexpr size_t kReceiveLimit = 512;
  // Function reported for an exception response.
  static constexpr uint8_t kExceptionFunction = 128;

  CModbus() = default;

  void SetProtocol(int32_t protocol) { m_Protocol = protocol; }
  int32_t Protocol() const { return m_Protocol; }
  void SetUnitAddress(uint8_t address) { m_Addr = address; }
  uint8_t UnitAddress() const { return m_Addr; }
  // Clamps to 1..125 registers, 1..2000 discretes and at most 123 registers
  // of fragmentation (0 or an excess gives the maximum).
  void SetLimits(uint8_t maxRegisters, uint16_t maxDiscretes, uint8_t maxFragment);
  uint8_t MaxRegisters() const { return m_MaxRegisters; }
  uint16_t MaxDiscretes() const { return m_MaxDiscretes; }
  uint8_t MaxFragment() const { return m_MaxFragment; }

  // Builds a read request for the first tags of the list (one register kind)
  // and shortens the list to the tags it covers. False if none can be built.
  bool Request_Read(std::vector<CDATag*>& tags);
  // Builds a write request (function 5, 6, 15 or 16) from the tags' pending
  // values and shortens the list likewise. False if none can be built.
  bool Request_Write(std::vector<CDATag*>& tags);
  // Wraps the request into the frame of the protocol.
  void FinishFrame();

  const uint8_t* Frame() const { return m_Frame; }
  size_t FrameLength() const { return m_FrameLength; }
  const uint8_t* Pdu() const { return m_Pdu; }
  size_t PduLength() const { return m_PduLength; }
  const ModbusRequest& Reqv() const { return m_Reqv; }
  uint16_t TransactionId() const { return m_TransactionId; }

  // Frame length of a response whose PDU (unit address included) has the
  // given length; 0 for 0.
  size_t ExpectedResponseLength(size_t pduLength) const;

  // Takes the bytes received so far for the current request. False (and
  // nothing taken) when they exceed the buffer.
  bool SetRawData(const uint8_t* data, size_t length);
  // Takes the PDU out of the received bytes; false while it is too short.
  bool ExtractFrame();
  // Checks the extracted PDU against the request and the checksum.
  bool ValidateResponse();
  FrameCheck CheckResult() const { return m_CheckResult; }
  // Function of the validated response: the request's, or 128 for an
  // exception; 0 before a response validated.
  uint8_t ResponseFunction() const { return m_ResponseFun; }
  // Moves the validated response into the tags of the request and marks the
  // tags it served done. False when the response cannot be used.
  bool AnalyseResponse(std::vector<CDATag*>& tags);
  // The code of a validated exception response; 0 otherwise.
  uint8_t ExceptionCode() const;
  // The last response was an illegal-address exception for a block of
  // several tags: the block is read in halves from now on (no tag done).
  bool SplitTaken() const { return m_SplitTaken; }
  // Reads start again with whole blocks (the tree or the device changed).
  void ForgetSplits() { m_SplitLimits.clear(); }

 private:
  bool BuildRead(uint8_t fun, uint16_t start, uint16_t quantity);
  bool BuildSingleWrite(CDATag& tag, const std::vector<CDATag*>& tags);
  bool BuildMultipleWrite(std::vector<CDATag*>& tags);
  void PutHeader(uint8_t fun, uint16_t start, uint16_t quantity);
  bool Fail(FrameCheck check);
  bool ChecksumMatches() const;
  void AnalyseDiscretes(std::vector<CDATag*>& tags);
  void AnalyseRegisters(std::vector<CDATag*>& tags);
  void MarkSingleWriteDone(std::vector<CDATag*>& tags) const;
  bool AnalyseMultipleWrite(std::vector<CDATag*>& tags);
  void AnalyseException(std::vector<CDATag*>& tags);
  uint16_t ReadLimit(int32_t kind, uint16_t start, uint16_t limit) const;

  uint8_t m_Pdu[kBufferSize] = {};
  size_t m_PduLength = 0;
  uint8_t m_Frame[kBufferSize] = {};
  size_t m_FrameLength = 0;
  uint8_t m_Raw[kBufferSize] = {};
  size_t m_RawLength = 0;

  uint8_t m_Addr = 1;
  int32_t m_Protocol = 0;
  uint16_t m_TransactionId = 0;
  uint8_t m_MaxRegisters = 125;
  uint16_t m_MaxDiscretes = 2000;
  uint8_t m_MaxFragment = 0;
  ModbusRequest m_Reqv;
  uint8_t m_ResponseFun = 0;
  FrameCheck m_CheckResult = FrameCheck::kValid;
  // Register kind and start address of a block that got an illegal-address
  // exception -> the span its reads are limited to.
  std::map<uint32_t, uint16_t> m_SplitLimits;
  bool m_SplitTaken = false;
};

// Modbus exception codes.
enum ModbusException : uint8_t {
  kExceptionIllegalFunction = 1,
  kExceptionIllegalAddress = 2,
  kExceptionIllegalValue = 3,
  kExceptionDeviceFailure = 4,
};

// The status a client is shown for an exception response.
uint32_t ExceptionStatus(uint8_t code);

}  // namespace virk
