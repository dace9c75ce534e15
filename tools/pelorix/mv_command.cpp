// pelorix mv: the embedded MultiValue host from the command line, for
// trying a subroutine without a HotSync and for looking at its files.

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "commands.h"
#include "mv/account.h"
#include "mv/account_programs.h"
#include "mv/account_users.h"
#include "mv/basic_interpreter.h"
#include "mv/connections.h"
#include "mv/dynamic_array.h"
#include "mv/step_limit.h"
#include "records/readable_marks.h"

namespace pelorix::cli {

namespace {

constexpr const char* kUsage =
    "usage: pelorix mv <command> <account> ...\n\n"
    "The account is a connection named in the settings folder's \"connections\" file\n"
    "(lines \"name = folder\") or an account folder.\n\n"
    "  run <account> <program> [argument...]\n"
    "      runs a BP program with the arguments (missing ones are empty) and prints\n"
    "      each argument as the program left it; what it CRTs goes to standard error\n"
    "  list <account> [file]   the account's files, or the item ids of a file\n"
    "  show <account> <file> <id>\n"
    "      one item, an attribute a line, numbered\n"
    "  adduser <account> <user>\n"
    "      adds a user or gives it a new password, read from standard input; once an\n"
    "      account has users, connecting to it needs a user name and its password\n\n"
    "Arguments and output write the marks as ^ (AM), ] (VM) and \\ (SVM).\n";

mv::Account openAccount(const std::string& name) {
  auto folder = mv::resolveAccount(name);
  if (!folder) throw std::runtime_error("no account \"" + name + "\": neither a connection nor a folder");
  mv::Account account(*folder);
  // Finishes or undoes a commit that a killed run left, as a HotSync's connect does.
  account.recover();
  return account;
}

int run(const Args& args) {
  if (args.size() < 3) throw std::invalid_argument("run needs an account and a program");
  mv::Account account = openAccount(args[1]);
  std::vector<std::string> values;
  for (size_t i = 3; i < args.size(); ++i) values.push_back(records::fromReadableMarks(args[i]));
  if (!mv::programSource(account, args[2]))
    throw std::runtime_error("no program \"" + args[2] + "\" in the account's BP file");
  mv::Interpreter vm(
      mv::programLoader(account), [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); },
      mv::configuredMaxSteps(), &account);
  vm.setLockWait(mv::configuredLockWait());
  // Missing arguments are empty, so that a quick try needs no "" on the line.
  size_t parameters = vm.parameterCount(args[2]);
  if (values.size() < parameters) values.resize(parameters);
  vm.call(args[2], values);
  for (size_t i = 0; i < values.size(); ++i)
    std::printf("%zu: %s\n", i + 1, records::toReadableMarks(values[i]).c_str());
  return 0;
}

int list(const Args& args) {
  if (args.size() < 2) throw std::invalid_argument("list needs an account");
  mv::Account account = openAccount(args[1]);
  for (const std::string& name : args.size() > 2 ? account.items(args[2]) : account.files())
    std::printf("%s\n", name.c_str());
  return 0;
}

int show(const Args& args) {
  if (args.size() < 4) throw std::invalid_argument("show needs an account, a file and an item id");
  mv::Account account = openAccount(args[1]);
  auto item = account.read(args[2], args[3]);
  if (!item) {
    std::fprintf(stderr, "pelorix mv: no item \"%s\" in %s\n", args[3].c_str(), args[2].c_str());
    return 1;
  }
  std::vector<std::string> attributes = mv::split(*item, mv::AM);
  for (size_t i = 0; i < attributes.size(); ++i)
    std::printf("%3zu: %s\n", i + 1, records::toReadableMarks(attributes[i]).c_str());
  return 0;
}

std::string readPassword() {
  bool terminal = ::isatty(STDIN_FILENO);
  termios saved{};
  if (terminal) {
    std::fprintf(stderr, "password: ");
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string password;
  std::getline(std::cin, password);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fprintf(stderr, "\n");
  }
  return password;
}

int addUser(const Args& args) {
  if (args.size() < 3) throw std::invalid_argument("adduser needs an account and a user name");
  mv::Account account = openAccount(args[1]);
  mv::AccountUsers(account.folder()).add(args[2], readPassword());
  std::printf("%s: user %s saved\n", account.folder().c_str(), args[2].c_str());
  return 0;
}

}  // namespace

int mvCommand(const Args& args) {
  const std::string command = args.empty() ? "" : args[0];
  if (command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (command == "run") return run(args);
    if (command == "list") return list(args);
    if (command == "show") return show(args);
    if (command == "adduser") return addUser(args);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "pelorix mv: %s\n\n%s", e.what(), kUsage);
    return 2;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace pelorix::cli
