// The argument string of addNode and editNode: splitting, the ninth-field
// padding, decimal and character-coded fields, and that every field goes
// through the same range rules as the configuration file.
#include <gtest/gtest.h>

#include "common/item.h"
#include "common/method_args.h"

namespace virk {
namespace {

MethodFields Split(const std::string& text) { return SplitMethodArgument(text); }

TEST(MethodArgumentSplit, SeparatorsTrailingSeparatorAndNinthField) {
  EXPECT_EQ(Split("a;b;c"), (MethodFields{"a", "b", "c"}));
  EXPECT_EQ(Split("a;;c"), (MethodFields{"a", "", "c"}));
  EXPECT_EQ(Split("a;b;"), (MethodFields{"a", "b"}));
  EXPECT_EQ(Split("a;b;;"), (MethodFields{"a", "b", ""}));
  EXPECT_EQ(Split("1;2;3;4;5;6;7;8;"), (MethodFields{"1", "2", "3", "4", "5", "6", "7", "8", ""}));
  EXPECT_EQ(Split("1;2;3;4;5;6;7"), (MethodFields{"1", "2", "3", "4", "5", "6", "7"}));
}

TEST(MethodArgumentFields, DecimalAndCharacterCoded) {
  EXPECT_EQ(DecimalField("  -12x"), -12);
  EXPECT_EQ(DecimalField("+7"), 7);
  EXPECT_EQ(DecimalField("abc"), 0);
  EXPECT_EQ(DecimalField(""), 0);
  EXPECT_EQ(CharacterCodedField(""), 0u);
  EXPECT_EQ(CharacterCodedField("A"), 65u);
  EXPECT_EQ(CharacterCodedField("\xC3\x88"), 200u);       // U+00C8
  EXPECT_EQ(CharacterCodedField("\xDF\x90zz"), 2000u);    // U+07D0, then anything
  EXPECT_EQ(CharacterCodedField("\xF0\x9F\x98\x80"), 0x1F600u);
}

TEST(MethodArgumentFields, ExpectedCountByKindAndChannelType) {
  EXPECT_EQ(ExpectedFieldCount(Split("P;1;C;0")), 16u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;1;C;1")), 11u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;1;C;2")), 0u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;2")), 9u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;3")), 5u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;4")), 16u);
  EXPECT_EQ(ExpectedFieldCount(Split("P;5")), 0u);
  EXPECT_EQ(ExpectedFieldCount(Split("P")), 0u);
}

TEST(MethodArgumentApply, ComAndTcpChannels) {
  CChannelBase com;
  ASSERT_TRUE(ApplyItemFields(com, Split("Каналы;1;COM7;0;700;4;15;1;7;19200;7;2;2;1;3;1")));
  EXPECT_EQ(com.Name(), "COM7");
  EXPECT_EQ(com.m_Data.m_ResponseTimeout, 700u);
  EXPECT_EQ(com.m_Data.m_Attempts, 4);
  EXPECT_EQ(com.m_Data.m_Pause, 15u);
  EXPECT_EQ(com.m_Data.m_Protocol, kProtocolAscii);
  ASSERT_NE(com.m_Data.Com(), nullptr);
  const CPortIO_Data_COM expected{7, 19200, 7, 2, 2, 1, 3, 1};
  EXPECT_TRUE(*com.m_Data.Com() == expected);

  CChannelBase tcp;
  // 127.0.0.1 with the first part in the lowest byte.
  ASSERT_TRUE(ApplyItemFields(tcp, Split("Каналы;1;Net;1;500;3;0;2;16777343;1502;3000")));
  ASSERT_NE(tcp.m_Data.Tcp(), nullptr);
  EXPECT_EQ(tcp.m_Data.Tcp()->m_IpAddress, 0x0100007Fu);
  EXPECT_EQ(tcp.m_Data.Tcp()->m_Port, 1502);
  EXPECT_EQ(tcp.m_Data.Tcp()->m_ConnectTimeout, 3000u);
  EXPECT_EQ(tcp.m_Data.m_Protocol, kProtocolTcp);
}

TEST(MethodArgumentApply, FieldsOutsideTheirRangeAreRefused) {
  const char* refused[] = {
      "Каналы;1;C;1;0;3;0;2;16777343;502;3000",           // time-out 0
      "Каналы;1;C;0;500;3;0;0;1;12345;8;1;0;0;0;0",       // baud rate not in the list
      "Каналы;1;C;0;500;3;0;0;1;9600;9;1;0;0;0;0",        // nine data bits
      "Каналы;1;C;1;500;3;0;7;16777343;502;3000",         // protocol 7
      "Каналы;1;C;1;500;3;0;2;4294967296;502;3000",       // address beyond 32 bits
      "Каналы;1;A.B;1;500;3;0;2;16777343;502;3000",       // a '.' would break full names
      "Каналы;1;C;1;500;3;0;2;16777343;502",              // ten fields
  };
  for (const char* text : refused) {
    CChannelBase channel;
    EXPECT_FALSE(ApplyItemFields(channel, Split(text))) << text;
  }
  CTagBase tag;
  EXPECT_FALSE(ApplyItemFields(tag, Split("G;4;T;5;1;2;1;1;1;1;0;0;0;0;0;0"))) << "register kind 5";
  EXPECT_FALSE(ApplyItemFields(tag, Split("G;4;T;3;0;2;1;1;1;1;0;0;0;0;0;0"))) << "address 0";
  EXPECT_FALSE(ApplyItemFields(tag, Split("G;4;T;3;1;30;1;1;1;1;0;0;0;0;0;0"))) << "value type 30";
  EXPECT_FALSE(ApplyItemFields(tag, Split("G;4;T;3;1;2;1;1;1;1;0;0;1;2;0;0"))) << "two transformation kinds";
  CGroupBase group;
  EXPECT_FALSE(ApplyItemFields(group, Split("D;3;G;25;3"))) << "more than a day";
  EXPECT_FALSE(ApplyItemFields(group, Split("D;4;G;25;3"))) << "kind of another item";
}

TEST(MethodArgumentApply, DeviceWithCharacterCodedFieldsAndEmptyFragmentation) {
  CDeviceBase device;
  // Address 200, 100 registers, 2000 states; fragmentation 0 arrives as a cut-off ninth field.
  const std::string text = "C;2;Dev;\xC3\x88;1;1;d;\xDF\x90;";
  ASSERT_EQ(Split(text).size(), 9u);
  ASSERT_TRUE(ApplyItemFields(device, Split(text)));
  EXPECT_EQ(device.m_Data.m_Addr, 200);
  EXPECT_TRUE(device.m_Data.m_Exchange);
  EXPECT_TRUE(device.m_Data.m_Emulation);
  EXPECT_EQ(device.m_Data.m_MaxRegsInReqv, 100);
  EXPECT_EQ(device.m_Data.m_MaxStatesInReqv, 2000);
  EXPECT_EQ(device.m_Data.m_dFragment, 0);

  CDeviceBase tooMany;
  EXPECT_FALSE(ApplyItemFields(tooMany, Split("C;2;Dev;\xC3\x88;1;1;\xC3\x88;\xDF\x90;")))
      << "200 registers per request";
}

TEST(MethodArgumentApply, TagsAndGroups) {
  CTagBase tag;
  // Holding register 1 (stored 0), Int16, order 0, read and write, group write,
  // segment 4 at 2, factor, sine.
  ASSERT_TRUE(ApplyItemFields(tag, Split("C.D.G;4;T1;3;1;4;0;1;1;1;4;2;2;2;2;2")));
  EXPECT_EQ(tag.Name(), "T1");
  EXPECT_EQ(tag.m_Data.m_RegKind, kRegHolding);
  EXPECT_EQ(tag.m_Data.m_Addr, 0);
  EXPECT_EQ(tag.m_Data.m_ValueType, kTypeInt16);
  EXPECT_EQ(tag.m_Data.m_ByteOrder, 0);
  EXPECT_TRUE(tag.m_Data.m_Read && tag.m_Data.m_Write && tag.m_Data.m_bWriteGroup);
  EXPECT_EQ(tag.m_Data.m_RegsInSegment, 4);
  EXPECT_EQ(tag.m_Data.m_PosInSegment, 2);
  EXPECT_TRUE(std::holds_alternative<CTransform_FactorData>(tag.m_Data.m_Transform));
  EXPECT_TRUE(std::holds_alternative<CEmulData_Sin>(tag.m_Data.m_Emul));

  CTagBase coil;  // the bit type 24 is accepted for bit register kinds only
  EXPECT_TRUE(ApplyItemFields(coil, Split("C.D.G;4;B;1;10;24;0;1;0;0;0;0;0;0;0;0")));
  CTagBase notBit;
  EXPECT_FALSE(ApplyItemFields(notBit, Split("C.D.G;4;B;3;10;24;0;1;0;0;0;0;0;0;0;0")));

  CGroupBase group;
  ASSERT_TRUE(ApplyItemFields(group, Split("C.D;3;Slow;5;2")));
  EXPECT_EQ(group.m_Data.m_Period, 5u);
  EXPECT_EQ(group.m_Data.m_PeriodUnit, kUnitMin);
}

// What the configurator sends, the server reads back to the same settings:
// the builder and the parser of the one layout, for every kind.
template <class Item>
void ExpectRoundTrip(const Item& sent, int32_t kind) {
  std::string message = "Parent;" + std::to_string(kind);
  for (const std::string& field : ItemSettingsFields(sent)) message += ";" + field;
  Item received;
  ASSERT_TRUE(ApplyItemFields(received, SplitMethodArgument(message))) << message;
  EXPECT_EQ(received.Name(), sent.Name());
  EXPECT_EQ(ItemSettingsFields(received), ItemSettingsFields(sent)) << message;
}

TEST(MethodArgumentLayout, WhatTheConfiguratorBuildsTheServerParsesToTheSameSettings) {
  CChannelBase com;
  com.SetName("Линия 2");
  com.m_Data.m_Protocol = kProtocolAscii;
  com.m_Data.m_ResponseTimeout = 1500;
  *com.m_Data.Com() = CPortIO_Data_COM{12, 57600, 7, 2, 2, 1, 0, 1};
  ExpectRoundTrip(com, kKindChannel);

  CChannelBase tcp;
  tcp.m_Data.SetChannelType(kChannelTcp);
  tcp.m_Data.m_Protocol = kProtocolTcp;
  tcp.m_Data.Tcp()->m_IpAddress = 10u | 1u << 8 | 2u << 16 | 254u << 24;
  tcp.m_Data.Tcp()->m_Port = 1502;
  ExpectRoundTrip(tcp, kKindChannel);

  // Broadcast address 0 in the middle, 2000 as a two-byte character, zero
  // fragmentation as the empty last field.
  CDeviceBase device;
  device.m_Data.m_Addr = 0;
  device.m_Data.m_Emulation = true;
  device.m_Data.m_Exchange = false;
  device.m_Data.m_MaxRegsInReqv = 17;
  device.m_Data.m_MaxStatesInReqv = 2000;
  device.m_Data.m_dFragment = 0;
  ExpectRoundTrip(device, kKindDevice);
  device.m_Data.m_Addr = 247;
  device.m_Data.m_dFragment = 123;
  ExpectRoundTrip(device, kKindDevice);

  CGroupBase group;
  group.m_Data.m_PeriodUnit = kUnitMin;
  group.m_Data.m_Period = 90;
  ExpectRoundTrip(group, kKindGroup);

  CTagBase tag;
  tag.m_Data.m_RegKind = 3;
  tag.m_Data.m_Addr = 65534;
  tag.m_Data.m_ValueType = kTypeFloat64;
  tag.m_Data.m_Write = false;
  tag.m_Data.SetTransformKind(kTransformFactor);
  tag.m_Data.SetEmulKind(kEmulSin);
  ExpectRoundTrip(tag, kKindTag);
}

}  // namespace
}  // namespace virk
