// pelorix config: the conduit's settings from the command line, for
// machines without a display and for scripts.

#include <cstdio>
#include <iostream>

#include "com/dispatch.h"
#include "commands.h"
#include "host/settings.h"
#include "mv/step_limit.h"

namespace pelorix::cli {

namespace {

using Section = host::SettingsSection;

// The conduit's settings, then the embedded host's.
const std::vector<Section>& sections() {
  static const std::vector<Section> all = [] {
    std::vector<Section> layout = host::settingsLayout();
    layout.push_back(
        {"Host", {mv::kMaxStepsValue, mv::kLockWaitValue, mv::kMaxValueSizeValue, mv::kMaxSecondsValue}, nullptr});
    return layout;
  }();
  return all;
}

constexpr const char* kUsage =
    "usage: pelorix config set <section> <key> <value>   (value - reads it from standard input)\n"
    "       pelorix config get <section> <key>\n"
    "       pelorix config show\n\n"
    "Sections and keys (names match without regard to case):\n"
    "  AddressBook, DateBook, ToDoList, MemoPad   mvProgName (the host subroutine), Active (1 or 0)\n"
    "  Connection   OSType (1 Brasq, 2 D3/Objects (ODBC), 3 UniObjects), BrasqHostName,\n"
    "               ODBCDataSource, DOA (1 or 0), UniHostName, AccountName, UserName,\n"
    "               UserPasswd, UniType (0 UniVerse, 1 UniData)\n"
    "  Host         MaxSteps (the embedded host's step limit for one call), MaxSeconds (its time\n"
    "               limit, at most 86400), MaxValueSize (megabytes a value may hold, at most 4096),\n"
    "               LockWait (seconds a READU waits for another's lock, at most 86400)\n"
    "The password is never printed.\n";

// The canonical section and key, or an invalid_argument naming what is unknown.
std::pair<std::string, std::string> locate(const std::string& section, const std::string& key) {
  for (const Section& s : sections()) {
    if (!pelorix::namesEqual(s.name, section)) continue;
    for (const char* k : s.keys)
      if (pelorix::namesEqual(k, key)) return {s.name, k};
    throw std::invalid_argument("no key \"" + key + "\" in the section " + s.name);
  }
  throw std::invalid_argument("no section \"" + section + "\"");
}

// The HotSync would read a value outside these forms as nothing chosen;
// refused here, where the user can still see why.
void check(const std::string& key, const std::string& value) {
  auto oneOf = [&](std::initializer_list<const char*> allowed, const char* meaning) {
    for (const char* a : allowed)
      if (value == a) return;
    throw std::invalid_argument(key + " must be " + meaning + ", not \"" + value + "\"");
  };
  if (key == host::kOSTypeKey)
    oneOf({"1", "2", "3"}, "1 (Brasq), 2 (D3/Objects (ODBC)) or 3 (UniObjects)");
  else if (key == host::kUniTypeKey)
    oneOf({"0", "1"}, "0 (UniVerse) or 1 (UniData)");
  else if (key == host::kDOAKey || key == host::kActiveKey)
    oneOf({"0", "1"}, "1 or 0");
  else if (key == mv::kMaxStepsValue || key == mv::kLockWaitValue || key == mv::kMaxValueSizeValue ||
           key == mv::kMaxSecondsValue) {
    // Above the embedded host's cap the default would apply without a word.
    long long cap = key == mv::kMaxStepsValue       ? 999'999'999'999'999'999LL
                    : key == mv::kMaxValueSizeValue ? 4096
                                                    : 86400;
    bool digits = !value.empty() && value.size() <= 18 && value.find_first_not_of("0123456789") == std::string::npos &&
                  value != std::string(value.size(), '0') && std::stoll(value) <= cap;
    if (!digits)
      throw std::invalid_argument(key + " must be a whole number from 1 to " + std::to_string(cap) + ", not \"" +
                                  value + "\"");
  }
}

bool secret(const std::string& key) { return pelorix::namesEqual(key, host::kUserPasswdKey); }

std::string shown(const std::string& key, const std::optional<std::string>& value) {
  if (!value) return "(not set)";
  if (secret(key)) return value->empty() ? "(empty)" : "(set)";
  return *value;
}

}  // namespace

int configCommand(const Args& args) {
  const std::string command = args.empty() ? "" : args[0];
  desktop::SettingsStore store = desktop::SettingsStore::user();
  try {
    if (command == "set" && args.size() == 4) {
      auto [section, key] = locate(args[1], args[2]);
      std::string value = args[3];
      if (value == "-") std::getline(std::cin, value);
      check(key, value);
      store.set(host::sectionKey(section), key, value);
      return 0;
    }
    if (command == "get" && args.size() == 3) {
      auto [section, key] = locate(args[1], args[2]);
      std::printf("%s\n", shown(key, store.get(host::sectionKey(section), key)).c_str());
      return 0;
    }
    if (command == "show" && args.size() == 1) {
      std::printf("# %s\n", store.file().c_str());
      for (const Section& s : sections()) {
        std::printf("[%s]\n", s.name);
        for (const char* key : s.keys)
          std::printf("  %-15s %s\n", key, shown(key, store.get(host::sectionKey(s.name), key)).c_str());
      }
      return 0;
    }
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "pelorix config: %s\n\n%s", e.what(), kUsage);
    return 2;
  }
  bool help = command == "--help" || command == "help";
  std::fputs(kUsage, help ? stdout : stderr);
  return help ? 0 : 2;
}

}  // namespace pelorix::cli
