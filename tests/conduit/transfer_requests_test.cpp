// The requests each transfer makes of the host subroutine, in order and
// with their content, recorded by a stand-in connector.

#include <gtest/gtest.h>

#include "base/marks.h"
#include "conduit/sync_world.h"
#include "support/recording_connector.h"

namespace pelorix::test {
namespace {

using pelorix::kAttributeMark;
using pelorix::kValueMark;

class TransferRequests : public SyncWorld {
 protected:
  RecordingHost host;
  const HostCall& call(int code) {
    for (const HostCall& c : RecordingConnector::calls)
      if (c.code() == code) return c;
    throw std::runtime_error("no request " + std::to_string(code));
  }
  // One new memo as the host sends it, with its host key.
  static std::string hostMemo(const std::string& text, const std::string& key) {
    std::string vm(1, kValueMark);
    return vm + "0" + vm + "0" + vm + "0" + vm + "1" + vm + "0" + vm + text + vm + key;
  }
  static std::vector<std::string> fields(const std::string& array) { return splitAt(array, kValueMark); }
};

TEST_F(TransferRequests, FastSyncReviewsDeletesFetchesThenNotifies) {
  std::uint32_t changed = addMemo("changed");
  std::uint32_t deleted = addMemo("gone", 0x80);
  addMemo("clean", 0);
  ASSERT_TRUE(sync(0).ok());
  EXPECT_EQ(RecordingConnector::codes(), (std::vector<int>{6, 7, 1, 2, 0, 5}));
  for (const HostCall& c : RecordingConnector::calls) {
    EXPECT_EQ(c.program, "SYNC.MEMOS");
    ASSERT_EQ(c.info.size(), 7u);
    EXPECT_EQ(c.info[1], "0");
    EXPECT_EQ(c.info[2], "Memo Pad");
    EXPECT_EQ(c.info[3], "MemoDB");
  }
  EXPECT_EQ(fields(call(1).from),
            (std::vector<std::string>{std::to_string(changed), "0", "0", "0", "1", "0", "changed", ""}));
  EXPECT_EQ(fields(call(2).from)[0], std::to_string(deleted));
  EXPECT_EQ(fields(call(2).from)[2], "1");
  EXPECT_EQ(call(0).from, "");
  EXPECT_EQ(call(5).from, "");
  EXPECT_EQ(call(7).from.size(), 15u * 17 + 14);  // 15 entries of 15 characters, VM and flag, between AMs
}

TEST_F(TransferRequests, ANewHostRecordIsWrittenAndItsIdReported) {
  RecordingConnector::answer = [](const HostCall& c) { return c.code() == 0 ? hostMemo("from the host", "K1") : ""; };
  ASSERT_TRUE(sync(0).ok());
  ASSERT_EQ(memos().size(), 1u);
  std::string expected = std::string("NewId ") + kValueMark + std::to_string(memos()[0].id) + kValueMark + "K1";
  EXPECT_EQ(call(5).from, expected);
}

TEST_F(TransferRequests, ReviewAnswersRewriteTheHandheldOnlyWhenMarkedChanged) {
  std::uint32_t a = addMemo("a");
  std::uint32_t b = addMemo("b");
  RecordingConnector::answer = [&](const HostCall& c) -> std::string {
    if (c.code() != 1) return "";
    std::string id = fields(c.from)[0];
    std::string vm(1, kValueMark);
    std::string dirty = id == std::to_string(a) ? "1" : "0";
    return id + vm + "0" + vm + "0" + vm + "0" + vm + dirty + vm + "0" + vm + "host " + fields(c.from)[6] + vm;
  };
  ASSERT_TRUE(sync(0).ok());
  std::map<std::uint32_t, std::string> texts;
  for (const Memo& m : memos()) texts[m.id] = m.text;
  EXPECT_EQ(texts[a], "host a");
  EXPECT_EQ(texts[b], "b");
}

TEST_F(TransferRequests, SlowSyncReviewsEveryHandheldRecord) {
  addMemo("one", 0);
  addMemo("two", 0);
  addMemo("three", 0x40);
  ASSERT_TRUE(sync(1).ok());
  EXPECT_EQ(RecordingConnector::codes(), (std::vector<int>{6, 7, 1, 1, 1, 0, 5}));
  EXPECT_EQ(call(1).info[1], "1");
}

TEST_F(TransferRequests, HandheldOverwritesDesktopClearsThenSendsEveryLiveRecord) {
  addMemo("one", 0);
  addMemo("gone", 0x80);
  addMemo("two", 0x40);
  ASSERT_TRUE(sync(2).ok());
  EXPECT_EQ(RecordingConnector::codes(), (std::vector<int>{6, 7, 3, 0}));
  auto sent = RecordingConnector::split(call(0).from);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(fields(sent[0])[6], "one");
  EXPECT_EQ(fields(sent[1])[6], "two");
  EXPECT_EQ(memos().size(), 2u);  // the deleted one is purged
}

TEST_F(TransferRequests, DesktopOverwritesHandheldFetchesNotifiesThenPurges) {
  addMemo("replaced", 0);
  RecordingConnector::answer = [](const HostCall& c) { return c.code() == 0 ? hostMemo("host", "K1") : ""; };
  ASSERT_TRUE(sync(3).ok());
  EXPECT_EQ(RecordingConnector::codes(), (std::vector<int>{6, 7, 0, 5, 4}));
  EXPECT_EQ(memoTexts(), std::vector<std::string>{"host"});
}

TEST_F(TransferRequests, AFailingHostDuringDesktopOverwritesLeavesTheHandheld) {
  addMemo("kept", 0);
  // The categories were settled, and saved, before the records' transfer.
  auto before = memos();
  RecordingConnector::answer = [](const HostCall& c) -> std::string {
    if (c.code() == 0) com::raise(com::err::kFail, "Host", "down");
    return "";
  };
  EXPECT_FALSE(sync(3).ok());
  ASSERT_EQ(memos().size(), before.size());
  EXPECT_EQ(memos()[0].text, before[0].text);
  EXPECT_EQ(memos()[0].attributes, before[0].attributes);
}

TEST_F(TransferRequests, AFailingReviewFailsTheTransferSoTheChangeIsSentAgain) {
  std::uint32_t id = addMemo("not yet on the host");
  RecordingConnector::answer = [](const HostCall& c) -> std::string {
    if (c.code() == 1) com::raise(com::err::kFail, "Host", "down");
    return "";
  };
  EXPECT_FALSE(sync(0).ok());
  ASSERT_EQ(memos().size(), 1u);
  EXPECT_NE(memos()[0].attributes & 0x40, 0);  // still marked changed
  RecordingConnector::calls.clear();
  RecordingConnector::answer = nullptr;
  ASSERT_TRUE(sync(0).ok());
  EXPECT_EQ(fields(call(1).from)[0], std::to_string(id));
}

TEST_F(TransferRequests, NoSettingsNoRequests) {
  desktop::SettingsStore::user().removeKey("Software\\Pelorix");
  sync(0);
  EXPECT_TRUE(RecordingConnector::calls.empty());
}

}  // namespace
}  // namespace pelorix::test
