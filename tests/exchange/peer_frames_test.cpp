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
    ASSERT_TRUE(modbus.ValidateResponse()) << "check result " << ToText(modbus.CheckResult());
    ASSERT_TRUE(modbus.AnalyseResponse(list));
  }
};

std::string RespondLine(int protocol, const CModbus& m, const std::string& rest) {
  return std::string("{\"op\":\"respond\",\"protocol\":\"") + kProtocols[protocol] +
         "\",\"unit\":" + std::to_string(m.UnitAddress()) + ",\"tid\":" + std::to_string(m.TransactionId()) +
         "," + rest + "}";
}

// A check that the decoded request has these fields (a prefix for "values").
std::function<void(const Fields&)> Decoded(Fields expected) {
  return [expected](const Fields& d) {
    for (const auto& [key, value] : expected) {
      ASSERT_EQ(d.count(key), 1u) << key;
      EXPECT_EQ(d.at(key).substr(0, value.size()), value) << key;
    }
  };
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
  // Builds the request of `x`, has the peer decode it and answer it, and
  // runs `accepted` once our side took the answer.
  void RoundTrip(int protocol, Exchange& x, bool write, Fields decoded, const std::string& response,
                 std::function<void()> accepted = {}) {
    x.list = x.tags.List();
    ASSERT_TRUE(write ? x.modbus.Request_Write(x.list) : x.modbus.Request_Read(x.list));
    x.modbus.FinishFrame();
    if (protocol == kProtocolTcp) decoded["tid"] = std::to_string(x.modbus.TransactionId());
    decoded["unit"] = std::to_string(x.modbus.UnitAddress());
    m_Peer.Ask(DecodeLine(protocol, x.modbus), Decoded(decoded));
    m_Peer.Ask(RespondLine(protocol, x.modbus, response), [&x, accepted](const Fields& r) {
      x.Accept(r);
      if (accepted) accepted();
    });
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
    RoundTrip(protocol, h, false, {{"fc", "3"}, {"address", "100"}, {"count", "3"}},
              "\"kind\":\"registers\",\"fc\":3,\"values\":[16672,0,65534]", [f, i] {
                EXPECT_FLOAT_EQ(AsDouble(*f), 10.0f);
                EXPECT_EQ(AsDouble(*i), -2);
              });

    // "AB CD" sends the least significant byte first: 0x56781234 travels as 34 12 78 56.
    Exchange& in = NewExchange(protocol, 247);
    CDATag* u = in.tags.Add({kRegInput, 0, kTypeUInt32, 0});
    RoundTrip(protocol, in, false, {{"fc", "4"}, {"address", "0"}, {"count", "2"}},
              "\"kind\":\"registers\",\"fc\":4,\"values\":[13330,30806]",
              [u] { EXPECT_EQ(AsDouble(*u), double(0x56781234u)); });

    for (int32_t kind : {kRegCoil, kRegDiscreteInput}) {
      Exchange& c = NewExchange(protocol, 17);
      std::vector<CDATag*> bits;
      for (uint16_t a = 0; a < 11; ++a) bits.push_back(c.tags.Add({kind, uint16_t(500 + a), kTypeBool}));
      const std::string fc = kind == kRegCoil ? "1" : "2";
      RoundTrip(protocol, c, false, {{"fc", fc}, {"address", "500"}, {"count", "11"}},
                "\"kind\":\"bits\",\"fc\":" + fc + ",\"values\":[1,0,0,1,1,0,0,0,0,1,1]", [bits] {
                  const int expected[11] = {1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1};
                  for (int k = 0; k < 11; ++k) EXPECT_EQ(AsDouble(*bits[k]), expected[k]) << k;
                });
    }

    Exchange& e = NewExchange(protocol, 3);
    CDATag* t = e.tags.Add({kRegHolding, 9, kTypeUInt16});
    RoundTrip(protocol, e, false, {{"fc", "3"}, {"address", "9"}},
              "\"kind\":\"exception\",\"fc\":3,\"code\":2",
              [t] { EXPECT_EQ(t->Status(), kStatusBadOutOfRange); });
  }
  m_Peer.Run();
}

TEST_F(PeerFrames, WriteRequestsAndResponses) {
  for (int protocol = 0; protocol < 3; ++protocol) {
    Exchange& coil = NewExchange(protocol, 2);
    CDATag* c = coil.tags.Add({kRegCoil, 33, kTypeBool});
    c->SetPendingValue(coil.Keep(std::make_unique<Scalar>(UA_Boolean(true), UA_TYPES_BOOLEAN)));
    RoundTrip(protocol, coil, true, {{"fc", "5"}, {"address", "33"}, {"values", "1"}},
              "\"kind\":\"write_coil\",\"address\":33,\"value\":1");

    Exchange& reg = NewExchange(protocol, 2);
    CDATag* r16 = reg.tags.Add({kRegHolding, 7, kTypeInt16, 1});
    r16->SetPendingValue(reg.Keep(std::make_unique<Scalar>(int16_t(-2), UA_TYPES_INT16)));
    RoundTrip(protocol, reg, true, {{"fc", "6"}, {"address", "7"}, {"values", "65534"}},
              "\"kind\":\"write_register\",\"address\":7,\"value\":65534");

    Exchange& multi = NewExchange(protocol, 2);
    CDATag* f = multi.tags.Add({kRegHolding, 40, kTypeFloat32, 3, 0, 0, true});
    CDATag* w = multi.tags.Add({kRegHolding, 42, kTypeUInt16, 1, 0, 0, true});
    f->SetPendingValue(multi.Keep(std::make_unique<Scalar>(10.0, UA_TYPES_DOUBLE)));
    w->SetPendingValue(multi.Keep(std::make_unique<Scalar>(uint16_t(513), UA_TYPES_UINT16)));
    RoundTrip(protocol, multi, true, {{"fc", "16"}, {"address", "40"}, {"values", "16672,0,513"}},
              "\"kind\":\"write_registers\",\"address\":40,\"count\":3",
              [f, w] { EXPECT_TRUE(f->IsDone() && w->IsDone()); });

    Exchange& coils = NewExchange(protocol, 2);
    for (uint16_t a = 0; a < 10; ++a) {
      CDATag* t = coils.tags.Add({kRegCoil, uint16_t(60 + a), kTypeBool, 0, 0, 0, true});
      t->SetPendingValue(coils.Keep(std::make_unique<Scalar>(UA_Boolean(a % 4 == 1), UA_TYPES_BOOLEAN)));
    }
    RoundTrip(protocol, coils, true, {{"fc", "15"}, {"address", "60"}, {"values", "0,1,0,0,0,1,0,0,0,1"}},
              "\"kind\":\"write_coils\",\"address\":60,\"count\":10");
  }
  m_Peer.Run();
}

}  // namespace
}  // namespace virk
