// The QM connector's side of the QMClient protocol, against a scripted
// server: what it sends, what it takes from the replies, and how each failure
// reaches the conduit. Needs no QM server.

#include <gtest/gtest.h>

#include <filesystem>

#include "com/dispatch.h"
#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "qm/fake_qm_server.h"
#include "qm/qm_host.h"
#include "qm/qm_protocol.h"
#include "qm/qm_session.h"
#include "support/test_support.h"

namespace pelorix::test {
namespace {

using host::HostConnector;
namespace q = pelorix::qm;

constexpr const char* kPassword = "Pw-4-the-test";

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

TEST(QmProtocol, RequestsAreLittleEndianWithTextsPaddedToEvenLengths) {
  EXPECT_EQ(q::requestHeader(q::Action::Call, 10), bytes({16, 0, 0, 0, 20, 0}));
  EXPECT_EQ(q::loginData("ab", "xyz"), bytes({2, 0}) + "ab" + bytes({3, 0}) + "xyz" + bytes({0}));
  std::string_view args[] = {"abc", "", "de"};
  EXPECT_EQ(q::callData("SUB", args), bytes({3, 0}) + "SUB" + bytes({0, 3, 0}) +  // name, argument count
                                          bytes({3, 0, 0, 0}) + "abc" + bytes({0}) + bytes({0, 0, 0, 0}) +
                                          bytes({2, 0, 0, 0}) + "de");
  std::string big(70000, 'x');
  std::string_view one[] = {big};
  EXPECT_EQ(q::callData("S", one).substr(6, 4), bytes({0x70, 0x11, 0x01, 0}));
}

TEST(QmProtocol, RepliesAreCheckedBeforeTheyAreTrusted) {
  q::ReplyHeader h = q::parseReplyHeader(bytes({15, 0, 0, 0, 1, 0, 0xEC, 3, 0, 0}));
  EXPECT_EQ(h.dataBytes, 5u);
  EXPECT_EQ(h.outcome, q::Outcome::Aborted);
  EXPECT_EQ(h.status, 1004);
  EXPECT_THROW(q::parseReplyHeader(bytes({9, 0, 0, 0, 0, 0, 0, 0, 0, 0})), q::ProtocolError);
  EXPECT_THROW(q::parseReplyHeader(bytes({10, 0, 0, 0x80, 0, 0, 0, 0, 0, 0})), q::ProtocolError);
  EXPECT_THROW(q::parseReplyHeader(bytes({10, 0, 0, 0, 9, 0, 0, 0, 0, 0})), q::ProtocolError);

  std::string reply = changedArguments({{2, "odd"},
                                        {3,
                                         "answer\xFE"
                                         "2"}});
  EXPECT_EQ(q::changedArgument(reply, 3),
            "answer\xFE"
            "2");
  EXPECT_EQ(q::changedArgument(reply, 2), "odd");
  EXPECT_EQ(q::changedArgument(reply, 1), std::nullopt);
  EXPECT_THROW(q::changedArgument(reply.substr(0, reply.size() - 1), 3), q::ProtocolError);
  EXPECT_THROW(q::changedArgument(reply.substr(0, 12), 3), q::ProtocolError);

  EXPECT_EQ(q::abortMessage("00000D06: Unable to load 'X' object code in $VBSRVR"),
            "Unable to load 'X' object code in $VBSRVR");
  EXPECT_EQ(q::abortMessage("Invalid username or password"), "Invalid username or password");
}

TEST(QmProtocol, TheHostNameChoosesTheConnection) {
  auto at = [](const std::string& name, bool password) {
    q::Endpoint e = q::parseEndpoint(name, password);
    return e.local ? std::string("local") : e.host + " " + e.port;
  };
  EXPECT_EQ(at("", false), "local");
  EXPECT_EQ(at("LocalHost", false), "local");
  EXPECT_EQ(at("localhost", true), "localhost 4243");
  EXPECT_EQ(at("", true), "localhost 4243");
  EXPECT_EQ(at("localhost:4243", false), "localhost 4243");
  EXPECT_EQ(at("mv.example.com", false), "mv.example.com 4243");
  EXPECT_EQ(at(" mv.example.com:4000 ", true), "mv.example.com 4000");
  EXPECT_EQ(at("[::1]:4001", true), "::1 4001");
  EXPECT_EQ(at("::1", true), "::1 4243");
  EXPECT_EQ(q::parseEndpoint("::1", true).describe(), "the QM server at [::1]:4243");
}

// Logs in and enters any account; calls go to `onCall`.
FakeQmServer::Script serverWith(std::function<FakeReply(const FakeRequest&)> onCall) {
  return [onCall](const FakeRequest& r) -> FakeReply {
    if (r.action == static_cast<std::uint16_t>(q::Action::Call)) return onCall(r);
    return {};
  };
}

class QmConnectorScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop::ClassRegistry::instance().registerLibrary(
        (std::filesystem::path(PELORIX_BIN_DIR) / "qmclient.so").string());
  }
  HostConnector connect(const FakeQmServer& server, const std::string& password = kPassword) {
    HostConnector host = HostConnector::create(3);
    host.HostName(server.hostName());
    host.AcctPath("SALES");
    host.UserName("pat");
    host.Passwd(password);
    host.unitype(0);
    host.Connect();
    return host;
  }
  // The description of the COM error `f` raises, checked for its number
  // and for the password.
  std::string failure(const std::function<void()>& f, com::HRESULT number) {
    try {
      f();
    } catch (const com::ComError& e) {
      EXPECT_EQ(com::hresultText(e.number()), com::hresultText(number)) << e.description();
      EXPECT_EQ(e.description().find(kPassword), std::string::npos);
      EXPECT_EQ(std::string(e.what()).find(kPassword), std::string::npos);
      return e.description();
    }
    ADD_FAILURE() << "no error";
    return {};
  }

  IsolatedConfig config;
};

TEST_F(QmConnectorScripted, CallHostSendsTheThreeArgumentsAndTakesBackTheThird) {
  FakeQmServer server(serverWith([](const FakeRequest&) {
    return FakeReply(0, changedArguments({{2, "FROM.PALM changed"}, {3, "answer"}}));
  }));
  HostConnector host = connect(server);
  std::string to = "stale";
  host.CallHost("SYNC.MEMOS",
                "0\xFE"
                "1",
                "rec]", to);
  EXPECT_EQ(to, "answer");
  host.Disconnect();
  server.waitForConversations(1);

  std::vector<FakeRequest> sent = server.requests();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].action, 24);
  EXPECT_EQ(sent[0].data, q::loginData("pat", kPassword));
  EXPECT_EQ(sent[1].action, 3);
  EXPECT_EQ(sent[1].data, "SALES");
  EXPECT_EQ(sent[2].action, 20);
  std::string_view args[] = {
      "0\xFE"
      "1",
      "rec]", ""};
  EXPECT_EQ(sent[2].data, q::callData("SYNC.MEMOS", args));
  EXPECT_EQ(sent[3].action, 1);
}

TEST_F(QmConnectorScripted, AnArgumentTheSubroutineLeftAloneComesBackAsItWent) {
  FakeQmServer server(serverWith([](const FakeRequest&) { return FakeReply(0, changedArguments({{2, "x"}})); }));
  HostConnector host = connect(server);
  std::string to;
  host.CallHost("P", "0", "from", to);
  EXPECT_EQ(to, "");
}

TEST_F(QmConnectorScripted, AnAnswerOfAnySizeArrivesWhole) {
  std::string huge(24 << 20, '\0');
  for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>(i * 7 + i / 4093);
  FakeQmServer server(serverWith([&](const FakeRequest&) { return FakeReply(0, changedArguments({{3, huge}})); }));
  HostConnector host = connect(server);
  std::string to;
  host.CallHost("P", "0", std::string(3 << 20, 'f'), to);
  EXPECT_EQ(to.size(), huge.size());
  EXPECT_TRUE(to == huge);
}

TEST_F(QmConnectorScripted, ALoginOrAccountTheServerRefusesFailsConnect) {
  FakeQmServer refusing(
      [](const FakeRequest& r) { return r.action == 24 ? FakeReply(1, "Invalid username or password") : FakeReply(); });
  std::string why = failure([&] { connect(refusing); }, q::kConnectFailed);
  EXPECT_NE(why.find("refused the user \"pat\": Invalid username or password"), std::string::npos) << why;

  FakeQmServer noAccount([](const FakeRequest& r) {
    if (r.action == 3) return FakeReply(3, "");
    if (r.action == 2) return FakeReply(0, "Unable to change to directory SALES");
    return FakeReply();
  });
  why = failure([&] { connect(noAccount); }, q::kConnectFailed);
  EXPECT_NE(why.find("No account \"SALES\""), std::string::npos) << why;
  EXPECT_NE(why.find("Unable to change to directory SALES"), std::string::npos) << why;
}

TEST_F(QmConnectorScripted, EachFailureOfACallSaysWhichItIs) {
  std::string next;
  FakeQmServer server(serverWith([&](const FakeRequest&) {
    if (next == "missing") return FakeReply(1, "00000D06: Unable to load 'SYNC.MEMOS' object code in $VBSRVR");
    if (next == "inner") return FakeReply(1, "00000123: Unable to load 'PALM.SYNC' object code in SYNC.MEMOS");
    if (next == "error") return FakeReply(1, "000000FD: Divide by zero error at line 5 of SYNC.MEMOS");
    if (next == "input") return FakeReply(5, "");
    return FakeReply(0, changedArguments({{3, "fine"}}));
  }));
  HostConnector host = connect(server);
  std::string to;
  next = "missing";
  std::string why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kProgramFailed);
  EXPECT_NE(why.find("SYNC.MEMOS is not catalogued"), std::string::npos) << why;
  next = "inner";
  why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kProgramFailed);
  EXPECT_NE(why.find("calls PALM.SYNC, which is not catalogued"), std::string::npos) << why;
  next = "error";
  why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kProgramFailed);
  EXPECT_NE(why.find("Divide by zero error at line 5 of SYNC.MEMOS"), std::string::npos) << why;
  // A run-time error leaves the connection usable.
  next = "";
  host.CallHost("SYNC.MEMOS", "0", "", to);
  EXPECT_EQ(to, "fine");
  // A program waiting for input holds the server: the connection is given up.
  next = "input";
  why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kProgramFailed);
  EXPECT_NE(why.find("asked for input"), std::string::npos) << why;
  failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kNotConnected);
  failure([&] { host.CallHost("", "0", "", to); }, q::kNotConnected);
}

TEST_F(QmConnectorScripted, ADroppedOrGarbledConnectionEndsTheSession) {
  for (FakeReply broken : {FakeReply::hangUpAfter(""), FakeReply::hangUpAfter(replyPacket(0, "").substr(0, 6)),
                           FakeReply::hangUpAfter(replyPacket(0, changedArguments({{3, "cut"}})).substr(0, 18)),
                           FakeReply(0, bytes({3, 0, 100, 0, 0, 0}) + "short"),
                           FakeReply::hangUpAfter(bytes({3, 0, 0, 0, 0, 0, 0, 0, 0, 0}))}) {
    FakeQmServer server(serverWith([&](const FakeRequest&) { return broken; }));
    HostConnector host = connect(server);
    std::string to = "kept";
    std::string why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kConnectionLost);
    EXPECT_NE(why.find("The connection to the QM server at " + server.hostName() + " was lost"), std::string::npos)
        << why;
    EXPECT_EQ(to, "kept");
    why = failure([&] { host.CallHost("SYNC.MEMOS", "0", "", to); }, q::kNotConnected);
    EXPECT_NE(why.find("was lost"), std::string::npos) << why;
  }
}

TEST_F(QmConnectorScripted, ConnectSaysWhyNoServerCouldBeReached) {
  std::string host;
  {
    FakeQmServer gone([](const FakeRequest&) { return FakeReply(); });
    host = gone.hostName();
  }
  HostConnector c = HostConnector::create(3);
  c.HostName(host);
  c.AcctPath("SALES");
  c.UserName("pat");
  c.Passwd(kPassword);
  std::string why = failure([&] { c.Connect(); }, q::kConnectFailed);
  EXPECT_NE(why.find("the QM server at " + host + " cannot be reached"), std::string::npos) << why;

  HostConnector noAccount = HostConnector::create(3);
  noAccount.HostName("127.0.0.1");
  noAccount.Passwd(kPassword);
  why = failure([&] { noAccount.Connect(); }, q::kConnectFailed);
  EXPECT_NE(why.find("user name of 1 to 32"), std::string::npos) << why;
}

TEST_F(QmConnectorScripted, ThePasswordCannotBeReadBack) {
  HostConnector host = HostConnector::create(3);
  host.Passwd(kPassword);
  EXPECT_EQ(com::getProperty(host.object(), "Passwd").toText(), "");
  host.UserName("pat");
  EXPECT_EQ(com::getProperty(host.object(), "UserName").toText(), "pat");
}

TEST_F(QmConnectorScripted, SplitsAnAnswerWithCreateDynamicArrayDcountAndExtract) {
  HostConnector host = HostConnector::create(3);
  com::Variant array = host.CreateDynamicArray(
      "a\xFD"
      "1\xFE"
      "b\xFE\xFE"
      "d");
  EXPECT_EQ(host.Dcount(array), 4);
  EXPECT_EQ(host.Extract(array, 1),
            "a\xFD"
            "1");
  EXPECT_EQ(host.Extract(array, 3), "");
  EXPECT_EQ(host.Extract(array, 4), "d");
  EXPECT_EQ(host.Extract(array, 5), "");
  EXPECT_EQ(host.Extract(array, 40000), "");
  std::int16_t zero = 0;
  com::Variant second = com::callMethod(host.object(), "Extract", {com::Arg::ref(array), 1, 2, zero});
  EXPECT_EQ(second.toText(), "1");
  com::Variant empty = host.CreateDynamicArray("");
  EXPECT_EQ(host.Dcount(empty), 0);
  com::Variant text("x,y,z");
  EXPECT_EQ(com::callMethod(host.object(), "Dcount", {",", com::Arg::ref(text)}).toInt32(), 3);
}

}  // namespace
}  // namespace pelorix::test
