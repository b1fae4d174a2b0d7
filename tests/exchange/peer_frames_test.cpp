// Our frames against pymodbus's framers: the requests we build must decode
// there to what we meant, and the responses pymodbus builds must pass our
// extraction, validation and analysis, in all three protocols.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "modbus.h"
#include "tag_builder.h"

namespace virk {
namespace {

using test::AsDouble;
using test::Scalar;
using test::TagSet;
using Fields = std::map<std::string, std::string>;

const char* const kProtocols[] = {"rtu", "ascii", "tcp"};

std::string Hex(const uint8_t* data, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::vector<uint8_t> Unhex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Fields ParseFields(const std::string& line) {
  Fields fields;
  std::istringstream in(line);
  std::string field;
  while (in >> field) {
    const size_t eq = field.find('=');
    if (eq != std::string::npos) fields[field.substr(0, eq)] = field.substr(eq + 1);
  }
  return fields;
}

// Runs the peer script once over all queued lines (bounded by `timeout`)
// and hands each answer to the check queued with its line.
class Peer {
 public:
  void Ask(const std::string& json, std::function<void(const Fields&)> check) {
    m_Lines.push_back(json);
    m_Checks.push_back(std::move(check));
  }
  void Run() {
    char dir[] = "/tmp/virk_peer_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out";
    {
      std::ofstream file(in);
      for (const std::string& line : m_Lines) file << line << '\n';
    }
    const std::string command =
        "timeout 60 /usr/bin/python3 " MODBUS_PEER_SCRIPT " < " + in + " > " + out + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "pymodbus peer failed: " << command;
    std::ifstream answers(out);
    std::string line;
    size_t i = 0;
    for (; i < m_Checks.size() && std::getline(answers, line); ++i) {
      SCOPED_TRACE(m_Lines[i] + " -> " + line);
      const Fields fields = ParseFields(line);
      ASSERT_EQ(fields.count("error"), 0u);
      m_Checks[i](fields);
    }
    EXPECT_EQ(i, m_Checks.size()) << "the peer answered fewer lines than asked";
    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(dir);
  }

 private:
  std::vector<std::string> m_Lines;
  std::vector<std::function<void(const Fields&)>> m_Checks;
};

std::string DecodeLine(int protocol, const CModbus& m) {
  return std::string("{\"op\":\"decode\",\"protocol\":\"") + kProtocols[protocol] + "\",\"hex\":\"" +
         Hex(m.Frame(), m.FrameLength()) + "\"}";
}

// Owns everything one request and its response need until the peer answered.
struct Exchange {
  TagSet tags;
  std::vector<CDATag*> list;
  CModbus modbus;
  std::vector<std::unique_ptr<Scalar>> values;
  const UA_Variant* Keep(std::unique_ptr<Scalar> v) {
    values.push_back(std::move(v));
    return &values.back()->v;
  }
  // Our side of the response pymodbus built.
  void Accept(const Fields& f) {
    const std::vector<uint8_t> raw = Unhex(f.at("hex"));
    ASSERT_TRUE(modbus.SetRawData(raw.data(), raw.size()));
    ASSERT_TRUE(modbus.ExtractFrame());
    ASSERT_TRUE(modbus.ValidateResponse()) << "check result " << modbus.CheckResult();
    ASSERT_TRUE(modbus.AnalyseResponse(list));
  }
};

std::string RespondLine(int protocol, const CModbus& m, const std::string& rest) {
  return std::string("{\"op\":\"respond\",\"protocol\":\"") + kProtocols[protocol] +
         "\",\"unit\":" + std::to_string(m.UnitAddress()) + ",\"tid\":" + std::to_string(m.TransactionId()) +
         "," + rest + "}";
}

class PeerFrames : public ::testing::Test {
 protected:
  Exchange& NewExchange(int protocol, uint8_t unit) {
    m_Exchanges.push_back(std::make_unique<Exchange>());
    Exchange& x = *m_Exchanges.back();
    x.modbus.SetProtocol(protocol);
    x.modbus.SetUnitAddress(unit);
    x.modbus.SetLimits(125, 2000, 10);
    return x;
  }
  Peer m_Peer;
  std::vector<std::unique_ptr<Exchange>> m_Exchanges;
};

TEST_F(PeerFrames, ReadRequestsAndResponses) {
  for (int protocol = 0; protocol < 3; ++protocol) {
    // Holding registers: a Float32 "DC BA" at 100 and an Int16 at 102.
    Exchange& h = NewExchange(protocol, 1);
    CDATag* f = h.tags.Add({kRegHolding, 100, kTypeFloat32, 3});
    CDATag* i = h.tags.Add({kRegHolding, 102, kTypeInt16, 1});
    h.list = h.tags.List();
    ASSERT_TRUE(h.modbus.Request_Read(h.list));
    h.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, h.modbus), [protocol](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "3");
      EXPECT_EQ(d.at("unit"), "1");
      EXPECT_EQ(d.at("address"), "100");
      EXPECT_EQ(d.at("count"), "3");
      if (protocol == kProtocolTcp) {
        EXPECT_EQ(d.at("tid"), "1");
      }
    });
    m_Peer.Ask(RespondLine(protocol, h.modbus, "\"kind\":\"registers\",\"fc\":3,\"values\":[16672,0,65534]"),
               [&h, f, i](const Fields& r) {
                 h.Accept(r);
                 EXPECT_FLOAT_EQ(AsDouble(*f), 10.0f);
                 EXPECT_EQ(AsDouble(*i), -2);
               });

    // Input registers of unit 247.
    Exchange& in = NewExchange(protocol, 247);
    CDATag* u = in.tags.Add({kRegInput, 0, kTypeUInt32, 0});
    in.list = in.tags.List();
    ASSERT_TRUE(in.modbus.Request_Read(in.list));
    in.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, in.modbus), [](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "4");
      EXPECT_EQ(d.at("unit"), "247");
      EXPECT_EQ(d.at("count"), "2");
    });
    // "AB CD" sends the least significant byte first: 0x56781234 travels as 34 12 78 56.
    m_Peer.Ask(RespondLine(protocol, in.modbus, "\"kind\":\"registers\",\"fc\":4,\"values\":[13330,30806]"),
               [&in, u](const Fields& r) {
                 in.Accept(r);
                 EXPECT_EQ(AsDouble(*u), double(0x56781234u));
               });

    // Coils and discrete inputs.
    for (int32_t kind : {kRegCoil, kRegDiscreteInput}) {
      Exchange& c = NewExchange(protocol, 17);
      std::vector<CDATag*> bits;
      for (uint16_t a = 0; a < 11; ++a) bits.push_back(c.tags.Add({kind, uint16_t(500 + a), kTypeBool}));
      c.list = c.tags.List();
      ASSERT_TRUE(c.modbus.Request_Read(c.list));
      c.modbus.FinishFrame();
      const std::string fc = kind == kRegCoil ? "1" : "2";
      m_Peer.Ask(DecodeLine(protocol, c.modbus), [fc](const Fields& d) {
        EXPECT_EQ(d.at("fc"), fc);
        EXPECT_EQ(d.at("address"), "500");
        EXPECT_EQ(d.at("count"), "11");
      });
      m_Peer.Ask(RespondLine(protocol, c.modbus,
                             "\"kind\":\"bits\",\"fc\":" + fc + ",\"values\":[1,0,0,1,1,0,0,0,0,1,1]"),
                 [&c, bits](const Fields& r) {
                   c.Accept(r);
                   const int expected[11] = {1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1};
                   for (int k = 0; k < 11; ++k) EXPECT_EQ(AsDouble(*bits[k]), expected[k]) << k;
                 });
    }

    // An exception response.
    Exchange& e = NewExchange(protocol, 3);
    CDATag* t = e.tags.Add({kRegHolding, 9, kTypeUInt16});
    e.list = e.tags.List();
    ASSERT_TRUE(e.modbus.Request_Read(e.list));
    e.modbus.FinishFrame();
    m_Peer.Ask(RespondLine(protocol, e.modbus, "\"kind\":\"exception\",\"fc\":3,\"code\":2"),
               [&e, t](const Fields& r) {
                 e.Accept(r);
                 EXPECT_EQ(t->Status(), kStatusUncertain);
               });
  }
  m_Peer.Run();
}

TEST_F(PeerFrames, WriteRequestsAndResponses) {
  for (int protocol = 0; protocol < 3; ++protocol) {
    Exchange& coil = NewExchange(protocol, 2);
    CDATag* c = coil.tags.Add({kRegCoil, 33, kTypeBool});
    c->SetPendingValue(coil.Keep(std::make_unique<Scalar>(UA_Boolean(true), UA_TYPES_BOOLEAN)));
    coil.list = coil.tags.List();
    ASSERT_TRUE(coil.modbus.Request_Write(coil.list));
    coil.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, coil.modbus), [](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "5");
      EXPECT_EQ(d.at("address"), "33");
      EXPECT_EQ(d.at("values"), "1");
    });
    m_Peer.Ask(RespondLine(protocol, coil.modbus, "\"kind\":\"write_coil\",\"address\":33,\"value\":1"),
               [&coil](const Fields& r) { coil.Accept(r); });

    Exchange& reg = NewExchange(protocol, 2);
    CDATag* r16 = reg.tags.Add({kRegHolding, 7, kTypeInt16, 1});
    r16->SetPendingValue(reg.Keep(std::make_unique<Scalar>(int16_t(-2), UA_TYPES_INT16)));
    reg.list = reg.tags.List();
    ASSERT_TRUE(reg.modbus.Request_Write(reg.list));
    reg.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, reg.modbus), [](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "6");
      EXPECT_EQ(d.at("address"), "7");
      EXPECT_EQ(d.at("values"), "65534");
    });
    m_Peer.Ask(RespondLine(protocol, reg.modbus, "\"kind\":\"write_register\",\"address\":7,\"value\":65534"),
               [&reg](const Fields& r) { reg.Accept(r); });

    Exchange& multi = NewExchange(protocol, 2);
    CDATag* f = multi.tags.Add({kRegHolding, 40, kTypeFloat32, 3, 0, 0, true});
    CDATag* w = multi.tags.Add({kRegHolding, 42, kTypeUInt16, 1, 0, 0, true});
    f->SetPendingValue(multi.Keep(std::make_unique<Scalar>(10.0, UA_TYPES_DOUBLE)));
    w->SetPendingValue(multi.Keep(std::make_unique<Scalar>(uint16_t(513), UA_TYPES_UINT16)));
    multi.list = multi.tags.List();
    ASSERT_TRUE(multi.modbus.Request_Write(multi.list));
    multi.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, multi.modbus), [](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "16");
      EXPECT_EQ(d.at("address"), "40");
      EXPECT_EQ(d.at("values"), "16672,0,513");
    });
    m_Peer.Ask(RespondLine(protocol, multi.modbus, "\"kind\":\"write_registers\",\"address\":40,\"count\":3"),
               [&multi, f, w](const Fields& r) {
                 multi.Accept(r);
                 EXPECT_TRUE(f->IsDone() && w->IsDone());
               });

    Exchange& coils = NewExchange(protocol, 2);
    for (uint16_t a = 0; a < 10; ++a) {
      CDATag* t = coils.tags.Add({kRegCoil, uint16_t(60 + a), kTypeBool, 0, 0, 0, true});
      t->SetPendingValue(coils.Keep(std::make_unique<Scalar>(UA_Boolean(a % 4 == 1), UA_TYPES_BOOLEAN)));
    }
    coils.list = coils.tags.List();
    ASSERT_TRUE(coils.modbus.Request_Write(coils.list));
    coils.modbus.FinishFrame();
    m_Peer.Ask(DecodeLine(protocol, coils.modbus), [](const Fields& d) {
      EXPECT_EQ(d.at("fc"), "15");
      EXPECT_EQ(d.at("address"), "60");
      // pymodbus gives the bits of whole bytes; the first ten are ours.
      EXPECT_EQ(d.at("values").substr(0, 19), "0,1,0,0,0,1,0,0,0,1");
    });
    m_Peer.Ask(RespondLine(protocol, coils.modbus, "\"kind\":\"write_coils\",\"address\":60,\"count\":10"),
               [&coils](const Fields& r) { coils.Accept(r); });
  }
  m_Peer.Run();
}

}  // namespace
}  // namespace virk
