#include "conduit/cnotify.h"

#include <gtest/gtest.h>

#include "palm/hotsync_session.h"
#include "support/test_support.h"

namespace pelorix::conduit {
namespace {

using com::Arg;
using com::Variant;

TEST(CNotify, ConduitInfoAnswersEachInfoType) {
  auto n = com::make<CNotify>();
  EXPECT_EQ(n->IPDClientNotify_GetConduitInfo(0, 0, 0, ""), Variant("Pelorix"));
  EXPECT_EQ(n->IPDClientNotify_GetConduitInfo(1, 0, 0, ""), Variant(std::int32_t{0x10000000}));
  EXPECT_EQ(n->IPDClientNotify_GetConduitInfo(2, 0, 0, ""), Variant(std::int32_t{2}));
  EXPECT_EQ(n->IPDClientNotify_GetConduitInfo(3, 0, 0, ""), Variant(1.0));
  EXPECT_TRUE(n->IPDClientNotify_GetConduitInfo(4, 0, 0, "").isEmpty());
  EXPECT_TRUE(n->IPDClientNotify_GetConduitInfo(-1, 0, 0, "").isEmpty());
  EXPECT_EQ(com::callMethod(*n, "ipdclientnotify_getconduitinfo", {std::int16_t{3}}).type(), Variant::Type::Double);
}

TEST(CNotify, BeginProcessReturnsFalseAfterASuccessfulSync) {
  test::IsolatedConfig config;
  test::TempDir dir;
  palm::Handheld handheld(dir.path());
  palm::HotSyncRequest r;
  r.syncType = 6;
  palm::HotSyncSession session(handheld, r);
  auto n = com::make<CNotify>();
  EXPECT_EQ(com::callMethod(*n, "IPDClientNotify_BeginProcess"), Variant(false));
  ASSERT_EQ(session.logEntries().size(), 1u);
  EXPECT_EQ(session.logEntries()[0].text, "Pelorix for PalmPilot - Sync configured to Do Nothing");
}

TEST(CNotify, BeginProcessReturnsFalseWhenNoHotSyncRuns) {
  test::IsolatedConfig config;
  EXPECT_FALSE(com::make<CNotify>()->IPDClientNotify_BeginProcess());
}

}  // namespace
}  // namespace pelorix::conduit
