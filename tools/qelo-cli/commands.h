// The subcommands of qelo-cli. Each takes the arguments after its name and returns the exit
// status (0 success, 1 failure, 2 usage error).
#pragma once

#include <string>
#include <vector>

namespace qelo::cli {

using Args = std::vector<std::string>;

int RunSettings(const Args& args);
int RunJson(const Args& args);
int RunHttp(const Args& args);
int RunSearch(const Args& args);
int RunDownload(const Args& args);
int RunSkin(const Args& args);

}  // namespace qelo::cli
