// The pelorix record command, run as a customer runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>

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
  Outcome host = run("record memo to-host --id 12 --category 2 --attributes 0x40 --readable", std::string("a\nb^\0", 5));
  EXPECT_EQ(host.status, 0);
  EXPECT_EQ(host.out, "12]2]0]0]1]0]a\\b~^]\n");
  Outcome raw = run("record memo to-host", std::string("a\0", 2));
  EXPECT_EQ(raw.out, "\xFD" "0\xFD" "0\xFD" "0\xFD" "0\xFD" "0\xFD" "a\xFD");
  Outcome palm = run("record todo to-palm --readable", "]0]0]0]0]0]12181]1]2]Call\\Bob]]K\n");
  EXPECT_EQ(palm.status, 0);
  EXPECT_EQ(palm.out, std::string("\xC2\xA7\x82" "Call\nBob\0\0\0", 14));
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

}  // namespace
}  // namespace pelorix
