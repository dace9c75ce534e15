// The BASIC oracle: the probe programs of tests/qm/probes/BP run on
// ScarletDME and on the embedded host, and every result must be as
// tests/qm/probes/EXPECTED records it, with each host's value where the two
// differ. docs/basic-oracle.md gives each difference its verdict. When a
// difference changes, this test says so; PELORIX_ORACLE_RECORD=1 writes the
// file anew from what the hosts now answer.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "qm/scarlet.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
const fs::path kProbes = fs::path(PELORIX_SOURCE_DIR) / "tests" / "qm" / "probes";

struct Probe {
  std::string name;
  std::vector<std::string> cases;  // empty: one call, its answer labelled
};

std::vector<Probe> probes() {
  std::vector<Probe> all;
  for (const auto& entry : fs::directory_iterator(kProbes / "BP")) {
    std::string source = desktop::readWholeFile(entry.path());
    Probe p{entry.path().filename().string(), {}};
    if (size_t at = source.find("* CASES:"); at != std::string::npos) {
      std::istringstream words(source.substr(at + 8, source.find('\n', at) - at - 8));
      for (std::string w; words >> w;) p.cases.push_back(w);
    } else if (source.find("KEEP:") == std::string::npos) {
      continue;  // a helper
    }
    all.push_back(p);
  }
  std::sort(all.begin(), all.end(), [](const Probe& a, const Probe& b) { return a.name < b.name; });
  return all;
}

// "PROBE label" -> value, from one host.
using Results = std::map<std::string, std::string>;
using scarlet::readable;

// A probe that one host does not compile answers otherwise than one that
// fails as it runs: QM has not catalogued it, the embedded parser refused it.
std::string failure(const com::ComError& e) {
  const std::string& why = e.description();
  bool notCompiled =
      why.find(" is not catalogued") != std::string::npos || why.find(": syntax error: ") != std::string::npos;
  return notCompiled ? "!not compiled" : "!error";
}

Results runAll(const fs::path& config, const std::string& library, const std::string& account) {
  std::string saved = std::getenv("PELORIX_CONFIG_DIR") ? std::getenv("PELORIX_CONFIG_DIR") : "";
  ::setenv("PELORIX_CONFIG_DIR", config.c_str(), 1);
  Results results;
  {
    desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / library).string());
    host::HostConnector host = host::HostConnector::create(3);
    host.HostName("");
    host.AcctPath(account);
    host.Connect();
    for (const Probe& p : probes()) {
      if (!p.cases.empty()) {
        for (const std::string& c : p.cases) {
          std::string answer;
          try {
            host.CallHost(p.name, c, "", answer);
            results[p.name + " " + c] = "returned " + readable(answer);
          } catch (const com::ComError& e) {
            results[p.name + " " + c] = failure(e);
          }
        }
        continue;
      }
      std::string answer;
      try {
        host.CallHost(p.name, "", "", answer);
      } catch (const com::ComError& e) {
        results[p.name + " *"] = failure(e);
        continue;
      }
      std::istringstream items(answer);
      for (std::string item; std::getline(items, item, '\x02');) {
        size_t split = item.find('\x01');
        if (split != std::string::npos)
          results[p.name + " " + item.substr(0, split)] = readable(item.substr(split + 1));
      }
    }
    host.Disconnect();
  }
  ::setenv("PELORIX_CONFIG_DIR", saved.c_str(), 1);
  return results;
}

std::string expectations(const Results& qm, const Results& embedded) {
  std::set<std::string> keys;
  for (const auto& [k, v] : qm) keys.insert(k);
  for (const auto& [k, v] : embedded) keys.insert(k);
  std::string out;
  for (const std::string& k : keys) {
    auto q = qm.find(k), e = embedded.find(k);
    std::string qv = q == qm.end() ? "!missing" : q->second, ev = e == embedded.end() ? "!missing" : e->second;
    out += k + " = " + (qv == ev ? qv : "qm: " + qv + " | embedded: " + ev) + "\n";
  }
  return out;
}

void parse(const std::string& text, std::map<std::string, std::string>& into) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (size_t eq = line.find(" = "); eq != std::string::npos) into[line.substr(0, eq)] = line.substr(eq + 3);
}

TEST(BasicOracle, EveryProbeAnswersAsRecordedOnScarletDmeAndTheEmbeddedHost) {
  PELORIX_NEEDS_SCARLETDME();
  IsolatedConfig config;
  TempDir dir;
  fs::create_directories(dir / "qm-config");
  fs::create_directories(dir / "mv-config");
  scarlet::QmAccount qmAccount(kProbes, true);
  fs::copy(kProbes, dir / "embedded", fs::copy_options::recursive);
  Results qm = runAll(dir / "qm-config", "qmclient.so", qmAccount.name());
  Results embedded = runAll(dir / "mv-config", "mvhost.so", (dir / "embedded").string());
  std::string now = expectations(qm, embedded);

  fs::path file = kProbes / "EXPECTED";
  if (std::getenv("PELORIX_ORACLE_RECORD")) {
    std::ofstream(file) << now;
    GTEST_SKIP() << "recorded " << file.string();
  }
  std::map<std::string, std::string> recorded, answered;
  parse(desktop::readWholeFile(file), recorded);
  parse(now, answered);
  for (const auto& [key, value] : answered) {
    auto r = recorded.find(key);
    if (r == recorded.end())
      ADD_FAILURE() << key << " is not in EXPECTED; the hosts answer " << value;
    else
      EXPECT_EQ(value, r->second) << key << ": the hosts now answer otherwise than EXPECTED records "
                                  << "(see docs/basic-oracle.md)";
  }
  for (const auto& [key, value] : recorded)
    if (!answered.count(key)) ADD_FAILURE() << key << " is in EXPECTED but no probe answers it";
}

// Where ScarletDME is not installed the embedded host is still held to its
// side of EXPECTED: the typical programs and every probe.
TEST(BasicOracle, TheEmbeddedHostAnswersAsRecordedWithoutScarletDme) {
  IsolatedConfig config;
  TempDir dir;
  fs::create_directories(dir / "mv-config");
  fs::copy(kProbes, dir / "embedded", fs::copy_options::recursive);
  Results embedded = runAll(dir / "mv-config", "mvhost.so", (dir / "embedded").string());
  std::map<std::string, std::string> recorded;
  parse(desktop::readWholeFile(kProbes / "EXPECTED"), recorded);
  size_t typical = 0;
  for (const auto& [key, value] : recorded) {
    std::string expected = value;
    if (value.rfind("qm: ", 0) == 0) {
      size_t side = value.find(" | embedded: ");
      ASSERT_NE(side, std::string::npos) << key;
      expected = value.substr(side + 13);
    }
    if (expected == "!missing") continue;
    typical += key.rfind("T.", 0) == 0;
    auto answered = embedded.find(key);
    ASSERT_NE(answered, embedded.end()) << key << " is in EXPECTED but the embedded host does not answer it";
    EXPECT_EQ(answered->second, expected) << key << " (see docs/basic-oracle.md)";
  }
  EXPECT_GT(typical, 50u) << "the typical programs T.* are missing from EXPECTED";
}

}  // namespace
}  // namespace pelorix::test
