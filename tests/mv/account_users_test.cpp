#include "mv/account_users.h"

#include <gtest/gtest.h>

#include <fstream>

#include "desktop/atomic_file.h"
#include "mv/connections.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

using Check = AccountUsers::Check;

TEST(AccountUsers, AnAccountWithoutUsersFileIsOpen) {
  test::TempDir dir;
  EXPECT_FALSE(AccountUsers(dir.path()).required());
}

TEST(AccountUsers, ChecksPasswordsAgainstSaltedHashesOnly) {
  test::TempDir dir;
  AccountUsers users(dir.path());
  users.add("palm", "s3cret pass");
  users.add("other", "s3cret pass");
  EXPECT_TRUE(users.required());
  EXPECT_EQ(users.check("palm", "s3cret pass"), Check::Accepted);
  EXPECT_EQ(users.check("palm", "s3cret Pass"), Check::WrongPassword);
  EXPECT_EQ(users.check("palm", ""), Check::WrongPassword);
  EXPECT_EQ(users.check("PALM", "s3cret pass"), Check::UnknownUser);

  std::string file = desktop::readWholeFile(dir / AccountUsers::kFileName);
  EXPECT_EQ(file.find("s3cret"), std::string::npos);
  // The same password gives two different hashes: they are salted.
  size_t first = file.find('\t'), second = file.find('\t', first + 1);
  EXPECT_NE(file.substr(first, file.find('\n') - first), file.substr(second, file.find('\n', second) - second));
}

TEST(AccountUsers, ANewPasswordReplacesTheOldAndRemovalLocksOut) {
  test::TempDir dir;
  AccountUsers users(dir.path());
  users.add("palm", "one");
  users.add("palm", "two");
  EXPECT_EQ(users.names(), std::vector<std::string>{"palm"});
  EXPECT_EQ(users.check("palm", "one"), Check::WrongPassword);
  EXPECT_EQ(users.check("palm", "two"), Check::Accepted);
  EXPECT_TRUE(users.remove("palm"));
  EXPECT_FALSE(users.remove("palm"));
  EXPECT_TRUE(users.required());  // an emptied users file still admits nobody
  EXPECT_EQ(users.check("palm", "two"), Check::UnknownUser);
}

TEST(AccountUsers, DamagedLinesAdmitNobodyAndBadNamesAreRefused) {
  test::TempDir dir;
  {
    std::ofstream out(dir / AccountUsers::kFileName);
    out << "nohash\n\tjunk\npalm\tnot-a-hash\n";
  }
  AccountUsers users(dir.path());
  EXPECT_EQ(users.check("nohash", ""), Check::UnknownUser);
  EXPECT_EQ(users.check("palm", "not-a-hash"), Check::WrongPassword);
  EXPECT_THROW(users.add("", "x"), UsersError);
  EXPECT_THROW(users.add("a\tb", "x"), UsersError);
  EXPECT_THROW(users.add("a\nb", "x"), UsersError);
}

TEST(Connections, NamesResolveFromTheFileElseAsFolders) {
  test::IsolatedConfig config;
  test::TempDir accounts;
  std::filesystem::create_directories(accounts / "sales");
  std::filesystem::create_directories(config.dir() / "relative");
  {
    std::ofstream out(connectionsFile());
    out << "# connections of the embedded host\n"
        << "  Sales =  " << (accounts / "sales").string() << "  \n"
        << "local = relative\n"
        << "broken line without equals\n";
  }
  EXPECT_EQ(resolveAccount("SALES"), accounts / "sales");
  EXPECT_EQ(resolveAccount("local"), config.dir() / "relative");
  EXPECT_EQ(resolveAccount((accounts / "sales").string()), accounts / "sales");
  EXPECT_EQ(resolveAccount("nowhere"), std::nullopt);
  EXPECT_EQ(resolveAccount("  "), std::nullopt);
}

}  // namespace
}  // namespace pelorix::mv
