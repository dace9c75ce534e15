#include "desktop/class_registry.h"

#include <gtest/gtest.h>

#include "com/dispatch.h"
#include "support/test_support.h"

namespace pelorix::desktop {
using namespace com;

namespace {

using test::expectComError;

class Plain : public Object {};

TEST(ClassRegistry, BuiltinClassesComeFirst) {
  test::IsolatedConfig config;
  ClassRegistry& registry = ClassRegistry::instance();
  int made = 0;
  registry.addBuiltin("Test.Plain", [&] {
    ++made;
    return Ref<Object>(make<Plain>());
  });
  EXPECT_TRUE(registry.create("test.plain"));
  EXPECT_EQ(made, 1);
  registry.removeBuiltin("Test.Plain");
  expectComError([&] { registry.create("Test.Plain"); }, err::kClassNotRegistered);
}

TEST(ClassRegistry, TheComponentRegistersAndServesCNotify) {
  test::IsolatedConfig config;
  ClassRegistry& registry = ClassRegistry::instance();
  expectComError([&] { registry.create("Pelx.CNotify"); }, err::kClassNotRegistered);

  registry.registerLibrary(test::componentLibrary().string());
  auto entry = ClassRegistry::lookup(SettingsStore::user(), "PELX.CNOTIFY");
  ASSERT_TRUE(entry);
  EXPECT_EQ(std::filesystem::path(entry->second), std::filesystem::canonical(test::componentLibrary()));

  Ref<Object> notify = registry.create("Pelx.CNotify");
  EXPECT_EQ(callMethod(*notify, "IPDClientNotify_GetConduitInfo", {std::int32_t{0}, 0, 0, ""}).toText(), "Pelorix");
  // A live object keeps its library loaded.
  registry.freeUnusedLibraries();
  EXPECT_EQ(callMethod(*notify, "IPDClientNotify_GetConduitInfo", {std::int32_t{2}, 0, 0, ""}).toInt32(), 2);
  notify.reset();

  registry.unregisterLibrary(test::componentLibrary().string());
  EXPECT_FALSE(ClassRegistry::lookup(SettingsStore::user(), "Pelx.CNotify"));
  expectComError([&] { registry.create("Pelx.CNotify"); }, err::kClassNotRegistered);
}

TEST(ClassRegistry, AMissingOrForeignLibraryIsAClearError) {
  test::IsolatedConfig config;
  SettingsStore store = SettingsStore::user();
  ClassRegistry::registerServer(store, "Test.Gone", "{0}", "/nonexistent/libgone.so");
  expectComError([] { ClassRegistry::instance().create("Test.Gone"); }, err::kDllNotFound);
  // A library that is no server: libc has no DllGetClassObject.
  ClassRegistry::registerServer(store, "Test.Libc", "{1}", "libc.so.6");
  expectComError([] { ClassRegistry::instance().create("Test.Libc"); }, err::kDllNotFound);
  // The component knows only its own class id.
  ClassRegistry::registerServer(store, "Test.WrongId", "{2}", test::componentLibrary().string());
  expectComError([] { ClassRegistry::instance().create("Test.WrongId"); }, hr(0x80040111));
}

}  // namespace
}  // namespace pelorix::desktop
