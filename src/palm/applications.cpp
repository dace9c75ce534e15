#include "palm/applications.h"

#include <array>

#include "base/ascii_case.h"
#include "palm/pdb_database.h"

namespace pelorix::palm {

namespace {

constexpr std::uint32_t creatorOf(const char (&text)[5]) {
  std::uint32_t id = 0;
  for (int i = 0; i < 4; ++i) id = id << 8 | static_cast<unsigned char>(text[i]);
  return id;
}

// The names here are stored in settings, conduit entries and handheld
// files: they never change.
constexpr std::array<Application, 4> kApplications = {{
    {AppKind::AddressBook, "Address Book", "address", "AddressDB", creatorOf("addr"), "AddressBook",
     "AddressConduit.DLL"},
    {AppKind::DateBook, "Date Book", "datebook", "DatebookDB", creatorOf("date"), "DateBook", "DatebookConduit.DLL"},
    {AppKind::MemoPad, "Memo Pad", "memo", "MemoDB", creatorOf("memo"), "MemoPad", "MemoConduit.DLL"},
    {AppKind::ToDoList, "To Do List", "todo", "ToDoDB", creatorOf("todo"), "ToDoList", "ToDoConduit.DLL"},
}};

template <class Matches>
const Application* first(Matches matches) {
  for (const Application& a : kApplications)
    if (matches(a)) return &a;
  return nullptr;
}

}  // namespace

std::span<const Application> applications() { return kApplications; }

const Application& application(AppKind kind) {
  return *first([kind](const Application& a) { return a.kind == kind; });
}

const Application* findApplication(const std::string& name) {
  return first([&name](const Application& a) {
    return pelorix::namesEqual(name, a.key) || pelorix::namesEqual(name, a.database) ||
           pelorix::namesEqual(name, a.name) || pelorix::namesEqual(name, fourCCText(a.creator));
  });
}

const Application* applicationOfKey(const std::string& key) {
  return first([&key](const Application& a) { return key == a.key; });
}

const Application* applicationOfDatabase(const std::string& database) {
  return first([&database](const Application& a) { return database == a.database; });
}

const Application* applicationOfCreator(std::uint32_t creator) {
  return first([creator](const Application& a) { return a.creator == creator; });
}

}  // namespace pelorix::palm
