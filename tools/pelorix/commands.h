#pragma once

#include <string>
#include <vector>

namespace pelorix::cli {

using Args = std::vector<std::string>;

int hotsyncCommand(const Args& args);
int serverCommand(const Args& args);
int recordCommand(const Args& args);
int mvCommand(const Args& args);
int configCommand(const Args& args);
int statusCommand(const Args& args);
int showCommand(const Args& args);
// setup, configure, register, unregister, uninstall
int setupCommand(const std::string& command, const Args& args);

// The component library installed beside this program.
std::string bundledComponent();
// Registers the bundled component and the embedded host's connector when
// their classes are not served yet.
void ensureComponentRegistered();

}  // namespace pelorix::cli
