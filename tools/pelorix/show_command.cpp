// pelorix show: a handheld database's records as their fields, read-only.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "base/marks.h"
#include "commands.h"
#include "palm/applications.h"
#include "palm/category_info.h"
#include "palm/pdb_database.h"
#include "records/palm_record.h"

namespace pelorix::cli {

namespace {

const char* kHelp =
    "usage: pelorix show [--json] <database.pdb>\n"
    "\n"
    "Prints the records of one of the four applications' handheld databases (AddressDB, DatebookDB,\n"
    "MemoDB, ToDoDB) as the conduit reads them: each record's id, category by name, flags\n"
    "(deleted, archived, dirty, private) and fields. Dates are shown as YYYY-MM-DD, times as HH:MM.\n"
    "The file is only read.\n"
    "  --json   one JSON object: database, application, records[] with id, category,\n"
    "           categoryIndex, flags{} and fields{}\n";

enum class Kind { Text, Date, Time, Flag, Number, PhoneLabel, AlarmUnit, RepeatType, Dates };

struct Field {
  const char* name;
  Kind kind = Kind::Text;
};

// The application fields of each application's dynamic array, from field 7 on.
const std::vector<Field>& fieldsOf(palm::AppKind kind) {
  static const std::vector<Field> memo = {{"memo"}};
  static const std::vector<Field> todo = {
      {"due date", Kind::Date}, {"completed", Kind::Flag}, {"priority", Kind::Number}, {"description"}, {"note"}};
  static const std::vector<Field> address = {{"last name"},
                                             {"first name"},
                                             {"company"},
                                             {"phone 1"},
                                             {"phone 1 label", Kind::PhoneLabel},
                                             {"phone 2"},
                                             {"phone 2 label", Kind::PhoneLabel},
                                             {"phone 3"},
                                             {"phone 3 label", Kind::PhoneLabel},
                                             {"phone 4"},
                                             {"phone 4 label", Kind::PhoneLabel},
                                             {"phone 5"},
                                             {"phone 5 label", Kind::PhoneLabel},
                                             {"phone shown", Kind::Number},
                                             {"address"},
                                             {"city"},
                                             {"state"},
                                             {"zip code"},
                                             {"country"},
                                             {"title"},
                                             {"custom 1"},
                                             {"custom 2"},
                                             {"custom 3"},
                                             {"custom 4"},
                                             {"note"}};
  static const std::vector<Field> datebook = {{"start time", Kind::Time},
                                              {"date", Kind::Date},
                                              {"end time", Kind::Time},
                                              {"untimed", Kind::Flag},
                                              {"alarm", Kind::Flag},
                                              {"alarm advance", Kind::Number},
                                              {"alarm unit", Kind::AlarmUnit},
                                              {"repeat type", Kind::RepeatType},
                                              {"repeat end date", Kind::Date},
                                              {"repeat frequency", Kind::Number},
                                              {"repeat on", Kind::Number},
                                              {"start of week", Kind::Number},
                                              {"exceptions", Kind::Dates},
                                              {"description"},
                                              {"note"}};
  switch (kind) {
    case palm::AppKind::AddressBook: return address;
    case palm::AppKind::DateBook: return datebook;
    case palm::AppKind::MemoPad: return memo;
    case palm::AppKind::ToDoList: return todo;
  }
  return memo;
}

// Internal dates count days from 31 December 1967.
std::string dateText(const std::string& internal) {
  try {
    using namespace std::chrono;
    long offset = std::stol(internal);
    if (offset < -700000 || offset > 2900000) return internal;  // outside the years 0 to 9999
    year_month_day date{sys_days{year{1967} / December / 31} + days{offset}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()), unsigned(date.month()), unsigned(date.day()));
    return text;
  } catch (const std::exception&) {
    return internal;
  }
}

// Written here rather than with a JSON library so that this command loads
// no Qt; laid out as Qt's writer laid it out, members sorted by name.
std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

using JsonMembers = std::map<std::string, std::string>;  // name, JSON text of the value

std::string indent(int depth) { return std::string(size_t{4} * static_cast<size_t>(depth), ' '); }

std::string jsonObject(const JsonMembers& members, int depth) {
  std::string inner = indent(depth + 1), out = "{\n";
  for (auto it = members.begin(); it != members.end(); ++it)
    out += inner + jsonText(it->first) + ": " + it->second + (std::next(it) == members.end() ? "\n" : ",\n");
  return out + indent(depth) + "}";
}

std::string jsonArray(const std::vector<std::string>& items, int depth) {
  std::string inner = indent(depth + 1), out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) out += inner + items[i] + (i + 1 == items.size() ? "\n" : ",\n");
  return out + indent(depth) + "]";
}

std::string named(const std::string& value, std::initializer_list<const char*> names) {
  try {
    size_t n = std::stoul(value);
    if (n < names.size()) return value + " (" + names.begin()[n] + ")";
  } catch (const std::exception&) {
  }
  return value;
}

std::string shown(const Field& field, const std::string& value) {
  if (value.empty()) return value;
  switch (field.kind) {
    case Kind::Date: return dateText(value);
    case Kind::Time:
      try {
        long seconds = std::stol(value);
        char text[48];
        std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 3600, seconds / 60 % 60);
        return text;
      } catch (const std::exception&) {
        return value;
      }
    case Kind::Flag: return value == "1" ? "yes" : value == "0" ? "no" : value;
    case Kind::PhoneLabel: return named(value, {"work", "home", "fax", "other", "e-mail", "main", "pager", "mobile"});
    case Kind::AlarmUnit: return named(value, {"minutes", "hours", "days"});
    case Kind::RepeatType:
      return named(value, {"none", "daily", "weekly", "monthly by day", "monthly by date", "yearly"});
    case Kind::Dates: {
      std::string out;
      for (const std::string& d : pelorix::splitAt(value, pelorix::kSubvalueMark))
        out += (out.empty() ? "" : ", ") + dateText(d);
      return out;
    }
    case Kind::Text: {
      std::string out = value;
      for (char& c : out)
        if (c == pelorix::kSubvalueMark) c = '\n';
      return out;
    }
    case Kind::Number: break;
  }
  return value;
}

}  // namespace

int showCommand(const Args& args) {
  bool json = false;
  std::string file;
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--json")
      json = true;
    else if ((a.size() > 1 && a[0] == '-') || !file.empty()) {
      std::fputs(kHelp, stderr);
      return 2;
    } else
      file = a;
  }
  if (file.empty()) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  palm::PdbDatabase db = palm::PdbDatabase::parse(bytes, file);

  const palm::Application* app = nullptr;
  for (const palm::Application& a : palm::applications())
    if (a.creator == db.header.creator || a.database == db.name()) app = app ? app : &a;
  if (!app)
    throw std::runtime_error(file + " is not the database of an application Pelorix serves (" + db.name() + ", " +
                             palm::fourCCText(db.header.creator) + ")");
  const std::vector<Field>& fields = fieldsOf(app->kind);
  palm::CategoryInfo categories(db.appInfo);

  std::vector<std::string> records;
  if (!json) std::printf("%s (%s), %zu record(s)\n", app->database, app->name, db.records.size());
  for (const palm::PdbRecord& r : db.records) {
    bool deleted = r.attributes & palm::attr::kDeleted;
    bool archived = deleted && (r.attributes & palm::attr::kArchived);
    int category = deleted ? 0 : r.attributes & palm::attr::kCategoryMask;
    com::Ref<records::IPalmRecord> record = records::createRecord(app->kind);
    com::Variant id(std::int32_t(r.uniqueId));
    record->CreateClass(id, category, r.attributes, com::Variant(com::ByteArray(r.data.begin(), r.data.end())));
    std::vector<std::string> values = pelorix::splitAt(record->CreateDynamicArray(), pelorix::kValueMark);
    std::string categoryName = categories.label(category);
    std::vector<std::pair<const char*, bool>> flags = {{"deleted", deleted},
                                                       {"archived", archived},
                                                       {"dirty", bool(r.attributes & palm::attr::kDirty)},
                                                       {"private", bool(r.attributes & palm::attr::kPrivate)}};
    if (json) {
      JsonMembers o, f, fl;
      o["id"] = std::to_string(r.uniqueId);
      o["category"] = jsonText(categoryName);
      o["categoryIndex"] = std::to_string(category);
      for (auto [name, on] : flags) fl[name] = on ? "true" : "false";
      o["flags"] = jsonObject(fl, 3);
      for (size_t i = 0; i < fields.size(); ++i)
        f[fields[i].name] = jsonText(shown(fields[i], i + 6 < values.size() ? values[i + 6] : ""));
      o["fields"] = jsonObject(f, 3);
      records.push_back(jsonObject(o, 2));
      continue;
    }
    std::string flagText;
    for (auto [name, on] : flags)
      if (on) flagText += (flagText.empty() ? "" : ", ") + std::string(name);
    if (categoryName.empty()) categoryName = std::to_string(category) + " (no name)";
    std::printf("\nrecord %u, category %s%s%s\n", r.uniqueId, categoryName.c_str(), flagText.empty() ? "" : ", ",
                flagText.c_str());
    for (size_t i = 0; i < fields.size(); ++i) {
      std::string value = shown(fields[i], i + 6 < values.size() ? values[i + 6] : "");
      if (value.empty()) continue;
      std::string indented;
      for (char c : value) indented += c == '\n' ? std::string("\n") + std::string(20, ' ') : std::string(1, c);
      std::printf("  %-17s %s\n", (std::string(fields[i].name) + ":").c_str(), indented.c_str());
    }
  }
  if (json) {
    JsonMembers top;
    top["database"] = jsonText(app->database);
    top["application"] = jsonText(app->name);
    top["records"] = jsonArray(records, 1);
    std::printf("%s\n", jsonObject(top, 0).c_str());
  }
  return 0;
}

}  // namespace pelorix::cli
