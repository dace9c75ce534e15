#include "host/cmvdata.h"

#include <gtest/gtest.h>

#include "com/dispatch.h"
#include "desktop/class_registry.h"
#include "host/settings.h"
#include "support/test_support.h"

namespace pelorix::host {
namespace {

using com::Variant;

// A connector that keeps every property it is given.
class FakeConnector : public com::Dispatchable<FakeConnector> {
 public:
  static inline std::vector<std::string> calls;
  static inline bool refuse = false;
  static const com::Members<FakeConnector>& members() {
    static const com::Members<FakeConnector> m = [] {
      com::Members<FakeConnector> t;
      for (const char* name : {"HostName", "ODBCDataSource", "DOAAware", "AcctPath", "UserName", "Passwd", "unitype"})
        t.property(name, nullptr,
                   [](FakeConnector&, std::span<Variant>, const Variant& v) { calls.push_back(v.toText()); });
      t.method("Connect", [](FakeConnector&, std::span<Variant>) {
        calls.push_back("Connect");
        if (refuse) com::raise(com::err::kFail, "Host", "wrong password");
        return Variant();
      });
      t.method("Disconnect", [](FakeConnector&, std::span<Variant>) {
        calls.push_back("Disconnect");
        com::raise(com::err::kFail, "Host", "already gone");
        return Variant();
      });
      return t;
    }();
    return m;
  }
};

class CMVDataTest : public ::testing::Test {
 protected:
  CMVDataTest() {
    FakeConnector::calls.clear();
    FakeConnector::refuse = false;
    for (const char* id : {"trivex1.Host", "trivex2.Host", "trivex3.Host"})
      desktop::ClassRegistry::instance().addBuiltin(id,
                                                    [] { return com::Ref<com::Object>(com::make<FakeConnector>()); });
  }
  ~CMVDataTest() override {
    for (const char* id : {"trivex1.Host", "trivex2.Host", "trivex3.Host"})
      desktop::ClassRegistry::instance().removeBuiltin(id);
  }
  void set(const std::string& key, const std::string& value) {
    desktop::SettingsStore::user().set(sectionKey("Connection"), key, value);
  }
  test::IsolatedConfig config;
};

TEST_F(CMVDataTest, WithoutSettingsTheDatabaseDoesNotOpen) {
  desktop::ClassRegistry::instance().removeBuiltin("trivex0.Host");
  auto pc = com::make<CMVData>();
  EXPECT_FALSE(pc->OpenDatabase("/folder", "MemoDB"));
  EXPECT_NE(pc->lastError().find("trivex0.Host"), std::string::npos);
  EXPECT_FALSE(pc->CreateDatabase("/folder", "MemoDB"));
}

TEST_F(CMVDataTest, EachConnectionTypeSetsItsPropertiesThenConnects) {
  set("OSType", "3");
  set("UniHostName", "localhost");
  set("AccountName", "/accounts/demo");
  set("UserName", "pat");
  set("UserPasswd", "secret");
  set("UniType", "1");
  auto pc = com::make<CMVData>();
  EXPECT_TRUE(pc->OpenDatabase("/folder", "MemoDB"));
  EXPECT_EQ(FakeConnector::calls,
            (std::vector<std::string>{"localhost", "/accounts/demo", "pat", "secret", "1", "Connect"}));
  FakeConnector::calls.clear();
  set("OSType", "2");
  set("ODBCDataSource", "DSN");
  set("DOA", "1");
  EXPECT_TRUE(pc->OpenDatabase("/folder", "MemoDB"));
  EXPECT_EQ(FakeConnector::calls, (std::vector<std::string>{"DSN", "True", "Connect"}));
}

TEST_F(CMVDataTest, ARefusedConnectionIsFalseNotAnError) {
  set("OSType", "1");
  FakeConnector::refuse = true;
  auto pc = com::make<CMVData>();
  EXPECT_FALSE(pc->OpenDatabase("/folder", "MemoDB"));
  EXPECT_NE(pc->lastError().find("wrong password"), std::string::npos);
}

TEST_F(CMVDataTest, ReleaseDisconnectsAndSwallowsItsError) {
  set("OSType", "1");
  auto pc = com::make<CMVData>();
  ASSERT_TRUE(pc->OpenDatabase("/folder", "MemoDB"));
  EXPECT_NO_THROW(pc.reset());
  EXPECT_EQ(FakeConnector::calls.back(), "Disconnect");
}

}  // namespace
}  // namespace pelorix::host
