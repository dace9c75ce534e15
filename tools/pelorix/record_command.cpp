#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "com/com_error.h"
#include "commands.h"
#include "palm/applications.h"
#include "records/palm_record.h"
#include "records/readable_marks.h"

namespace pelorix::cli {

namespace {

const char* kHelp =
    "usage: pelorix record <memo|address|todo|datebook> <to-host|to-palm> [options] [file]\n"
    "\n"
    "Converts one record the way the conduit does, to help while writing a host subroutine.\n"
    "  to-host   reads a handheld record's bytes and prints its dynamic array\n"
    "  to-palm   reads a dynamic array and prints the handheld record's bytes\n"
    "Input is the file named, or standard input; output goes to standard output.\n"
    "\n"
    "options:\n"
    "  --id N          the handheld record id (to-host: default 0, a new record; to-palm: replaces field 1)\n"
    "  --category N    the category index, 0 to 15 (to-host, default 0)\n"
    "  --attributes N  the attribute byte: 0x80 deleted, 0x40 dirty, 0x10 private, 0x08 archived\n"
    "                  (to-host, default 0; decimal or 0x hexadecimal)\n"
    "  --readable      marks as ^ (AM), ] (VM) and \\ (SVM); a literal ^, ], \\ or ~ is written ~^, ~], ~\\ or ~~\n"
    "                  (to-host prints this form, to-palm reads it)\n"
    "  --info          to-palm: also print the record's id, category and attribute byte on standard error\n";

std::int32_t parseInteger(const std::string& option, const std::string& text) {
  try {
    size_t used = 0;
    long value = std::stol(text, &used, 0);
    if (used != text.size() || value < INT32_MIN || value > INT32_MAX) throw std::out_of_range(text);
    return static_cast<std::int32_t>(value);
  } catch (const std::exception&) {
    throw std::invalid_argument(option + " needs a whole number, not \"" + text + "\"");
  }
}

}  // namespace

int recordCommand(const Args& args) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  const palm::Application* app = args.empty() ? nullptr : palm::applicationOfKey(args[0]);
  if (args.size() < 2 || !app || (args[1] != "to-host" && args[1] != "to-palm")) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  bool toHost = args[1] == "to-host";
  std::optional<std::int32_t> id;
  std::int32_t category = 0, attributes = 0;
  bool readable = false, info = false;
  std::string file;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "--id")
      id = parseInteger(a, value());
    else if (a == "--category")
      category = parseInteger(a, value());
    else if (a == "--attributes")
      attributes = parseInteger(a, value());
    else if (a == "--readable")
      readable = true;
    else if (a == "--info")
      info = true;
    else if (a.size() > 1 && a[0] == '-')
      throw std::invalid_argument("unknown option " + a);
    else if (file.empty())
      file = a;
    else
      throw std::invalid_argument("one input only");
  }
  std::string input;
  if (file.empty()) {
    input.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file);
    input.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  com::Ref<records::IPalmRecord> record = records::createRecord(app->kind);
  if (toHost) {
    com::Variant recordId(id.value_or(0));
    // A record the class cannot read still gives its common fields, as in a HotSync.
    record->CreateClass(recordId, category, attributes, com::Variant(com::ByteArray(input.begin(), input.end())));
    std::string array = record->CreateDynamicArray();
    std::fputs((readable ? records::toReadableMarks(array) + "\n" : array).c_str(), stdout);
    return 0;
  }
  while (!input.empty() && (input.back() == '\n' || input.back() == '\r')) input.pop_back();
  record->ExtractDynamicArray(readable ? records::fromReadableMarks(input) : input);
  if (id) record->RecordId(com::Variant(*id));
  com::ByteArray bytes = record->CreatePalmData().bytes();
  if (bytes.empty()) {
    std::fprintf(stderr,
                 "pelorix record: this %s record cannot be written to the handheld (a date, time or number "
                 "it holds is out of the handheld's range)\n",
                 args[0].c_str());
    return 1;
  }
  if (info)
    std::fprintf(stderr, "id %d, category %d, attributes 0x%02X\n", record->RecordId().toInt32(), record->CategoryId(),
                 record->eAttributes());
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return 0;
}

}  // namespace pelorix::cli
