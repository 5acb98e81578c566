#include "text/state_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "text/app_dir.h"

namespace qelo::text {

namespace {

bool IsAbsolute(const std::optional<std::string>& path) {
  return path && !path->empty() && path->front() == '/';
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

// An XDG base directory: the variable when it holds an absolute path, else HOME + fallback.
std::string XdgDir(const std::optional<std::string>& value, const std::string& home,
                   const char* fallback) {
  return IsAbsolute(value) ? WithSlash(*value) : home + fallback;
}

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> Home() {
  std::optional<std::string> home = Env("HOME");
  if (home && !home->empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return std::string(pw->pw_dir);
  return home;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

StateDirs ChooseStateDirs(const StateFacts& facts) {
  if (!facts.installed && facts.appDirWritable) return {facts.appDir, facts.appDir + "skins/"};
  const std::string home = IsAbsolute(facts.home) ? WithSlash(*facts.home) : "/";
  return {XdgDir(facts.xdgConfigHome, home, ".config/") + "qelo/",
          XdgDir(facts.xdgDataHome, home, ".local/share/") + "qelo/skins/"};
}

StateFacts ProcessStateFacts() {
  StateFacts facts;
  facts.appDir = AppDir();
  facts.installed = IsFile(facts.appDir + kInstalledMarker);
  facts.appDirWritable = ::access(facts.appDir.c_str(), W_OK) == 0;
  facts.home = Home();
  facts.xdgConfigHome = Env("XDG_CONFIG_HOME");
  facts.xdgDataHome = Env("XDG_DATA_HOME");
  return facts;
}

const StateDirs& ProcessStateDirs() {
  static const StateDirs dirs = ChooseStateDirs(ProcessStateFacts());
  return dirs;
}

bool MakeStateDir(const std::string& dir) {
  for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    const std::string part = dir.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace qelo::text
