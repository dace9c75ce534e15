#pragma once
// A host connector for tests: registered in place of trivex1/2/3.Host, it
// records every CallHost (PALM.INFO and FROM.PALM by request code) and
// answers from a script, so that the requests of each transfer can be
// checked against what the conduit must send.

#include <functional>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "desktop/class_registry.h"

namespace pelorix::test {

struct HostCall {
  std::string program;
  std::vector<std::string> info;  // PALM.INFO split at AM
  std::string from;
  int code() const { return info.empty() ? -1 : std::stoi(info[0]); }
};

class RecordingConnector : public com::Dispatchable<RecordingConnector> {
  // What CreateDynamicArray hands out: the answer split once.
  struct Parts : com::Object {
    Parts(std::vector<std::string> p, bool e) : parts(std::move(p)), empty(e) {}
    std::vector<std::string> parts;
    bool empty;
  };

 public:
  static inline std::vector<HostCall> calls;
  // TO.PALM for a call; raising in it makes the call fail.
  static inline std::function<std::string(const HostCall&)> answer;

  static std::vector<int> codes() {
    std::vector<int> out;
    for (const HostCall& c : calls) out.push_back(c.code());
    return out;
  }

  static const com::Members<RecordingConnector>& members() {
    using com::Variant;
    using Args = std::span<Variant>;
    static const com::Members<RecordingConnector> m = [] {
      com::Members<RecordingConnector> t;
      for (const char* name : {"HostName", "ODBCDataSource", "DOAAware", "AcctPath", "UserName", "Passwd", "unitype"})
        t.property(name, nullptr, [](RecordingConnector&, Args, const Variant&) {});
      t.method("Connect", [](RecordingConnector&, Args) { return Variant(); });
      t.method("Disconnect", [](RecordingConnector&, Args) { return Variant(); });
      t.method("CallHost", [](RecordingConnector&, Args a) {
        HostCall call{a[0].toText(), split(a[1].toText()), a[2].toText()};
        calls.push_back(call);
        std::string to = answer ? answer(call) : std::string();
        // A host without categories still answers request 6 with its 15 entries.
        if (to.empty() && call.code() == 6) to = noCategories();
        a[3] = Variant(to);
        return Variant();
      });
      t.method("CreateDynamicArray", [](RecordingConnector&, Args a) {
        return Variant(com::Ref<com::Object>(com::make<Parts>(split(a[0].toText()), a[0].toText().empty())));
      });
      t.method("Dcount", [](RecordingConnector&, Args a) {
        auto parts = com::query<Parts>(a[1].toObject());
        return Variant(static_cast<std::int32_t>(parts->empty ? 0 : parts->parts.size()));
      });
      t.method("Extract", [](RecordingConnector&, Args a) {
        auto parts = com::query<Parts>(a[0].toObject());
        size_t n = static_cast<size_t>(a[1].toInt32());
        return Variant(n >= 1 && n <= parts->parts.size() ? parts->parts[n - 1] : std::string());
      });
      return t;
    }();
    return m;
  }

  static std::string noCategories() {
    std::string list;
    for (int i = 1; i <= 15; ++i) list += std::string(i > 1 ? "\xFE" : "") + "\xFD" + "0";
    return list;
  }

  static std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
      if (c == '\xFE')
        parts.emplace_back();
      else
        parts.back() += c;
    }
    return parts;
  }
};

// Serves the three ProgIDs with the recording connector while it lives.
class RecordingHost {
 public:
  RecordingHost() {
    RecordingConnector::calls.clear();
    RecordingConnector::answer = nullptr;
    for (const char* id : kProgIds)
      desktop::ClassRegistry::instance().addBuiltin(
          id, [] { return com::Ref<com::Object>(com::make<RecordingConnector>()); });
  }
  ~RecordingHost() {
    for (const char* id : kProgIds) desktop::ClassRegistry::instance().removeBuiltin(id);
    RecordingConnector::answer = nullptr;
  }

 private:
  static constexpr const char* kProgIds[] = {"trivex1.Host", "trivex2.Host", "trivex3.Host"};
};

}  // namespace pelorix::test
