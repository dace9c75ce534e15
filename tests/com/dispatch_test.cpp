#include "com/dispatch.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelorix::com {
namespace {

using test::expectComError;

int terminated = 0;

class Counter : public Dispatchable<Counter> {
 public:
  static const Members<Counter>& members() {
    static const Members<Counter> m = [] {
      Members<Counter> t;
      t.property(
          "Value", [](Counter& c, std::span<Variant>) { return Variant(c.value); },
          [](Counter& c, std::span<Variant>, const Variant& v) { c.value = v.toInt32(); });
      t.property("Item",
                 [](Counter& c, std::span<Variant> a) { return Variant(c.value * argument(a, 0, "Item").toInt32()); });
      t.method(
          "Swap",
          [](Counter&, std::span<Variant> a) {
            std::swap(argument(a, 0, "Swap"), argument(a, 1, "Swap"));
            return Variant("done");
          },
          20);
      return t;
    }();
    return m;
  }
  std::int32_t value = 0;
  bool failOnEnd = false;

 protected:
  void Terminate() override {
    ++terminated;
    if (failOnEnd) raise(err::kFail, "Counter", "ending failed");
  }
};

TEST(LateBinding, MembersAreFoundWithoutRegardToCase) {
  auto c = make<Counter>();
  putProperty(*c, "VALUE", std::int32_t{7});
  EXPECT_EQ(getProperty(*c, "value").toInt32(), 7);
  EXPECT_EQ(getProperty(*c, "Item", {std::int16_t{3}}).toInt32(), 21);
  EXPECT_EQ(c->GetIDOfName("swap"), 20);
}

TEST(LateBinding, ByReferenceArgumentsReceiveTheCalleesValues) {
  auto c = make<Counter>();
  Variant a("left"), b(std::int32_t{2});
  EXPECT_EQ(callMethod(*c, "Swap", {Arg::ref(a), Arg::ref(b)}).toText(), "done");
  EXPECT_EQ(a.toInt32(), 2);
  EXPECT_EQ(b.toText(), "left");
  // By value the caller's variables stay as they were.
  Variant x("x"), y("y");
  callMethod(*c, "Swap", {x, y});
  EXPECT_EQ(x.toText(), "x");
}

TEST(LateBinding, DispatchIdsReachTheSameMembers) {
  auto c = make<Counter>();
  std::vector<Variant> args{Variant(1), Variant(2)};
  EXPECT_EQ(c->Invoke(20, InvokeKind::Method, args).toText(), "done");
  EXPECT_EQ(args[0].toInt32(), 2);
  expectComError([&] { c->Invoke(99, InvokeKind::Method, args); }, err::kMemberNotFound);
}

TEST(LateBinding, MisuseGivesClearErrors) {
  auto c = make<Counter>();
  expectComError([&] { callMethod(*c, "Missing"); }, err::kUnknownName);
  expectComError([&] { getProperty(*c, "Item"); }, err::kBadParamCount);
  expectComError([&] { putProperty(*c, "Item", 1); }, err::kMemberNotFound);
  expectComError([&] { putProperty(*c, "Value", "seven"); }, err::kTypeMismatch);
  auto plain = make<Counter>();
  Object& base = *plain;
  expectComError([&] { base.Object::GetIDOfName("x"); }, err::kUnknownName);
}

TEST(ReferenceCounting, TheLastReferenceEndsTheObjectOnce) {
  terminated = 0;
  Ref<Counter> first = make<Counter>();
  {
    Ref<Counter> second = first;
    Variant held(second);
    EXPECT_EQ(first->RefCount(), 3);
  }
  EXPECT_EQ(terminated, 0);
  first.reset();
  EXPECT_EQ(terminated, 1);
}

TEST(ReferenceCounting, ErrorsWhileEndingAreSwallowed) {
  terminated = 0;
  auto c = make<Counter>();
  c->failOnEnd = true;
  EXPECT_NO_THROW(c.reset());
  EXPECT_EQ(terminated, 1);
}

TEST(ReferenceCounting, EarlyBoundQueriesShareTheObject) {
  Ref<Object> object = make<Counter>();
  Ref<Counter> counter = query<Counter>(object);
  ASSERT_TRUE(counter);
  EXPECT_EQ(object->RefCount(), 2);
  struct Other : Object {};
  EXPECT_FALSE(query<Other>(object));
}

}  // namespace
}  // namespace pelorix::com
