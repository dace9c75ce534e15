// New databases of the four applications, read by two Palm File Format
// readers written by others: palm-pdb (npm) and Palm::PDB (libpalm-perl).

#include "palm/app_info.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "palm/category_info.h"
#include "palm/pdb_database.h"
#include "support/test_support.h"

namespace pelorix::palm {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
};

Outcome run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  std::string out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Installing is serialised: ctest runs these tests in parallel processes.
fs::path readerFolder() { return fs::path(PELORIX_BIN_DIR).parent_path() / "test-readers"; }
std::string locked(const std::string& command) {
  fs::create_directories(readerFolder());
  return "flock " + (readerFolder() / ".lock").string() + " sh -c '" + command + "'";
}

bool perlReaderReady() {
  static const bool ready = [] {
    const std::string check = "perl -MPalm::PDB -MPalm::Memo -MPalm::ToDo -MPalm::Address -MPalm::Datebook -e1";
    if (run(check).status == 0) return true;
    run(
        locked("apt-get install -y -q libpalm-perl >/dev/null 2>&1 || "
               "(apt-get update -q >/dev/null 2>&1 && apt-get install -y -q libpalm-perl >/dev/null 2>&1)"));
    return run(check).status == 0;
  }();
  return ready;
}

bool nodeReaderReady() {
  static const bool ready = [] {
    const fs::path module = readerFolder() / "node_modules" / "palm-pdb";
    if (!fs::exists(module / "package.json"))
      run(locked("cd " + readerFolder().string() +
                 " && [ -e node_modules/palm-pdb/package.json ] || "
                 "npm install --no-save --no-audit --no-fund palm-pdb >/dev/null 2>&1"));
    return fs::exists(module / "package.json");
  }();
  return ready;
}

struct App {
  const char* database;
  const char* creator;
};
constexpr App kApps[] = {{"AddressDB", "addr"}, {"DatebookDB", "date"}, {"MemoDB", "memo"}, {"ToDoDB", "todo"}};

// An empty database as the handheld's application creates it.
fs::path writeNew(const test::TempDir& dir, const App& app) {
  PdbDatabase db;
  db.setName(app.database);
  db.header.attributes = 0x0008;
  db.header.creationDate = db.header.modificationDate = 0xB5000000;
  db.header.type = fourCC("DATA");
  db.header.creator = fourCC(app.creator);
  db.appInfo = applicationAppInfo(db.header.creator);
  fs::path file = dir / (std::string(app.database) + ".pdb");
  test::writeBytes(file, db.serialize());
  return file;
}

// One line per file: the category in slot 0, then the application's settings.
constexpr const char* kPerlScript = R"(
use Palm::PDB; use Palm::Memo; use Palm::ToDo; use Palm::Address; use Palm::Datebook;
for my $f (@ARGV) {
  my $p = Palm::PDB->new; $p->Load($f); my $a = $p->{appinfo};
  my @v = (ref $p, $a->{categories}[0]{name});
  push @v, $a->{fieldLabels}{name}, $a->{fieldLabels}{phone5}, $a->{fieldLabels}{phone8}, $a->{country}
    if ref $p eq 'Palm::Address';
  push @v, $a->{start_of_week} if ref $p eq 'Palm::Datebook';
  push @v, $a->{sortOrder} if ref $p eq 'Palm::Memo';
  push @v, $a->{dirty_appinfo}, $a->{sort_order} if ref $p eq 'Palm::ToDo';
  print join('|', map { defined $_ ? $_ : 'undef' } @v), "\n";
}
)";

constexpr const char* kNodeScript = R"(
const pdb = require(process.argv[2]);
const fs = require('fs');
const kinds = {addr: pdb.AddressDatabase, date: pdb.DatebookDatabase, memo: pdb.MemoDatabase, todo: pdb.ToDoDatabase};
for (const f of process.argv.slice(3)) {
  const bytes = fs.readFileSync(f);
  const db = kinds[bytes.subarray(64, 68).toString('latin1')].from(bytes);
  const a = db.appInfo;
  const v = [db.constructor.name, a.getCategory(0).label];
  if ('addressLabels' in a) v.push(a.addressLabels[0], a.addressLabels[7], a.addressLabels[21], a.country, a.sortByCompany);
  if ('firstDayOfWeek' in a) v.push(a.firstDayOfWeek);
  if ('sortOrder' in a) v.push(a.sortOrder);
  console.log(v.join('|'));
}
)";

std::string filesOf(const test::TempDir& dir) {
  std::string files;
  for (const App& app : kApps) files += " " + writeNew(dir, app).string();
  return files;
}

TEST(ApplicationAppInfo, NewDatabasesOfTheFourApplicationsAreReadByPalmPerl) {
  if (!perlReaderReady()) GTEST_SKIP() << "libpalm-perl could not be installed";
  test::TempDir dir;
  std::ofstream(dir / "read.pl") << kPerlScript;
  Outcome r = run("perl " + (dir / "read.pl").string() + filesOf(dir));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out,
            "Palm::Address|Unfiled|Last name|E-mail|Mobile|23\n"
            "Palm::Datebook|Unfiled|0\n"
            "Palm::Memo|Unfiled|0\n"
            "Palm::ToDo|Unfiled|0|1\n");
}

TEST(ApplicationAppInfo, NewDatabasesOfTheFourApplicationsAreReadByPalmPdb) {
  if (!nodeReaderReady()) GTEST_SKIP() << "palm-pdb could not be installed from npm";
  test::TempDir dir;
  std::ofstream(dir / "read.js") << kNodeScript;
  Outcome r = run("node " + (dir / "read.js").string() + " " + (readerFolder() / "node_modules" / "palm-pdb").string() +
                  filesOf(dir));
  ASSERT_EQ(r.status, 0) << r.out;
  // This reader places the To Do settings two bytes earlier, so it reads
  // the reserved word there.
  EXPECT_EQ(r.out,
            "AddressDatabase|Unfiled|Last name|E-mail|Mobile|23|0\n"
            "DatebookDatabase|Unfiled|0\n"
            "MemoDatabase|Unfiled|0\n"
            "ToDoDatabase|Unfiled|0\n");
}

TEST(ApplicationAppInfo, TheCategoriesAreReadAndChangedWithoutTouchingTheApplicationsSettings) {
  for (const App& app : kApps) {
    std::vector<std::uint8_t> block = applicationAppInfo(fourCC(app.creator));
    ASSERT_GT(block.size(), CategoryInfo::kSize) << app.creator;
    std::vector<std::uint8_t> settings(block.begin() + CategoryInfo::kSize, block.end());
    CategoryInfo categories(block);
    EXPECT_EQ(categories.label(0), "Unfiled");
    EXPECT_TRUE(categories.setLabel(1, "Business"));
    categories.storeInto(block);
    EXPECT_EQ(CategoryInfo(block).label(1), "Business");
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin() + CategoryInfo::kSize, block.end()), settings) << app.creator;
  }
  EXPECT_EQ(applicationAppInfo(fourCC("mail")), CategoryInfo::defaultBlock());

  // The sample handheld's Address Book, as its application made it, has the same settings.
  auto sample = test::readBytes(test::sampleHandheld() / "AddressDB.pdb");
  std::vector<std::uint8_t> made = applicationAppInfo(fourCC("addr"));
  PdbDatabase address = PdbDatabase::parse(sample, "AddressDB.pdb");
  EXPECT_EQ(std::vector<std::uint8_t>(made.begin() + CategoryInfo::kSize, made.end()),
            std::vector<std::uint8_t>(address.appInfo.begin() + CategoryInfo::kSize, address.appInfo.end()));
}

}  // namespace
}  // namespace pelorix::palm
