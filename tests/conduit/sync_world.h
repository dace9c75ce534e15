#pragma once
// A handheld folder and an account of the embedded host, copied from the
// samples, with settings that point the conduit at the account: the world
// that end-to-end tests run HotSyncs in.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/settings_writer.h"
#include "mv/account.h"
#include "palm/hotsync_manager.h"
#include "support/test_support.h"

namespace pelorix::test {

struct Memo {
  std::uint32_t id;
  std::string text;
  std::uint8_t attributes;
};

class SyncWorld : public ::testing::Test {
 protected:
  SyncWorld();

  host::SetupValues settings() const;
  void saveSettings(const host::SetupValues& values);

  palm::HotSyncResult sync(std::optional<std::int32_t> type = std::nullopt, std::vector<std::string> apps = {"memo"});

  std::vector<Memo> memos() const;
  std::vector<std::string> memoTexts() const;
  // A new dirty memo on the handheld; returns its id.
  std::uint32_t addMemo(const std::string& text, std::uint8_t attributes = 0x40);
  void setMemo(std::uint32_t id, const std::string& text, std::uint8_t attributes = 0x40);

  // The text of the host's memo item (its attribute 7), "" when missing.
  std::string hostMemo(const std::string& key) const;
  void changeHostMemo(const std::string& key, const std::string& text);
  std::vector<std::string> hostMemoKeys() const { return account().items("MEMO.PAD"); }
  mv::Account account() const { return mv::Account(accountFolder); }

  IsolatedConfig config;
  TempDir dir;
  std::filesystem::path handheld;
  std::filesystem::path accountFolder;
};

}  // namespace pelorix::test
