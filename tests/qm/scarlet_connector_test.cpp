// The QM connector against a real ScarletDME, locally over pipes and over
// TCP through socat: calls, answers larger than a fixed buffer, and how each
// failure reaches the conduit. Skipped where ScarletDME is not installed.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "qm/qm_host.h"
#include "qm/scarlet.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
using host::HostConnector;
using namespace scarlet;

fs::path testAccount() { return fs::path(PELORIX_SOURCE_DIR) / "tests" / "qm" / "account"; }

class ScarletConnector : public ::testing::Test {
 protected:
  void SetUp() override {
    PELORIX_NEEDS_SCARLETDME();
    desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / "qmclient.so").string());
    account = std::make_unique<QmAccount>(testAccount());
  }
  HostConnector local() {
    HostConnector host = HostConnector::create(3);
    host.HostName("");
    host.AcctPath(account->name());
    host.Connect();
    return host;
  }
  HostConnector network(const Listener& listener, const std::string& password) {
    HostConnector host = HostConnector::create(3);
    host.HostName(listener.hostName());
    host.AcctPath(account->name());
    host.UserName(networkUser().name);
    host.Passwd(password);
    host.Connect();
    return host;
  }
  static std::string description(const std::function<void()>& f, com::HRESULT number) {
    try {
      f();
    } catch (const com::ComError& e) {
      EXPECT_EQ(com::hresultText(e.number()), com::hresultText(number)) << e.description();
      return e.description();
    }
    ADD_FAILURE() << "no error";
    return {};
  }

  IsolatedConfig config;
  std::unique_ptr<QmAccount> account;
};

TEST_F(ScarletConnector, CallsTheCataloguedSubroutineLocallyAndOverTheNetwork) {
  auto check = [](HostConnector host) {
    std::string to = "stale";
    host.CallHost("PX.ECHO",
                  "1\xFE"
                  "2",
                  "from", to);
    EXPECT_EQ(to,
              "1\xFE"
              "2\xFD"
              "from");
    // Longer than any buffer a client might size in advance, both ways.
    std::string from(3 << 20, 'y');
    host.CallHost("PX.FAIL", "LONG", "5000001", to);
    EXPECT_EQ(to, std::string(5000001, 'x'));
    host.CallHost("PX.ECHO", "0", from, to);
    EXPECT_EQ(to.size(), from.size() + 2);
    host.Disconnect();
  };
  check(local());
  if (networkUnavailable()) GTEST_SKIP() << *networkUnavailable();
  Listener listener;
  check(network(listener, networkUser().password));
}

TEST_F(ScarletConnector, EachFailureOfACallSaysWhichItIs) {
  HostConnector host = local();
  std::string to;
  std::string why = description([&] { host.CallHost("PX.NOT.CATALOGUED", "", "", to); }, qm::kProgramFailed);
  EXPECT_NE(why.find("The subroutine PX.NOT.CATALOGUED is not catalogued"), std::string::npos) << why;
  why = description([&] { host.CallHost("PX.FAIL", "MISSING", "", to); }, qm::kProgramFailed);
  EXPECT_NE(why.find("PX.FAIL calls PX.NOT.THERE, which is not catalogued"), std::string::npos) << why;
  why = description([&] { host.CallHost("PX.FAIL", "DIVIDE", "", to); }, qm::kProgramFailed);
  EXPECT_NE(why.find("PX.FAIL failed on the local QM server"), std::string::npos) << why;
  EXPECT_NE(why.find("Divide by zero"), std::string::npos) << why;
  why = description([&] { host.CallHost("PX.FAIL", "ABORT", "", to); }, qm::kProgramFailed);
  EXPECT_NE(why.find("PX.FAIL failed on the local QM server"), std::string::npos) << why;
  // None of these ends the connection.
  host.CallHost("PX.ECHO", "still", "here", to);
  EXPECT_EQ(to, "still\xFDhere");
}

TEST_F(ScarletConnector, AServerProcessThatEndsEndsTheSessionWithAnError) {
  HostConnector host = local();
  pid_t qm = localQmChild();
  ASSERT_GT(qm, 0);
  ::kill(qm, SIGTERM);
  std::string to = "kept";
  std::string why = description([&] { host.CallHost("PX.ECHO", "", "", to); }, qm::kConnectionLost);
  EXPECT_NE(why.find("The connection to the local QM server was lost"), std::string::npos) << why;
  EXPECT_EQ(to, "kept");
  description([&] { host.CallHost("PX.ECHO", "", "", to); }, qm::kNotConnected);
  host.Connect();  // a new connection works again
  host.CallHost("PX.ECHO", "back", "", to);
  EXPECT_EQ(to, "back\xFD");
}

TEST_F(ScarletConnector, AnAccountQmDoesNotKnowIsRefused) {
  HostConnector host = HostConnector::create(3);
  host.AcctPath("PX.NO.SUCH.ACCOUNT");
  std::string why = description([&] { host.Connect(); }, qm::kConnectFailed);
  EXPECT_NE(why.find("No account \"PX.NO.SUCH.ACCOUNT\" on the local QM server"), std::string::npos) << why;
  host.AcctPath(account->folder().string());
  why = description([&] { host.Connect(); }, qm::kConnectFailed);
  EXPECT_NE(why.find("not its folder"), std::string::npos) << why;
}

std::vector<std::string> commandLines() {
  std::vector<std::string> all;
  DIR* proc = ::opendir("/proc");
  while (dirent* e = proc ? ::readdir(proc) : nullptr) {
    std::ifstream in(std::string("/proc/") + e->d_name + "/cmdline", std::ios::binary);
    all.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (proc) ::closedir(proc);
  return all;
}

TEST_F(ScarletConnector, AWrongPasswordIsRefusedAndThePasswordIsShownNowhere) {
  PELORIX_NEEDS_QM_NETWORK();
  Listener listener;
  const std::string wrong = "Not-" + networkUser().password;
  std::string why = description([&] { network(listener, wrong); }, qm::kConnectFailed);
  EXPECT_NE(why.find("refused the user \"pelorixqm\""), std::string::npos) << why;
  EXPECT_EQ(why.find(wrong), std::string::npos);

  HostConnector host = network(listener, networkUser().password);
  for (const std::string& line : commandLines()) {
    EXPECT_EQ(line.find(networkUser().password), std::string::npos) << line;
    EXPECT_EQ(line.find(wrong), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace pelorix::test
