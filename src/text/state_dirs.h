// Where the client keeps the files it writes: settings.cfg and the skin cache. Read-only files
// (info.txt, res/) always come from AppDir; only these two places move.
//
// An installed copy (its program folder holds the package's marker file "installed") keeps them
// in the user's XDG folders: $XDG_CONFIG_HOME/qelo/ and $XDG_DATA_HOME/qelo/skins/, where an
// unset, empty or relative XDG value means $HOME/.config or $HOME/.local/share. It never writes
// under its program folder, whoever runs it. Any other copy (the build tree, a portable folder)
// keeps them beside the program when that folder is writable, and otherwise in the XDG folders.
#pragma once

#include <optional>
#include <string>

namespace qelo::text {

// The name of the marker file that only the package puts into the program folder.
inline constexpr char kInstalledMarker[] = "installed";

// Both directories end in "/".
struct StateDirs {
  std::string config;  // holds settings.cfg
  std::string skins;   // the skin cache: NAME.skn, NAME.jpg and their .tmp and .stat files

  bool operator==(const StateDirs&) const = default;
};

// What the choice depends on; absent environment values are std::nullopt.
struct StateFacts {
  std::string appDir;  // with its trailing "/"
  bool installed = false;
  bool appDirWritable = false;
  std::optional<std::string> home;
  std::optional<std::string> xdgConfigHome;
  std::optional<std::string> xdgDataHome;
};

// The pure choice. A missing or relative HOME gives "/" as the home folder, so the writes fail
// with an error naming the path instead of landing relative to the working directory.
StateDirs ChooseStateDirs(const StateFacts& facts);

// This process's facts: AppDir, the marker in it, whether the user may write there, HOME (or the
// password database's home when HOME is unset or empty) and the XDG variables.
StateFacts ProcessStateFacts();

// ChooseStateDirs(ProcessStateFacts()), decided at the first call and kept for the process.
const StateDirs& ProcessStateDirs();

// Creates dir and its missing parents (mode 0700, as XDG asks for its folders); an existing one is
// left as it is. Returns false when it could not be made; the write that follows then reports
// the error with its own path.
bool MakeStateDir(const std::string& dir);

}  // namespace qelo::text
