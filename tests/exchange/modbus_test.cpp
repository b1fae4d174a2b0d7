#include <gtest/gtest.h>

#include <string>

#include "modbus.h"
#include "modbus_frame.h"
#include "tag_builder.h"

namespace virk {
namespace {

using test::AsDouble;
using test::Scalar;
using test::TagSet;
using Bytes = std::vector<uint8_t>;

Bytes FrameOf(const CModbus& m) { return Bytes(m.Frame(), m.Frame() + m.FrameLength()); }

// A response frame around `pdu` as a device would send it.
Bytes Respond(int32_t protocol, const Bytes& pdu, uint16_t transaction = 1) {
  Bytes out(2 * pdu.size() + 6);
  out.resize(FrameAdu(protocol, transaction, pdu.data(), pdu.size(), out.data()));
  return out;
}

// Feeds the received bytes as ValidateFrame does; returns the check result.
FrameCheck Receive(CModbus& m, const Bytes& raw) {
  EXPECT_TRUE(m.SetRawData(raw.data(), raw.size()));
  if (m.ExtractFrame()) m.ValidateResponse();
  return m.CheckResult();
}

struct HoldingPair {
  TagSet set;
  CDATag* a;
  CDATag* b;
  std::vector<CDATag*> list;
  HoldingPair() {
    a = set.Add({kRegHolding, 100, kTypeUInt16});
    b = set.Add({kRegHolding, 101, kTypeInt16});
    list = set.List();
  }
};

TEST(ModbusFrame, ReadRequestInEachProtocol) {
  HoldingPair tags;
  CModbus m;
  m.SetUnitAddress(1);
  ASSERT_TRUE(m.Request_Read(tags.list));
  m.FinishFrame();
  EXPECT_EQ(FrameOf(m), (Bytes{0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4}));
  EXPECT_EQ(m.ExpectedResponseLength(6), 8u);

  m.SetProtocol(kProtocolAscii);
  m.FinishFrame();
  const Bytes ascii = FrameOf(m);
  EXPECT_EQ(std::string(ascii.begin(), ascii.end()), ":01030064000296\r\n");
  EXPECT_EQ(m.ExpectedResponseLength(6), 17u);

  m.SetProtocol(kProtocolTcp);
  m.FinishFrame();
  EXPECT_EQ(FrameOf(m), (Bytes{0, 1, 0, 0, 0, 6, 0x01, 0x03, 0x00, 0x64, 0x00, 0x02}));
  EXPECT_EQ(m.ExpectedResponseLength(6), 12u);
  EXPECT_EQ(m.ExpectedResponseLength(0), 0u);
  m.FinishFrame();
  EXPECT_EQ(m.Frame()[1], 2);
  for (int i = 0; i < 65534; ++i) m.FinishFrame();
  EXPECT_EQ(m.TransactionId(), 0);  // wrapped from 65535
}

TEST(ModbusFrame, ReadResponseArrivesInChunksAndFillsTheTags) {
  for (int32_t protocol : {kProtocolRtu, kProtocolAscii, kProtocolTcp}) {
    HoldingPair tags;
    CModbus m;
    m.SetProtocol(protocol);
    ASSERT_TRUE(m.Request_Read(tags.list));
    m.FinishFrame();
    const Bytes response = Respond(protocol, {0x01, 0x03, 0x04, 0x01, 0x02, 0xFF, 0xFE});
    for (size_t n = 0; n < response.size(); ++n)
      ASSERT_EQ(Receive(m, Bytes(response.begin(), response.begin() + n)), FrameCheck::kIncomplete)
          << "protocol " << protocol << " bytes " << n;
    ASSERT_EQ(Receive(m, response), FrameCheck::kValid) << protocol;
    ASSERT_TRUE(m.AnalyseResponse(tags.list));
    uint32_t status = 1;
    EXPECT_EQ(AsDouble(*tags.a, &status), 258);
    EXPECT_EQ(status, kStatusGood);
    EXPECT_EQ(AsDouble(*tags.b), -2);
    EXPECT_TRUE(tags.a->IsDone() && tags.b->IsDone());
  }
}

TEST(ModbusFrame, ChecksumRules) {
  HoldingPair tags;
  CModbus m;
  ASSERT_TRUE(m.Request_Read(tags.list));
  Bytes rtu = Respond(kProtocolRtu, {0x01, 0x03, 0x04, 0, 1, 0, 2});
  Bytes tolerated = rtu;
  ASSERT_NE(tolerated.back(), 0);
  tolerated.back() -= 1;  // CRC high byte one less
  EXPECT_EQ(Receive(m, tolerated), FrameCheck::kValid);
  Bytes bad = rtu;
  bad.back() -= 2;
  EXPECT_EQ(Receive(m, bad), FrameCheck::kChecksumError);
  bad = rtu;
  bad[bad.size() - 2] ^= 1;
  EXPECT_EQ(Receive(m, bad), FrameCheck::kChecksumError);

  m.SetProtocol(kProtocolAscii);
  Bytes ascii = Respond(kProtocolAscii, {0x01, 0x03, 0x04, 0xAB, 0xCD, 0xEF, 0x07});
  Bytes lower = ascii;
  for (size_t i = 1; i + 4 < lower.size(); ++i) lower[i] = uint8_t(std::tolower(lower[i]));
  EXPECT_EQ(Receive(m, lower), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(tags.list));
  EXPECT_EQ(AsDouble(*tags.a), 0xABCD);
  Bytes lowerLrc = ascii;
  const size_t lrc = lowerLrc.size() - 4;
  lowerLrc[lrc] = uint8_t(std::tolower(lowerLrc[lrc]));
  lowerLrc[lrc + 1] = uint8_t(std::tolower(lowerLrc[lrc + 1]));
  ASSERT_NE(lowerLrc, ascii) << "the LRC must contain a letter for this case";
  EXPECT_EQ(Receive(m, lowerLrc), FrameCheck::kChecksumError);
}

TEST(ModbusFrame, MismatchesAreReported) {
  HoldingPair tags;
  CModbus m;
  m.SetUnitAddress(7);
  ASSERT_TRUE(m.Request_Read(tags.list));
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {0x08, 0x03, 0x04, 0, 1, 0, 2})), FrameCheck::kUnitMismatch);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {0x07, 0x04, 0x04, 0, 1, 0, 2})), FrameCheck::kFunctionMismatch);
  EXPECT_EQ(m.ResponseFunction(), 0);
  EXPECT_FALSE(m.AnalyseResponse(tags.list));

  m.SetProtocol(kProtocolTcp);
  m.FinishFrame();
  m.FinishFrame();  // transaction 2
  EXPECT_EQ(Receive(m, Respond(kProtocolTcp, {0x07, 0x03, 0x04, 0, 1, 0, 2}, 5)),
            FrameCheck::kTransactionIdMismatch);
  EXPECT_EQ(Receive(m, Respond(kProtocolTcp, {0x07, 0x03, 0x04, 0, 1, 0, 2}, 2)), FrameCheck::kValid);
}

TEST(ModbusFrame, ByteCountLargerThanRequestedIsFollowed) {
  HoldingPair tags;
  CModbus m;
  ASSERT_TRUE(m.Request_Read(tags.list));
  const Bytes pdu = {0x01, 0x03, 0x06, 0, 5, 0, 6, 0, 7};
  const Bytes full = Respond(kProtocolRtu, pdu);
  // Four data bytes would have done for the request, but the device said six.
  Bytes shortOne(pdu.begin(), pdu.begin() + 7);
  const uint16_t crc = ModbusCrc16(shortOne.data(), shortOne.size());
  shortOne.push_back(uint8_t(crc));
  shortOne.push_back(uint8_t(crc >> 8));
  EXPECT_EQ(Receive(m, shortOne), FrameCheck::kIncomplete);
  EXPECT_EQ(m.Reqv().nBytes, 6);
  EXPECT_EQ(Receive(m, full), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(tags.list));
  EXPECT_EQ(AsDouble(*tags.b), 6);
}

// An exception keeps a value read before as Uncertain (last usable value);
// a tag that never had one shows the exception's own Bad code. An illegal
// address in a block of several tags halves the block instead.
TEST(ModbusFrame, ExceptionStatusesAndARetryStillValidates) {
  HoldingPair tags;
  CModbus m;
  Scalar earlier(UA_UInt16(5), UA_TYPES_UINT16);
  tags.a->SetValue(earlier.v, kStatusGood);
  tags.b->MarkWaitingForData();
  ASSERT_TRUE(m.Request_Read(tags.list));
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {0x09, 0x83, 0x04})), FrameCheck::kValid);  // unit not compared
  EXPECT_EQ(m.ResponseFunction(), CModbus::kExceptionFunction);
  EXPECT_EQ(m.ExceptionCode(), 4);
  ASSERT_TRUE(m.AnalyseResponse(tags.list));
  EXPECT_EQ(tags.a->Status(), kStatusUncertainLastUsableValue);
  EXPECT_EQ(tags.b->Status(), kStatusBadDeviceFailure);
  EXPECT_TRUE(tags.b->IsDone());
  EXPECT_FALSE(m.SplitTaken());

  tags.a->SetDone(false);
  tags.b->SetDone(false);
  std::vector<CDATag*> block = tags.list;
  ASSERT_TRUE(m.Request_Read(block));
  ASSERT_EQ(m.Reqv().nRegs, 2);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {0x01, 0x83, 0x02})), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(block));
  EXPECT_TRUE(m.SplitTaken());
  EXPECT_FALSE(tags.a->IsDone());
  EXPECT_EQ(tags.b->Status(), kStatusBadDeviceFailure);  // untouched until its own answer
  block = tags.list;
  ASSERT_TRUE(m.Request_Read(block));
  EXPECT_EQ(m.Reqv().nRegs, 1);  // the half that starts the block
  EXPECT_EQ(block.size(), 1u);
  m.ForgetSplits();
  block = tags.list;
  ASSERT_TRUE(m.Request_Read(block));
  EXPECT_EQ(m.Reqv().nRegs, 2);

  // A broken exception frame must not spoil the next attempt of the same request.
  Bytes broken = Respond(kProtocolRtu, {0x01, 0x83, 0x02});
  broken.back() ^= 0x55;
  EXPECT_EQ(Receive(m, broken), FrameCheck::kChecksumError);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {0x01, 0x03, 0x04, 0, 1, 0, 2})), FrameCheck::kValid);
}

TEST(ModbusFrame, ValuesOnlyFromBytesReceived) {
  TagSet set;
  CDATag* first = set.Add({kRegHolding, 0, kTypeUInt16, 1, 200, 0});
  CDATag* distant = set.Add({kRegHolding, 0, kTypeUInt16, 1, 200, 130});  // 260 bytes in
  CDATag* wide = set.Add({kRegHolding, 0, kTypeFloat64, 1, 200, 1});
  auto list = set.List();
  CModbus m;
  ASSERT_TRUE(m.Request_Read(list));
  EXPECT_EQ(m.Reqv().nRegs, 200);
  // The device answers only two registers.
  ASSERT_EQ(Receive(m, Respond(kProtocolRtu, {0x01, 0x03, 0x04, 0x00, 0x2A, 0x11, 0x22})), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(list));
  EXPECT_TRUE(first->IsDone());
  EXPECT_EQ(AsDouble(*first), 42);
  EXPECT_FALSE(distant->IsDone());   // no aliasing onto an earlier register
  EXPECT_FALSE(wide->IsDone());  // runs past the data
  EXPECT_EQ(AsDouble(*distant), 0);

  TagSet coils;
  CDATag* c0 = coils.Add({kRegCoil, 0, kTypeBool});
  CDATag* c9 = coils.Add({kRegCoil, 9, kTypeBool});
  auto clist = coils.List();
  m.SetLimits(125, 2000, 20);
  ASSERT_TRUE(m.Request_Read(clist));
  EXPECT_EQ(m.Reqv().nBytes, 2);
  // One data byte only: coil 9 is not there.
  ASSERT_EQ(Receive(m, Respond(kProtocolRtu, {0x01, 0x01, 0x01, 0x01})), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(clist));
  EXPECT_EQ(AsDouble(*c0), 1);
  EXPECT_TRUE(c0->IsDone());
  EXPECT_FALSE(c9->IsDone());
}

TEST(ModbusWrite, SingleWritesOfCoilsAndRegisters) {
  TagSet set;
  CDATag* coil = set.Add({kRegCoil, 17, kTypeBool});
  Scalar on(UA_Boolean(true), UA_TYPES_BOOLEAN);
  coil->SetPendingValue(&on.v);
  auto list = set.List();
  CModbus m;
  ASSERT_TRUE(m.Request_Write(list));
  EXPECT_EQ(Bytes(m.Pdu(), m.Pdu() + m.PduLength()), (Bytes{1, 5, 0, 17, 0xFF, 0x00}));
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 5, 0, 17, 0xFF, 0x00})), FrameCheck::kValid);
  EXPECT_TRUE(m.AnalyseResponse(list));
  EXPECT_TRUE(coil->IsDone());
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 5, 0, 18, 0xFF, 0x00})), FrameCheck::kEchoMismatch);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 5, 0, 17, 0x00, 0x00})), FrameCheck::kValid);
  EXPECT_FALSE(m.AnalyseResponse(list));  // the device did not take the value

  TagSet regs;
  CDATag* bit = regs.Add({kRegHolding, 3, kTypeBit0});
  CDATag* high = regs.Add({kRegHolding, 3, kTypeHighByte});
  uint8_t cell[2] = {0x00, 0x10};  // last read
  bit->SetRegisterImage(cell);
  high->SetRegisterImage(cell);
  bit->SetPendingValue(&on.v);
  Scalar byte(UA_Byte(0x7E), UA_TYPES_BYTE);
  high->SetPendingValue(&byte.v);
  list = regs.List();
  ASSERT_TRUE(m.Request_Write(list));
  EXPECT_EQ(Bytes(m.Pdu(), m.Pdu() + m.PduLength()), (Bytes{1, 6, 0, 3, 0x7E, 0x11}));
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 6, 0, 3, 0x7E, 0x11})), FrameCheck::kValid);
  EXPECT_TRUE(m.AnalyseResponse(list));
  EXPECT_TRUE(bit->IsDone() && high->IsDone());  // both went out in the one register

  // Without a register image the other bits are unknown: nothing is sent.
  bit->SetRegisterImage(nullptr);
  list = {bit};
  EXPECT_FALSE(m.Request_Write(list));
}

TEST(ModbusWrite, MultipleWrites) {
  // A 32-bit value written alone still needs function 16 with quantity 2.
  TagSet single;
  CDATag* f = single.Add({kRegHolding, 40, kTypeFloat32, 3});
  CDATag* other = single.Add({kRegHolding, 42, kTypeUInt16, 1, 0, 0, true});
  Scalar ten(10.0f, UA_TYPES_FLOAT);
  f->SetPendingValue(&ten.v);
  other->SetPendingValue(&ten.v);
  auto list = single.List();
  CModbus m;
  ASSERT_TRUE(m.Request_Write(list));
  EXPECT_EQ(Bytes(m.Pdu(), m.Pdu() + m.PduLength()), (Bytes{1, 16, 0, 40, 0, 2, 4, 0x41, 0x20, 0, 0}));
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 16, 0, 40, 0, 2})), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(list));
  EXPECT_TRUE(f->IsDone());
  EXPECT_EQ(f->PendingValue(), nullptr);
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 16, 0, 40, 0, 3})), FrameCheck::kEchoMismatch);

  TagSet group;
  CDATag* w0 = group.Add({kRegHolding, 5, kTypeUInt16, 1, 0, 0, true});
  CDATag* w1 = group.Add({kRegHolding, 6, kTypeInt16, 1, 0, 0, true});
  Scalar a(uint16_t(0x1234), UA_TYPES_UINT16), b(int16_t(-1), UA_TYPES_INT16);
  w0->SetPendingValue(&a.v);
  w1->SetPendingValue(&b.v);
  list = group.List();
  ASSERT_TRUE(m.Request_Write(list));
  EXPECT_EQ(Bytes(m.Pdu(), m.Pdu() + m.PduLength()), (Bytes{1, 16, 0, 5, 0, 2, 4, 0x12, 0x34, 0xFF, 0xFF}));

  TagSet coils;
  Scalar on(UA_Boolean(true), UA_TYPES_BOOLEAN), off(UA_Boolean(false), UA_TYPES_BOOLEAN);
  for (uint16_t i = 0; i < 10; ++i) {
    CDATag* c = coils.Add({kRegCoil, uint16_t(20 + i), kTypeBool, 0, 0, 0, true});
    c->SetPendingValue(i % 3 == 0 ? &on.v : &off.v);
  }
  list = coils.List();
  ASSERT_TRUE(m.Request_Write(list));
  // Coils 20, 23, 26, 29: bits 0, 3, 6 of the first byte and bit 1 of the second.
  EXPECT_EQ(Bytes(m.Pdu(), m.Pdu() + m.PduLength()), (Bytes{1, 15, 0, 20, 0, 10, 2, 0x49, 0x02}));
  EXPECT_EQ(Receive(m, Respond(kProtocolRtu, {1, 15, 0, 20, 0, 10})), FrameCheck::kValid);
  ASSERT_TRUE(m.AnalyseResponse(list));
  for (CDATag* c : list) EXPECT_TRUE(c->IsDone());

  TagSet readOnly;
  CDATag* input = readOnly.Add({kRegInput, 1, kTypeUInt16});
  input->SetPendingValue(&a.v);
  list = readOnly.List();
  EXPECT_FALSE(m.Request_Write(list));
}

}  // namespace
}  // namespace virk
