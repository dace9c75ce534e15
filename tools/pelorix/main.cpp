// pelorix: the command line of the Pelorix conduit.

#include <cstdio>
#include <exception>
#include <string>

#include "com/com_error.h"
#include "commands.h"
#include "pelorix/version.h"

namespace {

void usage(std::FILE* out) {
  std::fprintf(out,
               "%s %s - %s\n\n"
               "usage: pelorix <command> [options]\n\n"
               "commands:\n"
               "  hotsync <handheld-folder>   synchronise a handheld (see pelorix hotsync --help)\n"
               "  record <memo|address|todo|datebook> <to-host|to-palm>\n"
               "                              convert one record (see pelorix record --help)\n"
               "  config set|get|show         the conduit's settings (see pelorix config --help)\n"
               "  status [handheld-folder]    what Pelorix serves, how, and the last HotSyncs\n"
               "  show [--json] <db.pdb>      a handheld database's records as their fields\n"
               "  setup                       the Conduit Setup dialog\n"
               "  configure <app>             the HotSync action of one application\n"
               "  register|unregister <app>...\n"
               "                              serve applications with Pelorix, or give them back\n"
               "  uninstall                   give all four applications back\n"
               "  mv run|list|show|adduser <account> ...\n"
               "                              the embedded MultiValue host (see pelorix mv --help)\n"
               "  server register|unregister [library]\n"
               "                              run a server library's self-registration\n"
               "                              (default: the Pelorix component beside this program)\n"
               "  help                        this text\n",
               pelorix::version::kProductName, pelorix::version::kVersionText, pelorix::version::kDescription);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  std::string command = argv[1];
  pelorix::cli::Args args(argv + 2, argv + argc);
  try {
    if (command == "hotsync") return pelorix::cli::hotsyncCommand(args);
    if (command == "server") return pelorix::cli::serverCommand(args);
    if (command == "record") return pelorix::cli::recordCommand(args);
    if (command == "mv") return pelorix::cli::mvCommand(args);
    if (command == "config") return pelorix::cli::configCommand(args);
    if (command == "status") return pelorix::cli::statusCommand(args);
    if (command == "show") return pelorix::cli::showCommand(args);
    if (command == "setup" || command == "configure" || command == "register" || command == "unregister" ||
        command == "uninstall")
      return pelorix::cli::setupCommand(command, args);
    if (command == "help" || command == "--help" || command == "-h") {
      usage(stdout);
      return 0;
    }
    if (command == "--version") {
      std::printf("%s %s\n", pelorix::version::kProductName, pelorix::version::kVersionText);
      return 0;
    }
  } catch (const pelorix::com::ComError& e) {
    std::fprintf(stderr, "pelorix %s: %s\n", command.c_str(), e.description().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelorix %s: %s\n", command.c_str(), e.what());
    return 1;
  }
  std::fprintf(stderr, "pelorix: unknown command \"%s\"\n\n", command.c_str());
  usage(stderr);
  return 2;
}
