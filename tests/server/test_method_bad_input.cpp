// Hostile arguments of addNode, editNode and deleteNode from a client: a
// megabyte long, with fields missing or added, with numbers past every range.
// Each is refused, the tree and the address space stay exactly as they were,
// and the server answers the next call.
#include <gtest/gtest.h>

#include "common/csv_writer.h"
#include "gateway_fixture.h"
#include "test_tree.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

const std::string kTagTail = ";3;1;2;0;1;1;1;0;0;0;0;0;0";  // holding register 1, UInt16

class MethodBadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    test::AddTag(test::AddGroup(test::AddDevice(test::AddTcpChannel(m_Root, "A", 502), "D", true), "G"), "T",
                 kRegHolding, 0);
    PrepareItems(m_Root);
    m_Gateway = std::make_unique<test::InProcessGateway>(m_Root, m_Exchange);
    ASSERT_TRUE(m_Gateway->Ready());
    ASSERT_TRUE(test::Connect(m_Client, m_Gateway->Url()));
    m_Records = Records();
    m_Indexed = Indexed();
  }
  void TearDown() override {
    UA_Client_disconnect(m_Client.get());
    m_Gateway.reset();
  }
  std::u16string Records() {
    return m_Gateway->Paused([&] { return RecordsText(m_Root); });
  }
  size_t Indexed() {
    return m_Gateway->Paused([&] { return m_Gateway->Gate().Callback().ItemIndex().size(); });
  }
  // Refused with a Bad result or "Failed", and nothing changed.
  void ExpectRefused(const std::string& method, const std::string& input, const std::string& what) {
    const auto [status, output] = test::CallMethod(m_Client.get(), method, input);
    EXPECT_TRUE(status != UA_STATUSCODE_GOOD || output == "Failed")
        << method << " " << what << ": " << UA_StatusCode_name(status) << " " << output;
    EXPECT_EQ(Records(), m_Records) << method << " " << what;
    EXPECT_EQ(Indexed(), m_Indexed) << method << " " << what;
  }
  void ExpectServerAnswers() {
    EXPECT_EQ(test::CallMethod(m_Client.get(), "addNode", "A.D.G;4;Fresh" + kTagTail).second, "Success");
  }

  CTreeItemRoot m_Root;
  test::CountingExchange m_Exchange;
  std::unique_ptr<test::InProcessGateway> m_Gateway;
  test::OpcUaClient m_Client;
  std::u16string m_Records;
  size_t m_Indexed = 0;
};

TEST_F(MethodBadInput, MegabyteArgumentsAreRefused) {
  const std::string megabyte(1 << 20, 'N');
  ExpectRefused("addNode", "A.D.G;4;" + megabyte + kTagTail, "megabyte name");
  ExpectRefused("addNode", "A.D.G;4;X;3;" + std::string(1 << 20, '7') + ";2;0;1;1;1;0;0;0;0;0;0",
                "megabyte address");
  ExpectRefused("addNode", "A.D.G;4;X" + kTagTail + std::string(1 << 20, ';'), "megabyte of separators");
  ExpectRefused("editNode", "A.D.G.T;4;" + megabyte + kTagTail, "megabyte name");
  ExpectRefused("editNode", megabyte + ";4;T" + kTagTail, "megabyte path");
  ExpectRefused("deleteNode", megabyte, "megabyte path");
  ExpectRefused("deleteNode", "A.D.G.T" + megabyte, "path with a megabyte tail");
  ExpectServerAnswers();
}

TEST_F(MethodBadInput, MissingExtraAndOutOfRangeFieldsAreRefused) {
  const std::pair<const char*, std::string> edits[] = {
      {"no fields", ""},
      {"path only", "A.D.G.T"},
      {"kind only", "A.D.G.T;4"},
      {"one field more", "A.D.G.T;4;T" + kTagTail + ";0"},
      {"address past 65536", "A.D.G.T;4;T;3;65537;2;0;1;1;1;0;0;0;0;0;0"},
      {"address past int64", "A.D.G.T;4;T;3;99999999999999999999999;2;0;1;1;1;0;0;0;0;0;0"},
      {"negative address", "A.D.G.T;4;T;3;-1;2;0;1;1;1;0;0;0;0;0;0"},
      {"value type past the list", "A.D.G.T;4;T;3;1;25;0;1;1;1;0;0;0;0;0;0"},
      {"register kind past int64", "A.D.G.T;4;T;-99999999999999999999;1;2;0;1;1;1;0;0;0;0;0;0"},
      {"unknown kind", "A.D.G.T;9;T" + kTagTail},
      {"group period past int64", "A.D.G;3;G;18446744073709551616;0"},
      {"group one field short", "A.D.G;3;G;100"},
      {"device address 256", "A.D;2;D;\xC4\x80;1;1;d;\xDF\x90;"},
      {"channel time-out past int64", "A;1;A;1;9223372036854775808;3;0;2;16777343;502;3000"},
      {"channel port 65536", "A;1;A;1;500;3;0;2;16777343;65536;3000"},
      {"channel address past 32 bits", "A;1;A;1;500;3;0;2;4294967296;502;3000"},
  };
  for (const auto& [what, input] : edits) {
    ExpectRefused("editNode", input, what);
    // The same fields as a new item under the same parent.
    const size_t separator = input.find(';');
    if (separator == std::string::npos) continue;
    const size_t dot = input.rfind('.', separator);
    const std::string parent = dot == std::string::npos ? "Каналы" : input.substr(0, dot);
    ExpectRefused("addNode", parent + input.substr(separator), what);
  }
  ExpectServerAnswers();
}

}  // namespace
}  // namespace virk::server
