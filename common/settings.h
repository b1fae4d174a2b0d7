// Settings records of the configuration tree: plain fields with the defaults a
// new item gets. Shared by the server and the configurator; no I/O, no threads.
#pragma once

#include <cstdint>
#include <variant>

namespace virk {

enum ItemKind : int32_t {
  kKindRoot = 0,
  kKindChannel = 1,
  kKindDevice = 2,
  kKindGroup = 3,
  kKindTag = 4,
};

// Channel protocols and link types.
enum Protocol : int32_t { kProtocolRtu = 0, kProtocolAscii = 1, kProtocolTcp = 2 };
enum ChannelType : int32_t { kChannelCom = 0, kChannelTcp = 1 };

struct CPortIO_Data_COM {
  static constexpr int kPortKind = 1;
  uint32_t m_PortNumber = 1;  // 0..1000
  uint32_t m_BaudRate = 9600;
  uint8_t m_DataBits = 8;     // 7 or 8
  uint8_t m_StopBits = 1;     // 1 or 2
  uint8_t m_Parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t m_Echo = 0;         // 0 no, 1 yes
  uint8_t m_RtsControl = 0;   // 0 off, 1 on, 2 handshake, 3 toggle
  uint8_t m_DtrControl = 0;   // 0 off, 1 on, 2 handshake
  bool operator==(const CPortIO_Data_COM& o) const {
    return m_PortNumber == o.m_PortNumber && m_BaudRate == o.m_BaudRate &&
           m_DataBits == o.m_DataBits && m_StopBits == o.m_StopBits && m_Parity == o.m_Parity &&
           m_Echo == o.m_Echo && m_RtsControl == o.m_RtsControl && m_DtrControl == o.m_DtrControl;
  }
};

struct CPortIO_Data_TCP {
  static constexpr int kPortKind = 2;
  uint32_t m_IpAddress = 0;       // first dotted part in the lowest byte
  uint16_t m_Port = 502;          // 1..65535
  uint32_t m_ConnectTimeout = 5000;  // ms, 20..120000
  bool operator==(const CPortIO_Data_TCP& o) const {
    return m_IpAddress == o.m_IpAddress && m_Port == o.m_Port &&
           m_ConnectTimeout == o.m_ConnectTimeout;
  }
};

using PortData = std::variant<CPortIO_Data_COM, CPortIO_Data_TCP>;

struct ChannelSettings {
  int32_t m_Protocol = kProtocolRtu;
  int32_t m_ChannelType = kChannelCom;
  uint32_t m_ResponseTimeout = 500;  // ms, 20..60000
  uint8_t m_Attempts = 3;            // 1..20
  uint32_t m_Pause = 0;              // ms, 0..10000
  PortData m_Port = CPortIO_Data_COM{};

  // Setting the type creates the port record anew, at its defaults.
  void SetChannelType(int32_t type) {
    m_ChannelType = type;
    if (type == kChannelTcp)
      m_Port = CPortIO_Data_TCP{};
    else
      m_Port = CPortIO_Data_COM{};
  }
  CPortIO_Data_COM* Com() { return std::get_if<CPortIO_Data_COM>(&m_Port); }
  const CPortIO_Data_COM* Com() const { return std::get_if<CPortIO_Data_COM>(&m_Port); }
  CPortIO_Data_TCP* Tcp() { return std::get_if<CPortIO_Data_TCP>(&m_Port); }
  const CPortIO_Data_TCP* Tcp() const { return std::get_if<CPortIO_Data_TCP>(&m_Port); }
};

struct DeviceSettings {
  uint8_t m_Addr = 1;              // Modbus unit, 0..255 (0 broadcast)
  bool m_Emulation = false;
  bool m_Exchange = true;
  uint8_t m_MaxRegsInReqv = 125;   // 1..125
  uint16_t m_MaxStatesInReqv = 2000;  // 1..2000
  uint8_t m_dFragment = 0;         // 0..123
};

enum PeriodUnit : int32_t { kUnitMs = 0, kUnitSec = 1, kUnitMin = 2, kUnitHour = 3 };

struct GroupSettings {
  uint32_t m_Period = 50;
  int32_t m_PeriodUnit = kUnitMs;

  uint64_t PeriodMs() const {
    static constexpr uint64_t kUnitMsFactor[] = {1, 1000, 60000, 3600000};
    const int unit = (m_PeriodUnit >= 0 && m_PeriodUnit <= 3) ? m_PeriodUnit : 0;
    return uint64_t(m_Period) * kUnitMsFactor[unit];
  }
};

enum RegisterKind : int32_t {
  kRegDiscreteInput = 0,   // "Входное состояние"
  kRegCoil = 1,            // "Выходное состояние"
  kRegInput = 2,           // "Входной регистр"
  kRegHolding = 3,         // "Выходной регистр"
};

// Value types 0..23 as stored; 24 is the single bit of register kinds 0 and 1.
enum ValueType : int32_t {
  kTypeFloat32 = 0,
  kTypeFloat64 = 1,
  kTypeUInt16 = 2,
  kTypeUInt32 = 3,
  kTypeInt16 = 4,
  kTypeInt32 = 5,
  kTypeLowByte = 6,
  kTypeHighByte = 7,
  kTypeBit0 = 8,
  kTypeBit15 = 23,
  kTypeBool = 24,
};

constexpr int32_t kByteOrderNone = 255;

enum TransformKind : int32_t { kTransformNone = 0, kTransformLineScale = 1, kTransformFactor = 2 };

struct CTransform_LineScaleData {
  float m_SrcMin = 0, m_SrcMax = 0, m_DstMin = 0, m_DstMax = 0;
};
struct CTransform_FactorData {
  float m_Factor = 1;
};
using TransformData = std::variant<std::monostate, CTransform_LineScaleData, CTransform_FactorData>;

enum EmulationKind : int32_t { kEmulConst = 0, kEmulRandom = 1, kEmulSin = 2 };

struct CEmulData_Const {
  double m_Value = 0;  // kept as a Double whatever the tag's type
};
struct CEmulData_Random {};
struct CEmulData_Sin {
  int32_t m_Period = 1;  // 1..60
};
using EmulationData = std::variant<CEmulData_Const, CEmulData_Random, CEmulData_Sin>;

struct TagSettings {
  int32_t m_RegKind = kRegInput;
  uint16_t m_Addr = 0;            // zero-based
  uint16_t m_RegsInSegment = 0;
  uint16_t m_PosInSegment = 0;
  bool m_Read = true;
  bool m_Write = true;
  bool m_bWriteGroup = true;
  int32_t m_ValueType = kTypeFloat32;
  int32_t m_ByteOrder = 2;
  int32_t m_TransformKind = kTransformNone;
  TransformData m_Transform;
  int32_t m_EmulKind = kEmulConst;
  EmulationData m_Emul = CEmulData_Const{};

  // Setting a kind creates its record anew.
  void SetTransformKind(int32_t kind) {
    m_TransformKind = kind;
    if (kind == kTransformLineScale)
      m_Transform = CTransform_LineScaleData{};
    else if (kind == kTransformFactor)
      m_Transform = CTransform_FactorData{};
    else
      m_Transform = std::monostate{};
  }
  void SetEmulKind(int32_t kind) {
    m_EmulKind = kind;
    if (kind == kEmulRandom)
      m_Emul = CEmulData_Random{};
    else if (kind == kEmulSin)
      m_Emul = CEmulData_Sin{};
    else
      m_Emul = CEmulData_Const{};
  }
  bool IsBitKind() const { return m_RegKind == kRegDiscreteInput || m_RegKind == kRegCoil; }
  bool IsWritableKind() const { return m_RegKind == kRegCoil || m_RegKind == kRegHolding; }
};

}  // namespace virk
