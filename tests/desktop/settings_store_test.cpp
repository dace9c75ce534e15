#include "desktop/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace pelorix::desktop {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  SettingsStore store{dir / "cfg" / "settings.reg"};
};

TEST_F(SettingsStoreTest, ValuesSurviveARewriteWhateverTheirCharacters) {
  const std::string awkward = "pa\"ss\\word\n\t=]\x01 \xC3\xA9\xFE\xFD";
  store.set("Software\\Pelorix\\Connection", "UserPasswd", awkward);
  store.set("Software\\Pelorix\\Connection", "OSType", "3");
  store.set("Software\\Pelorix\\MemoPad", "", "default");
  SettingsStore again(store.file());
  EXPECT_EQ(again.get("Software\\Pelorix\\Connection", "UserPasswd"), awkward);
  EXPECT_EQ(again.get("Software\\Pelorix\\MemoPad", ""), "default");
  EXPECT_EQ(again.get("Software\\Pelorix\\Connection", "Missing"), std::nullopt);
  EXPECT_EQ(again.get("Software\\Pelorix\\Connection", "Missing", "fallback"), "fallback");
}

TEST_F(SettingsStoreTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  store.set("Software\\Pelorix\\DateBook", "mvProgName", "DATEBOOK.SYNC");
  EXPECT_EQ(store.get("software\\PELORIX\\datebook", "mvprogname"), "DATEBOOK.SYNC");
  store.set("SOFTWARE/Pelorix/DATEBOOK/", "MVPROGNAME", "OTHER");
  auto values = store.values("Software\\Pelorix\\DateBook");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values.begin()->first, "mvProgName");
  EXPECT_EQ(values.begin()->second, "OTHER");
}

TEST_F(SettingsStoreTest, TheFileIsOwnerOnlyAndNoTemporaryFileStays) {
  store.set("Software\\Pelorix\\Connection", "UserPasswd", "secret");
  struct stat st {};
  ASSERT_EQ(::stat(store.file().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (const auto& entry : fs::directory_iterator(store.file().parent_path()))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(SettingsStoreTest, ACorruptFileIsAnErrorAndIsNeverReset) {
  store.set("Software\\Pelorix\\Connection", "OSType", "3");
  std::string broken = "[Software\\Pelorix\\Connection]\n\"OSType\"=\"3\"\nthis is not a value\n";
  test::writeBytes(store.file(), std::vector<std::uint8_t>(broken.begin(), broken.end()));
  try {
    store.get("Software\\Pelorix\\Connection", "OSType");
    FAIL() << "a corrupt store was read";
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(store.file().string()), std::string::npos);
  }
  EXPECT_THROW(store.set("Software\\Pelorix\\Connection", "OSType", "1"), SettingsError);
  auto after = test::readBytes(store.file());
  EXPECT_EQ(std::string(after.begin(), after.end()), broken);
}

TEST_F(SettingsStoreTest, RefusesUnterminatedAndMisplacedLines) {
  for (std::string text : {"\"a\"=\"b\"\n", "[K]\n\"a\"=\"b\n", "[K]\n\"a\"=\"b\\q\"\n", "[K\n", "[K]\na=\"b\"\n"}) {
    test::writeBytes(store.file().parent_path() / "x.reg", {text.begin(), text.end()});
    fs::create_directories(store.file().parent_path());
    test::writeBytes(store.file(), {text.begin(), text.end()});
    EXPECT_THROW(store.load(), SettingsError) << text;
  }
}

TEST_F(SettingsStoreTest, EveryRefusalNamesTheFileAndTheLine) {
  for (std::string text : {"[K]\nbad\n", "[K]\n[[K]\n", "[K]\n[a[b]\n", "[K]\n[\\]\n"}) {
    try {
      parseSettings(text, "some.reg");
      ADD_FAILURE() << "read: " << text;
    } catch (const SettingsError& e) {
      EXPECT_NE(std::string(e.what()).find("some.reg, line 2"), std::string::npos) << e.what();
    }
  }
}

TEST_F(SettingsStoreTest, AMissingFileIsAnEmptyStore) {
  EXPECT_TRUE(store.load().empty());
  EXPECT_EQ(store.get("Software\\Pelorix\\Connection", "OSType"), std::nullopt);
}

TEST_F(SettingsStoreTest, KeysAreRemovedWithEverythingBelowThem) {
  store.set("Software\\Classes\\A.B\\CLSID", "", "{1}");
  store.set("Software\\Classes\\A.B", "", "x");
  store.set("Software\\Classes\\A.BC", "", "keep");
  store.set("Software\\Classes\\A.B C", "", "keep");
  EXPECT_EQ(store.subkeys("Software\\Classes"), (std::vector<std::string>{"A.B", "A.B C", "A.BC"}));
  store.removeKey("software\\classes\\a.b");
  EXPECT_EQ(store.subkeys("Software\\Classes"), (std::vector<std::string>{"A.B C", "A.BC"}));
  store.removeValue("Software\\Classes\\A.BC", "");
  EXPECT_TRUE(store.values("Software\\Classes\\A.BC").empty());
}

TEST(SettingsLocation, TheEnvironmentChoosesTheFolder) {
  test::IsolatedConfig config;
  EXPECT_EQ(SettingsStore::configDir(), config.dir());
  EXPECT_EQ(SettingsStore::user().file(), config.dir() / "settings.reg");
}

}  // namespace
}  // namespace pelorix::desktop
