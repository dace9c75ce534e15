// The pelorix record command, run as a customer runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include "palm/category_info.h"
#include "palm/handheld.h"
#include "palm/pdb_database.h"
#include "records/palm_record.h"
#include "records/readable_marks.h"
#include "support/test_support.h"

namespace pelorix {
namespace {

struct Outcome {
  int status;
  std::string out;
};

// `then`, when given, reads what the first command printed.
Outcome run(const std::string& arguments, const std::string& input, const std::string& then = "") {
  test::TempDir dir;
  std::ofstream(dir / "in", std::ios::binary) << input;
  const std::string pelorix = std::string(PELORIX_BIN_DIR) + "/pelorix ";
  std::string command = pelorix + arguments + " < " + (dir / "in").string() + " 2>" + (dir / "err").string();
  if (!then.empty()) command += " | " + pelorix + then + " 2>>" + (dir / "err").string();
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  int status = ::pclose(pipe);
  std::ifstream err(dir / "err");
  std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out + message};
}

TEST(RecordCommand, ConvertsBothWays) {
  Outcome host =
      run("record memo to-host --id 12 --category 2 --attributes 0x40 --readable", std::string("a\nb^\0", 5));
  EXPECT_EQ(host.status, 0);
  EXPECT_EQ(host.out, "12]2]0]0]1]0]a\\b~^]\n");
  Outcome raw = run("record memo to-host", std::string("a\0", 2));
  EXPECT_EQ(raw.out,
            "\xFD"
            "0\xFD"
            "0\xFD"
            "0\xFD"
            "0\xFD"
            "0\xFD"
            "a\xFD");
  Outcome palm = run("record todo to-palm --readable", "]0]0]0]0]0]12181]1]2]Call\\Bob]]K\n");
  EXPECT_EQ(palm.status, 0);
  EXPECT_EQ(palm.out, std::string("\xC2\xA7\x82"
                                  "Call\nBob\0\0\0",
                                  14));
}

// What to-host prints readably, to-palm reads back as the same record, for
// texts full of line breaks and of the characters that stand for marks.
TEST(RecordCommand, TheReadableFormReadsBackAsTheSameRecord) {
  std::mt19937 rng(13);
  const std::string alphabet = "ab ^]\\~\n\xE9\xFC\xFD\xFE";
  auto text = [&] {
    std::string t;
    for (int n = std::uniform_int_distribution<int>(0, 12)(rng); n > 0; --n)
      t += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return t + '\0';
  };
  for (int i = 0; i < 40; ++i) {
    std::string memo = text();
    std::string toDo = std::string("\xC2\xA7\x03", 3) + text() + text();
    for (auto [kind, record] : {std::pair<const char*, std::string&>{"memo", memo}, {"todo", toDo}}) {
      Outcome back = run(std::string("record ") + kind + " to-host --readable", record,
                         std::string("record ") + kind + " to-palm --readable");
      ASSERT_EQ(back.status, 0) << back.out;
      ASSERT_EQ(back.out, record + '\0') << kind << " record " << i;
    }
  }
}

TEST(RecordCommand, MalformedInputIsAClearFailure) {
  Outcome fewFields = run("record address to-palm --readable", "]0]0]0");
  EXPECT_EQ(fewFields.status, 1);
  EXPECT_NE(fewFields.out.find("too few fields"), std::string::npos) << fewFields.out;
  Outcome badNumber = run("record todo to-palm --readable", "]0]0]0]0]0]]0]high]]]");
  EXPECT_EQ(badNumber.status, 1);
  EXPECT_NE(badNumber.out.find("Field 9"), std::string::npos) << badNumber.out;
  Outcome outOfRange = run("record todo to-palm --readable", "]0]0]0]0]0]99999]0]1]]]");
  EXPECT_EQ(outOfRange.status, 1);
  EXPECT_NE(outOfRange.out.find("cannot be written"), std::string::npos);
  EXPECT_EQ(run("record memo sideways", "").status, 2);
  EXPECT_EQ(run("record memo to-host --id twelve", "").status, 1);
  // A handheld record that cannot be read still gives its common fields.
  EXPECT_EQ(run("record datebook to-host --readable", "\xFF").status, 0);
}

// pelorix show, against a database of records made here from dynamic arrays.
struct ShownRecord {
  std::string array;  // readable marks, application fields only
  std::map<std::string, std::string> fields;
};

QJsonObject show(const std::string& database, std::uint32_t creator, const std::vector<ShownRecord>& records,
                 std::uint8_t attributes = 0x40 | 0x10 | 1) {
  palm::PdbDatabase db = palm::newDatabase(database, creator, 0x44415441);
  palm::CategoryInfo categories(db.appInfo);
  categories.setLabel(1, "Business");
  categories.storeInto(db.appInfo);
  std::uint32_t id = 0x800001;
  for (const ShownRecord& r : records) {
    auto record = records::createRecord(database);
    record->ExtractDynamicArray(records::fromReadableMarks("]0]0]0]0]0]" + r.array + "]"));
    com::ByteArray bytes = record->CreatePalmData().bytes();
    EXPECT_FALSE(bytes.empty()) << database << ": " << record->encodeError();
    db.records.push_back({attributes, id++, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  }
  test::TempDir dir;
  test::writeBytes(dir / (database + ".pdb"), db.serialize());
  Outcome o = run("show --json " + (dir / (database + ".pdb")).string(), "");
  EXPECT_EQ(o.status, 0) << o.out;
  return QJsonDocument::fromJson(QByteArray::fromStdString(o.out)).object();
}

void expectFields(const QJsonObject& shown, const std::vector<ShownRecord>& records) {
  ASSERT_EQ(shown["records"].toArray().size(), qsizetype(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    QJsonObject fields = shown["records"].toArray()[i].toObject()["fields"].toObject();
    EXPECT_EQ(size_t(fields.size()), records[i].fields.size()) << "every field is shown";
    for (const auto& [name, value] : records[i].fields)
      EXPECT_EQ(fields[QString::fromStdString(name)].toString().toStdString(), value) << name;
  }
}

TEST(ShowCommand, GivesEveryFieldOfEachApplicationWithIdCategoryAndFlags) {
  std::vector<ShownRecord> memos = {{"Buy milk\\and eggs", {{"memo", "Buy milk\nand eggs"}}}};
  QJsonObject memo = show("MemoDB", 0x6D656D6F, memos);
  EXPECT_EQ(memo["application"].toString(), "Memo Pad");
  QJsonObject first = memo["records"].toArray()[0].toObject();
  EXPECT_EQ(first["id"].toInteger(), 0x800001);
  EXPECT_EQ(first["category"].toString(), "Business");
  EXPECT_EQ(first["categoryIndex"].toInt(), 1);
  QJsonObject flags = first["flags"].toObject();
  EXPECT_TRUE(flags["dirty"].toBool());
  EXPECT_TRUE(flags["private"].toBool());
  EXPECT_FALSE(flags["deleted"].toBool());
  EXPECT_FALSE(flags["archived"].toBool());
  expectFields(memo, memos);

  std::vector<ShownRecord> todos = {{"21526]1]3]Call Pat\\today]Number is 555",
                                     {{"due date", "2026-12-07"},
                                      {"completed", "yes"},
                                      {"priority", "3"},
                                      {"description", "Call Pat\ntoday"},
                                      {"note", "Number is 555"}}}};
  expectFields(show("ToDoDB", 0x746F646F, todos), todos);

  std::vector<ShownRecord> addresses = {
      {"Doe]Jane]Acme]555-1]0]555-2]1]555-3]2]jane@example.com]4]555-5]7]2]1 Main St]Springfield]IL]62701]USA]CEO]"
       "c1]c2]c3]c4]Met\\at the fair",
       {{"last name", "Doe"},
        {"first name", "Jane"},
        {"company", "Acme"},
        {"phone 1", "555-1"},
        {"phone 1 label", "0 (work)"},
        {"phone 2", "555-2"},
        {"phone 2 label", "1 (home)"},
        {"phone 3", "555-3"},
        {"phone 3 label", "2 (fax)"},
        {"phone 4", "jane@example.com"},
        {"phone 4 label", "4 (e-mail)"},
        {"phone 5", "555-5"},
        {"phone 5 label", "7 (mobile)"},
        {"phone shown", "2"},
        {"address", "1 Main St"},
        {"city", "Springfield"},
        {"state", "IL"},
        {"zip code", "62701"},
        {"country", "USA"},
        {"title", "CEO"},
        {"custom 1", "c1"},
        {"custom 2", "c2"},
        {"custom 3", "c3"},
        {"custom 4", "c4"},
        {"note", "Met\nat the fair"}}}};
  expectFields(show("AddressDB", 0x61646472, addresses), addresses);

  std::vector<ShownRecord> dates = {{"34200]21526]37800]0]1]5]0]2]21610]1]2]0]21554\\21561]Stand-up\\daily]Room 4",
                                     {{"start time", "09:30"},
                                      {"date", "2026-12-07"},
                                      {"end time", "10:30"},
                                      {"untimed", "no"},
                                      {"alarm", "yes"},
                                      {"alarm advance", "5"},
                                      {"alarm unit", "0 (minutes)"},
                                      {"repeat type", "2 (weekly)"},
                                      {"repeat end date", "2027-03-01"},
                                      {"repeat frequency", "1"},
                                      {"repeat on", "2"},
                                      {"start of week", "0"},
                                      {"exceptions", "2027-01-04, 2027-01-11"},
                                      {"description", "Stand-up\ndaily"},
                                      {"note", "Room 4"}}}};
  expectFields(show("DatebookDB", 0x64617465, dates), dates);
}

TEST(ShowCommand, ADeletedRecordIsShownAsSuchAndOtherDatabasesAreRefused) {
  std::vector<ShownRecord> memos = {{"gone", {{"memo", "gone"}}}};
  QJsonObject shown = show("MemoDB", 0x6D656D6F, memos, 0x80 | 0x08);
  QJsonObject flags = shown["records"].toArray()[0].toObject()["flags"].toObject();
  EXPECT_TRUE(flags["deleted"].toBool());
  EXPECT_TRUE(flags["archived"].toBool());

  test::TempDir dir;
  test::writeBytes(dir / "Other.pdb", palm::newDatabase("MailDB", 0x6D61696C, 0x44415441).serialize());
  Outcome o = run("show " + (dir / "Other.pdb").string(), "");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("not the database of an application Pelorix serves"), std::string::npos) << o.out;
  EXPECT_EQ(run("show", "").status, 2);
}

}  // namespace
}  // namespace pelorix
