// Client sessions and the exchange: polling starts with the first session,
// keeps running while any session is open and stops when the last one
// closes; a refused login changes nothing.
#include <gtest/gtest.h>

#include "gateway_fixture.h"
#include "server/sessions.h"
#include "ua_calls.h"

namespace virk::server {
namespace {

class Sessions : public ::testing::Test {
 protected:
  void SetUp() override {
    server::Sessions().SetExchange(&m_Exchange);
    ASSERT_TRUE(m_Gateway.Ready());
  }
  void TearDown() override { server::Sessions().SetExchange(nullptr); }
  size_t ActiveCount() { return server::Sessions().ActiveSessions().size(); }

  CTreeItemRoot m_Root;
  test::CountingExchange m_Exchange;
  test::InProcessGateway m_Gateway{m_Root, m_Exchange, {{"operator", "secret"}}};
};

TEST_F(Sessions, ExchangeRunsFromTheFirstSessionUntilTheLastCloses) {
  test::OpcUaClient first, second;
  ASSERT_TRUE(test::Connect(first, m_Gateway.Url()));
  EXPECT_TRUE(m_Exchange.IsStarted());
  EXPECT_TRUE(server::Sessions().ClientStartedExchange());
  ASSERT_TRUE(test::Connect(second, m_Gateway.Url()));
  EXPECT_EQ(ActiveCount(), 2u);
  EXPECT_EQ(m_Exchange.m_Starts, 1);

  UA_Client_disconnect(first.get());
  EXPECT_EQ(ActiveCount(), 1u);
  EXPECT_TRUE(m_Exchange.IsStarted()) << "the second client still works";
  EXPECT_EQ(m_Exchange.m_Stops, 0);

  UA_Client_disconnect(second.get());
  EXPECT_EQ(ActiveCount(), 0u);
  EXPECT_FALSE(m_Exchange.IsStarted());
  EXPECT_FALSE(server::Sessions().ClientStartedExchange());
}

TEST_F(Sessions, AnExplicitStopHoldsUntilTheNextSessionChange) {
  test::OpcUaClient first, second;
  ASSERT_TRUE(test::Connect(first, m_Gateway.Url()));
  EXPECT_EQ(test::CallMethod(first.get(), "stopExchange", "emul").second, "Success");
  EXPECT_FALSE(m_Exchange.IsStarted());
  EXPECT_TRUE(server::Sessions().ClientStartedExchange()) << "the methods leave the flag alone";
  ASSERT_TRUE(test::Connect(second, m_Gateway.Url()));
  EXPECT_FALSE(m_Exchange.IsStarted()) << "only the first session starts the exchange";
  UA_Client_disconnect(second.get());
  UA_Client_disconnect(first.get());
  EXPECT_EQ(ActiveCount(), 0u);
}

TEST_F(Sessions, LoginsAreCheckedFirst) {
  test::OpcUaClient wrong;
  EXPECT_NE(UA_Client_connectUsername(wrong.get(), m_Gateway.Url().c_str(), "operator", "wrong"),
            UA_STATUSCODE_GOOD);
  EXPECT_EQ(ActiveCount(), 0u);
  EXPECT_FALSE(m_Exchange.IsStarted());

  test::OpcUaClient right;
  ASSERT_EQ(UA_Client_connectUsername(right.get(), m_Gateway.Url().c_str(), "operator", "secret"),
            UA_STATUSCODE_GOOD);
  EXPECT_EQ(ActiveCount(), 1u);
  EXPECT_TRUE(m_Exchange.IsStarted());
  UA_Client_disconnect(right.get());
}

TEST(SessionTracker, ReactivatedSessionCountsOnce) {
  test::CountingExchange exchange;
  SessionTracker tracker;
  tracker.SetExchange(&exchange);
  const UA_NodeId a = UA_NODEID_NUMERIC(1, 17), b = UA_NODEID_NUMERIC(1, 18);
  tracker.Activated(a);
  tracker.Activated(a);
  tracker.Activated(b);
  EXPECT_EQ(tracker.ActiveSessions(), (std::vector<uint32_t>{17, 18}));
  tracker.Closed(a);
  EXPECT_TRUE(exchange.IsStarted());
  tracker.Closed(b);
  EXPECT_FALSE(exchange.IsStarted());
  tracker.Closed(b);  // a close without a session leaves things alone
  EXPECT_EQ(exchange.m_Stops, 1);
}

}  // namespace
}  // namespace virk::server
