#include "setup/dialog_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "com/com_error.h"
#include "pelorix/version.h"

namespace pelorix::setup {

namespace {
DialogHandlers& handlers() {
  static DialogHandlers h;
  return h;
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Asked of libxcb, which Qt's X11 plug-in loads anyway, so that an X server
// that is gone is found before Qt aborts the process over it.
bool xServerAnswers() {
  void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!xcb) return true;  // Qt will say what is wrong
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  bool answers = true;
  if (connect && hasError && disconnect) {
    void* c = connect(nullptr, nullptr);
    answers = c && hasError(c) == 0;
    if (c) disconnect(c);
  }
  dlclose(xcb);
  return answers;
}

bool waylandAnswers(const std::string& display) {
  std::filesystem::path socket = display;
  if (socket.is_relative()) socket = std::filesystem::path(env("XDG_RUNTIME_DIR")) / display;
  std::error_code ec;
  return std::filesystem::exists(socket, ec);
}

// Beside this library both in a build folder and in lib/pelorix.
std::string libraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&libraryPath), &info) && info.dli_fname)
    return (std::filesystem::path(info.dli_fname).parent_path() / kDialogLibrary).string();
  return kDialogLibrary;
}

const DialogEntries* entriesOf(void* library) {
  using Entries = const DialogEntries* (*)();
  auto entries = library ? reinterpret_cast<Entries>(dlsym(library, kDialogEntriesSymbol)) : nullptr;
  return entries ? entries() : nullptr;
}
}  // namespace

const DialogEntries* loadedDialogs() {
  // Kept open: its forms may outlive any one caller.
  return entriesOf(dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD));
}

const DialogEntries& dialogs() {
  static std::mutex lock;
  std::lock_guard guard(lock);
  static const DialogEntries* entries = nullptr;
  if (entries) return *entries;
  std::string path = libraryPath();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library)
    com::raise(com::err::kFail, version::kProductName, std::string("The dialogs cannot be loaded: ") + dlerror());
  entries = entriesOf(library);
  if (!entries) com::raise(com::err::kFail, version::kProductName, path + " offers no dialogs");
  return *entries;
}

std::optional<std::string> displayProblem() {
  if (auto* loaded = loadedDialogs(); loaded && loaded->applicationRunning()) return std::nullopt;
  const std::string platform = env("QT_QPA_PLATFORM"), x = env("DISPLAY"), wayland = env("WAYLAND_DISPLAY");
  bool wantsX = platform.empty() || platform.rfind("xcb", 0) == 0;
  bool wantsWayland = platform.empty() || platform.rfind("wayland", 0) == 0;
  if (!wantsX && !wantsWayland) return std::nullopt;  // offscreen, vnc, ...: Qt's to judge
  if (wantsWayland && !wayland.empty() && waylandAnswers(wayland)) return std::nullopt;
  if (wantsX && !x.empty() && xServerAnswers()) return std::nullopt;
  if (x.empty() && wayland.empty()) return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
  if (!x.empty()) return "the X display " + x + " cannot be reached";
  return "the Wayland display " + wayland + " cannot be reached";
}

void showMessage(MessageKind kind, const std::string& text) {
  if (auto& message = handlers().message) return message(kind, text);
  dialogs().message(kind, text);
}

bool startProgram(const std::string& path) {
  if (auto& start = handlers().start) return start(path);
  return dialogs().start(path);
}

DialogHandlers setDialogHandlers(DialogHandlers replacement) {
  DialogHandlers previous = std::move(handlers());
  handlers() = std::move(replacement);
  return previous;
}

const DialogHandlers& dialogHandlers() { return handlers(); }

}  // namespace pelorix::setup
