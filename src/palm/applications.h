#pragma once
// The four applications Pelorix serves, each described once: the HotSync,
// the conduit entries, the settings, the record classes, the setup dialog
// and the commands all read them from here.

#include <cstdint>
#include <span>
#include <string>

namespace pelorix::palm {

// Which application a row is; the records layer maps it to its record
// class, the setup dialog to its tab.
enum class AppKind { AddressBook, DateBook, MemoPad, ToDoList };

struct Application {
  AppKind kind;
  const char* name;            // "Memo Pad", as the desktop and its messages show it
  const char* key;             // "memo", as the commands name it
  const char* database;        // "MemoDB", the handheld database
  std::uint32_t creator;       // 'memo'
  const char* section;         // "MemoPad", its section of the conduit settings
  const char* defaultConduit;  // "MemoConduit.DLL", the desktop's own conduit for it
};

// In the order a HotSync runs them and saving registers them.
std::span<const Application> applications();
const Application& application(AppKind kind);

// By key, database, name or creator text, without regard to case, as the
// commands accept an application.
const Application* findApplication(const std::string& name);
// Exactly by one column; nullptr when no application has it.
const Application* applicationOfKey(const std::string& key);
const Application* applicationOfDatabase(const std::string& database);
const Application* applicationOfCreator(std::uint32_t creator);

}  // namespace pelorix::palm
