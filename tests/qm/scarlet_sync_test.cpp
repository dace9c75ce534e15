// Whole HotSyncs of the README's demo against ScarletDME, locally and over
// TCP: the handheld and the host items must come out as against the embedded
// host, and a failing subroutine, a wrong password or a connection cut at any
// call must lose nothing, the next HotSync repairing. Handheld ids depend on
// the order a host lists its items in, so both sides are compared with the
// ids numbered by the records' contents.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/marks.h"
#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "desktop/desktop_log.h"
#include "host/host_connector.h"
#include "host/settings_writer.h"
#include "palm/handheld.h"
#include "palm/hotsync_manager.h"
#include "qm/scarlet.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
using namespace scarlet;

const fs::path kSource = PELORIX_SOURCE_DIR;
const std::pair<const char*, const char*> kFiles[] = {
    {"ADDRESS.BOOK", "AddressDB"}, {"DATE.BOOK", "DatebookDB"}, {"MEMO.PAD", "MemoDB"}, {"TO.DO.LIST", "ToDoDB"}};

// Where the host is and who logs in.
struct Host {
  std::string hostName, account, user, password;
};

// Points the settings store at one folder while it lives.
class ConfigScope {
 public:
  explicit ConfigScope(const fs::path& dir) {
    if (const char* old = std::getenv("PELORIX_CONFIG_DIR")) saved_ = old;
    ::setenv("PELORIX_CONFIG_DIR", dir.c_str(), 1);
  }
  ~ConfigScope() {
    if (saved_)
      ::setenv("PELORIX_CONFIG_DIR", saved_->c_str(), 1);
    else
      ::unsetenv("PELORIX_CONFIG_DIR");
  }

 private:
  std::optional<std::string> saved_;
};

// A handheld with settings of its own, synchronised with one host through
// one connector library.
class World {
 public:
  World(const Host& host, const std::string& connector) : host_(host) {
    config_ = dir_ / "config";
    fs::create_directories(config_);
    handheld = copySampleHandheld(dir_);
    ConfigScope scope(config_);
    desktop::ClassRegistry::instance().registerLibrary(componentLibrary().string());
    desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / connector).string());
    save(host);
  }
  void save(const Host& host) {
    ConfigScope scope(config_);
    host::SetupValues v;
    const char* programs[] = {"SYNC.ADDRESS", "SYNC.DATES", "SYNC.TODOS", "SYNC.MEMOS"};
    for (size_t i = 0; i < 4; ++i) v.applications[i] = {programs[i], true};
    v.connectionType = 3;
    v.uniHostName = host.hostName;
    v.accountName = host.account;
    v.userName = host.user;
    v.password = host.password;
    desktop::SettingsStore store = desktop::SettingsStore::user();
    host::writeSettings(store, v);
    host_ = host;
  }
  palm::HotSyncResult sync() {
    ConfigScope scope(config_);
    palm::HotSyncOptions options;
    options.handheld = handheld;
    options.userName = "Pat";
    return palm::runHotSync(options);
  }
  std::string desktopLog() const { return desktop::readWholeFile(config_ / "pelorix.log"); }
  const fs::path& config() const { return config_; }

  // Both sides, their handheld ids numbered by the records' contents.
  std::vector<std::string> snapshot() {
    std::vector<std::string> lines;
    std::map<std::string, std::map<std::string, std::string>> canonical;  // file -> id -> #n
    palm::Handheld h(handheld);
    for (const auto& [file, database] : kFiles) {
      palm::PdbDatabase db = h.read(database);
      std::vector<palm::PdbRecord> records = db.records;
      std::sort(records.begin(), records.end(), [](const palm::PdbRecord& a, const palm::PdbRecord& b) {
        return std::tie(a.data, a.attributes) < std::tie(b.data, b.attributes);
      });
      int n = 0;
      for (const palm::PdbRecord& r : records) {
        std::string id = "#" + std::to_string(++n);
        canonical[file][std::to_string(r.uniqueId)] = id;
        lines.push_back(std::string(database) + " " + id + " " + std::to_string(r.attributes) + " " +
                        readable(std::string(r.data.begin(), r.data.end())));
      }
      lines.push_back(std::string(database) + " appInfo " +
                      readable(std::string(db.appInfo.begin(), db.appInfo.end())));
    }
    auto mapped = [&](const std::string& file, const std::string& id) {
      auto f = canonical.find(file);
      if (f == canonical.end()) return id;
      auto found = f->second.find(id);
      return found == f->second.end() ? id : found->second;
    };
    for (const std::string& entry : splitAt(dump(), '\x02')) {
      std::vector<std::string> part = splitAt(entry, '\x01');
      if (part.size() != 3) continue;
      std::vector<std::string> attributes = splitAt(part[2], '\xFE');
      if (part[0] == "PALM.CONTROL") {
        // The keys sent at request 0, kept until request 5 settles them.
        if (attributes.size() > 1) {
          std::vector<std::string> keys = splitAt(attributes[1], '\xFD');
          for (std::string& k : keys) k = mapped(part[1], k);
          std::sort(keys.begin(), keys.end());
          attributes[1].clear();
          for (const std::string& k : keys) attributes[1] += k + "]";
        }
      } else {
        part[1] = mapped(part[0], part[1]);
        if (!attributes.empty()) attributes[0] = mapped(part[0], attributes[0]);
      }
      std::string item;
      for (const std::string& a : attributes) item += readable(a) + "^";
      lines.push_back(part[0] + " " + part[1] + " " + item);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  fs::path handheld;

 private:
  std::string dump() {
    ConfigScope scope(config_);
    host::HostConnector c = host::HostConnector::create(3);
    c.HostName(host_.hostName);
    c.AcctPath(host_.account);
    c.UserName(host_.user);
    c.Passwd(host_.password);
    c.Connect();
    std::string out;
    c.CallHost("PX.DUMP",
               "ADDRESS.BOOK\xFD"
               "DATE.BOOK\xFD"
               "MEMO.PAD\xFD"
               "TO.DO.LIST\xFD"
               "PALM.CONTROL",
               "", out);
    c.Disconnect();
    return out;
  }

  TempDir dir_;
  fs::path config_;
  Host host_;
};

// The demo against the embedded host: what every QM HotSync must match.
const std::vector<std::string>& reference() {
  static const std::vector<std::string> lines = [] {
    TempDir dir;
    fs::copy(kSource / "samples" / "host", dir / "host", fs::copy_options::recursive);
    fs::copy(kSource / "tests" / "qm" / "account" / "BP", dir / "host" / "BP", fs::copy_options::recursive);
    World world({"", (dir / "host").string(), "", ""}, "mvhost.so");
    EXPECT_TRUE(world.sync().ok());
    return world.snapshot();
  }();
  return lines;
}

class ScarletSync : public ::testing::Test {
 protected:
  void SetUp() override {
    PELORIX_NEEDS_SCARLETDME();
    ASSERT_FALSE(reference().empty());
  }
  static std::unique_ptr<QmAccount> sampleAccount() {
    auto account = std::make_unique<QmAccount>(kSource / "samples" / "host");
    account->load(kSource / "tests" / "qm" / "account");
    return account;
  }
  static Host network(const std::string& hostName, const QmAccount& account) {
    return {hostName, account.name(), networkUser().name, networkUser().password};
  }
  // The demo's two HotSyncs: the first as against the embedded host, the
  // second moving nothing.
  static void expectDemo(World& world) {
    palm::HotSyncResult first = world.sync();
    EXPECT_TRUE(first.ok()) << (first.problems.empty() ? "" : first.problems[0]);
    EXPECT_EQ(world.snapshot(), reference());
    auto before = readBytes(world.handheld / "MemoDB.pdb");
    EXPECT_TRUE(world.sync().ok());
    EXPECT_EQ(world.snapshot(), reference());
    EXPECT_EQ(readBytes(world.handheld / "MemoDB.pdb"), before);
  }

  IsolatedConfig config;
};

TEST_F(ScarletSync, TheDemoOverTheLocalConnectionEndsAsOnTheEmbeddedHost) {
  auto account = sampleAccount();
  World world({"", account->name(), "", ""}, "qmclient.so");
  expectDemo(world);
}

TEST_F(ScarletSync, TheDemoOverTcpEndsAsOnTheEmbeddedHost) {
  PELORIX_NEEDS_QM_NETWORK();
  auto account = sampleAccount();
  Listener listener;
  World world(network(listener.hostName(), *account), "qmclient.so");
  expectDemo(world);
}

TEST_F(ScarletSync, AFailingSubroutineKeepsItsHandheldDatabaseAndTheNextHotSyncRepairs) {
  auto account = sampleAccount();
  account->load(kSource / "tests" / "qm" / "failing");
  World world({"", account->name(), "", ""}, "qmclient.so");
  auto memos = readBytes(world.handheld / "MemoDB.pdb");
  palm::HotSyncResult failed = world.sync();
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(readBytes(world.handheld / "MemoDB.pdb"), memos);
  EXPECT_NE(world.desktopLog().find("SYNC.MEMOS failed on the local QM server"), std::string::npos)
      << world.desktopLog();
  EXPECT_NE(world.desktopLog().find("Divide by zero"), std::string::npos);

  TempDir fixed;
  fs::create_directories(fixed / "BP");
  fs::copy(kSource / "samples" / "host" / "BP" / "SYNC.MEMOS", fixed / "BP" / "SYNC.MEMOS");
  account->load(fixed.path());
  EXPECT_TRUE(world.sync().ok());
  EXPECT_EQ(world.snapshot(), reference());
}

TEST_F(ScarletSync, AWrongPasswordFailsTheHotSyncSaysWhyAndShowsNoPassword) {
  PELORIX_NEEDS_QM_NETWORK();
  auto account = sampleAccount();
  Listener listener;
  Host wrong = network(listener.hostName(), *account);
  wrong.password = "Wrong-" + wrong.password;
  World world(wrong, "qmclient.so");
  auto before = readBytes(world.handheld / "AddressDB.pdb");

  ::setenv("PELORIX_TEST_CONFIG", world.config().c_str(), 1);
  Output hotsync =
      run({"sh", "-c",
           "export PELORIX_CONFIG_DIR=\"$PELORIX_TEST_CONFIG\"; \"$1\" register address datebook memo todo "
           ">/dev/null && exec \"$1\" hotsync \"$2\"",
           "sh", (fs::path(PELORIX_BIN_DIR) / "pelorix").string(), world.handheld.string()});
  EXPECT_EQ(hotsync.status, 1) << hotsync.text;
  EXPECT_EQ(readBytes(world.handheld / "AddressDB.pdb"), before);
  std::string log = world.desktopLog();
  EXPECT_NE(log.find("refused the user \"pelorixqm\""), std::string::npos) << log;
  std::string hotsyncLog;
  for (const auto& e : fs::recursive_directory_iterator(world.config()))
    if (e.is_regular_file() && e.path().extension() == ".log") hotsyncLog += desktop::readWholeFile(e.path());
  for (const std::string& secret : {wrong.password, networkUser().password}) {
    EXPECT_EQ(hotsync.text.find(secret), std::string::npos);
    EXPECT_EQ(hotsyncLog.find(secret), std::string::npos);
  }

  world.save(network(listener.hostName(), *account));
  EXPECT_TRUE(world.sync().ok());
  EXPECT_EQ(world.snapshot(), reference());
}

TEST_F(ScarletSync, AConnectionCutAtAnyCallLosesNothingAndTheNextHotSyncRepairs) {
  PELORIX_NEEDS_QM_NETWORK();
  Listener listener;
  int calls = 0;
  {
    auto account = sampleAccount();
    CuttingProxy counting(listener.hostName(), 0);
    World world(network(counting.hostName(), *account), "qmclient.so");
    ASSERT_TRUE(world.sync().ok());
    calls = counting.callsSeen();
  }
  ASSERT_GT(calls, 8);
  for (int cut = 1; cut <= calls; ++cut) {
    SCOPED_TRACE("cut after call " + std::to_string(cut) + " of " + std::to_string(calls));
    auto account = sampleAccount();
    CuttingProxy proxy(listener.hostName(), cut);
    World world(network(proxy.hostName(), *account), "qmclient.so");
    EXPECT_FALSE(world.sync().ok());
    EXPECT_TRUE(proxy.cut());
    EXPECT_NE(world.desktopLog().find("was lost"), std::string::npos);
    palm::HotSyncResult repair = world.sync();
    EXPECT_TRUE(repair.ok()) << (repair.problems.empty() ? "" : repair.problems[0]);
    EXPECT_EQ(world.snapshot(), reference());
  }
}

}  // namespace
}  // namespace pelorix::test
