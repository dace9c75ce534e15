// The connector plug-in reached exactly as the conduit reaches it: created
// by ProgID through the class registry and called late-bound by name.

#include <gtest/gtest.h>

#include <fstream>

#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "desktop/settings_store.h"
#include "host/host_connector.h"
#include "mv/account.h"
#include "mv/account_users.h"
#include "mv/basic_host.h"
#include "mv/connections.h"
#include "mv/connector/embedded_host.h"
#include "mv/dynamic_array.h"
#include "mv/process_support.h"
#include "mv/step_limit.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

namespace fs = std::filesystem;
using host::HostConnector;

class Connector : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop::ClassRegistry::instance().registerLibrary(test::hostConnectorLibrary().string());
    account.createFile("BP");
  }
  void program(const std::string& name, const std::string& source) { account.write("BP", name, source); }
  HostConnector connected(int type = 3) {
    HostConnector host = HostConnector::create(type);
    if (type == 3) {
      host.HostName("");
      host.AcctPath(dir.path().string());
      host.UserName(user);
      host.Passwd(password);
      host.unitype(0);
    } else if (type == 2) {
      host.ODBCDataSource(dir.path().string());
      host.DOAAware(false);
    } else {
      host.HostName(dir.path().string());
    }
    host.Connect();
    return host;
  }
  std::string description(const std::function<void()>& f) {
    try {
      f();
    } catch (const com::ComError& e) {
      return e.description();
    }
    return "no error";
  }

  test::IsolatedConfig config;
  test::TempDir dir;
  Account account{dir.path()};
  std::string user, password;
};

constexpr const char* kEcho =
    "SUBROUTINE ECHO(INFO,FROM,TO)\n"
    "* answers with the request code and what came, and tries to change FROM\n"
    "TO = INFO<1> : @VM : FROM\n"
    "FROM = 'changed'\n"
    "RETURN\n";

TEST_F(Connector, AllThreeClassesRunTheAccountsSubroutine) {
  program("ECHO", kEcho);
  for (int type : {1, 2, 3}) {
    HostConnector host = connected(type);
    std::string to = "stale";
    host.CallHost("ECHO", m("1^2^x"), "from", to);
    EXPECT_EQ(to, "1" + std::string(1, VM) + "from") << type;
    host.Disconnect();
  }
}

TEST_F(Connector, SplitsAnAnswerWithCreateDynamicArrayDcountAndExtract) {
  HostConnector host = connected();
  com::Variant array = host.CreateDynamicArray(m("a]1^b^^d"));
  EXPECT_EQ(host.Dcount(array), 4);
  EXPECT_EQ(host.Extract(array, 1), m("a]1"));
  EXPECT_EQ(host.Extract(array, 3), "");
  EXPECT_EQ(host.Extract(array, 4), "d");
  EXPECT_EQ(host.Extract(array, 5), "");
  com::Variant empty = host.CreateDynamicArray("");
  EXPECT_EQ(host.Dcount(empty), 0);
}

TEST_F(Connector, NamedConnectionsAndFoldersBothReachAnAccount) {
  program("ECHO", kEcho);
  std::ofstream(connectionsFile()) << "Sales = " << dir.path().string() << "\n";
  HostConnector host = HostConnector::create(1);
  host.HostName("sales");
  host.Connect();
  std::string to;
  host.CallHost("ECHO", "0", "", to);
  EXPECT_EQ(to, "0" + std::string(1, VM));
}

TEST_F(Connector, ConnectSaysWhyItFails) {
  HostConnector none = HostConnector::create(3);
  EXPECT_NE(description([&] { none.Connect(); }).find("account path is empty"), std::string::npos);

  HostConnector missing = HostConnector::create(1);
  missing.HostName("nosuchhost");
  EXPECT_NE(description([&] { missing.Connect(); }).find("No account \"nosuchhost\""), std::string::npos);

  HostConnector remote = HostConnector::create(3);
  remote.HostName("mainframe.example.com");
  remote.AcctPath(dir.path().string());
  EXPECT_NE(description([&] { remote.Connect(); }).find("cannot be reached"), std::string::npos);

  HostConnector local = HostConnector::create(3);
  local.HostName("LOCALHOST");
  local.AcctPath(dir.path().string());
  EXPECT_NO_THROW(local.Connect());
}

TEST_F(Connector, AUsersFileDemandsTheRightPassword) {
  program("ECHO", kEcho);
  AccountUsers(dir.path()).add("palm", "pilot");
  user = "palm";
  password = "pilot";
  EXPECT_NO_THROW(connected());
  password = "Pilot";
  EXPECT_NE(description([&] { connected(); }).find("Wrong password for the user \"palm\""), std::string::npos);
  user = "nobody";
  EXPECT_NE(description([&] { connected(); }).find("Unknown user \"nobody\""), std::string::npos);
  // Types 1 and 2 carry no user: such an account is closed to them.
  EXPECT_NE(description([&] { connected(1); }).find("Unknown user"), std::string::npos);
}

TEST_F(Connector, CallHostErrorsNameTheProgramLineAndCause) {
  HostConnector idle = HostConnector::create(3);
  std::string to;
  test::expectComError([&] { idle.CallHost("ECHO", "", "", to); }, kNotConnected);

  HostConnector host = connected();
  try {
    host.CallHost("MISSING", "", "", to);
    ADD_FAILURE();
  } catch (const com::ComError& e) {
    EXPECT_EQ(e.number(), kProgramFailed);
    EXPECT_EQ(e.source(), "trivex3.Host");
    EXPECT_NE(e.description().find("No program \"MISSING\""), std::string::npos);
  }
  program("BROKEN", "SUBROUTINE BROKEN(A,B,C)\nC = 1\nIF C THEN\nRETURN\n");
  program("DIVIDE", "SUBROUTINE DIVIDE(A,B,C)\nC = 1\nC = C / 0\nRETURN\n");
  for (const char* name : {"BROKEN", "DIVIDE"}) {
    std::string description = this->description([&] { host.CallHost(name, "", "", to); });
    EXPECT_NE(description.find(name), std::string::npos) << description;
    EXPECT_NE(description.find("line"), std::string::npos) << description;
  }
}

TEST_F(Connector, AFailingCallWritesNothingAndTheHostLogShowsWhy) {
  account.createFile("DATA");
  program("HALF",
          "SUBROUTINE HALF(A,B,C)\nOPEN 'DATA' TO F ELSE RETURN\nCRT 'writing'\nWRITE 'x' ON F, 'ONE'\n"
          "X = 1 / 0\nRETURN\n");
  HostConnector host = connected();
  std::string to;
  EXPECT_THROW(host.CallHost("HALF", "", "", to), com::ComError);
  EXPECT_EQ(account.read("DATA", "ONE"), std::nullopt);
  std::string log = desktop::readWholeFile(dir / kHostLogName);
  EXPECT_NE(log.find("HALF: writing"), std::string::npos);
  EXPECT_NE(log.find("HALF: failed:"), std::string::npos);
}

TEST_F(Connector, TheStepLimitComesFromTheSettings) {
  program("SPIN", "SUBROUTINE SPIN(A,B,C)\nLOOP\nC = C + 1\nREPEAT\nRETURN\n");
  desktop::SettingsStore::user().set(kHostSettingsKey, kMaxStepsValue, "5000");
  HostConnector host = connected();
  std::string to;
  std::string description = this->description([&] { host.CallHost("SPIN", "", "", to); });
  EXPECT_NE(description.find("step"), std::string::npos) << description;
}

TEST_F(Connector, AnEditedProgramTakesEffectOnTheNextCall) {
  program("P", "SUBROUTINE P(A,B,C)\nC = 'old'\nRETURN\n");
  HostConnector host = connected();
  std::string to;
  host.CallHost("P", "", "", to);
  EXPECT_EQ(to, "old");
  program("P", "SUBROUTINE P(A,B,C)\nC = 'new'\nRETURN\n");
  host.CallHost("P", "", "", to);
  EXPECT_EQ(to, "new");
  // A subroutine it calls, too; and a program removed is missing at once.
  program("P", "SUBROUTINE P(A,B,C)\nCALL Q(C)\nRETURN\n");
  program("Q", "SUBROUTINE Q(X)\nX = 'q1'\nRETURN\n");
  host.CallHost("P", "", "", to);
  EXPECT_EQ(to, "q1");
  program("Q", "SUBROUTINE Q(X)\nX = 'q2'\nRETURN\n");
  host.CallHost("P", "", "", to);
  EXPECT_EQ(to, "q2");
  account.remove("BP", "P");
  EXPECT_THROW(host.CallHost("P", "", "", to), com::ComError);
}

TEST_F(Connector, HostLogIsNotWrittenThroughALinkPlantedInItsPlace) {
  program("SAY", "SUBROUTINE SAY(A,B,C)\nCRT 'hello'\nRETURN\n");
  test::TempDir elsewhere;
  std::ofstream(elsewhere / "precious") << "keep";
  for (const fs::path& target : {elsewhere / "precious", elsewhere / "new"}) {
    fs::remove(dir / kHostLogName);
    fs::create_symlink(target, dir / kHostLogName);
    HostConnector host = connected();
    std::string to;
    EXPECT_NO_THROW(host.CallHost("SAY", "", "", to)) << target;
    EXPECT_TRUE(fs::is_symlink(dir / kHostLogName));
  }
  EXPECT_EQ(desktop::readWholeFile(elsewhere / "precious"), "keep");
  EXPECT_FALSE(fs::exists(elsewhere / "new"));
}

// Reads back what the log made visible: \n, \r, \t, \\ and \xHH.
std::string unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    if (c == 'x' && i + 2 < text.size() + 1) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

TEST_F(Connector, HostLogShowsEachCrtOnALineOfItsOwnWithControlCharactersVisible) {
  std::vector<int> codes;
  for (int c = 0; c < 0x20; ++c) codes.push_back(c);
  for (int c : {0x7F, int('\\'), int('a'), 0xFE}) codes.push_back(c);
  std::string source = "SUBROUTINE SAY(A,B,C)\n";
  for (int c : codes) source += "CRT '<' : CHAR(" + std::to_string(c) + ") : '>'\n";
  program("SAY", source + "RETURN\n");
  HostConnector host = connected();
  std::string to;
  host.CallHost("SAY", "", "", to);

  std::string log = desktop::readWholeFile(dir / kHostLogName);
  std::vector<std::string> lines = split(log, '\n');
  ASSERT_EQ(lines.size(), codes.size() + 1) << log;
  EXPECT_EQ(lines.back(), "");
  for (size_t i = 0; i < codes.size(); ++i) {
    const std::string& line = lines[i];
    for (unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "code " << codes[i] << ": " << line;
    size_t open = line.find("SAY: <");
    ASSERT_NE(open, std::string::npos) << line;
    EXPECT_EQ(unescaped(line.substr(open + 6, line.size() - open - 7)), std::string(1, static_cast<char>(codes[i])))
        << line;
  }
  EXPECT_NE(log.find("<\\x1b>"), std::string::npos);
  EXPECT_NE(log.find("<\\n>"), std::string::npos);
  EXPECT_EQ(fs::status(dir / kHostLogName).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(Connector, HostLogHasEachLineAsSoonAsItIsPrinted) {
  program("SPIN", "SUBROUTINE SPIN(A,B,C)\nCRT 'started'\nLOOP\nREPEAT\nRETURN\n");
  desktop::SettingsStore::user().set(kHostSettingsKey, kMaxStepsValue, "2000000000");
  pid_t spinning = proc::forkChild([&] {
    HostConnector host = connected();
    std::string to;
    host.CallHost("SPIN", "", "", to);
    return 0;
  });
  auto logged = [&] {
    std::error_code ec;
    return fs::exists(dir / kHostLogName, ec) &&
           desktop::readWholeFile(dir / kHostLogName).find("SPIN: started\n") != std::string::npos;
  };
  bool seen = proc::eventually(logged);
  ::kill(spinning, SIGKILL);
  proc::waitFor(spinning);
  EXPECT_TRUE(seen) << "the line was not in the log while the call ran";
  EXPECT_TRUE(logged());
}

}  // namespace
}  // namespace pelorix::mv
