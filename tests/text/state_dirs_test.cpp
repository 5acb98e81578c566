#include "text/state_dirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace qelo::text {
namespace {

using std::nullopt;

TEST(StateDirs, ChoiceByCopyAndEnvironment) {
  const std::string app = "/opt/q/";
  const StateDirs beside{app, app + "skins/"};
  const StateDirs homeDefaults{"/home/u/.config/qelo/", "/home/u/.local/share/qelo/skins/"};
  struct Case {
    const char* name;
    bool installed, writable;
    std::optional<std::string> home, config, data;
    StateDirs want;
  };
  const StateDirs rootDefaults{"/.config/qelo/", "/.local/share/qelo/skins/"};
  // clang-format off
  const std::vector<Case> cases = {
      {"portable, writable",           false, true,  "/home/u",  "/x",    "/y",     beside},
      {"installed, writable (root)",   true,  true,  "/home/u",  nullopt, nullopt,  homeDefaults},
      {"portable, read-only",          false, false, "/home/u",  nullopt, nullopt,  homeDefaults},
      {"installed, XDG empty",         true,  false, "/home/u",  "",      "",       homeDefaults},
      {"installed, XDG relative",      true,  false, "/home/u",  "cfg",   "./data", homeDefaults},
      {"installed, XDG absolute",      true,  false, "/home/u",  "/c",    "/d/",
       {"/c/qelo/", "/d/qelo/skins/"}},
      {"portable read-only, XDG data", false, false, "/home/u",  nullopt, "/d",
       {"/home/u/.config/qelo/", "/d/qelo/skins/"}},
      {"installed, HOME with slash",   true,  false, "/home/u/", nullopt, nullopt,  homeDefaults},
      {"installed, HOME relative",     true,  false, "home",     nullopt, nullopt,  rootDefaults},
      {"installed, HOME unset",        true,  false, nullopt,    nullopt, nullopt,  rootDefaults},
  };
  // clang-format on
  for (const Case& c : cases) {
    const StateFacts facts{app, c.installed, c.writable, c.home, c.config, c.data};
    const StateDirs got = ChooseStateDirs(facts);
    EXPECT_EQ(got.config, c.want.config) << c.name;
    EXPECT_EQ(got.skins, c.want.skins) << c.name;
  }
}

TEST(StateDirs, ProcessFactsComeFromTheProgramFolderAndTheEnvironment) {
  setenv("XDG_CONFIG_HOME", "/cfg-here", 1);
  unsetenv("XDG_DATA_HOME");
  const StateFacts facts = ProcessStateFacts();
  EXPECT_EQ(facts.xdgConfigHome, "/cfg-here");
  EXPECT_EQ(facts.xdgDataHome, nullopt);
  EXPECT_EQ(facts.appDirWritable, access(facts.appDir.c_str(), W_OK) == 0);
  EXPECT_FALSE(facts.installed);  // the build tree carries no marker
}

TEST(StateDirs, MakeStateDirCreatesParentsAndRefusesAFile) {
  char tmpl[] = "/tmp/qelo-state-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  const std::string deep = root + "/a/b/qelo/skins/";
  EXPECT_TRUE(MakeStateDir(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(MakeStateDir(deep));  // already there
  struct stat st {};
  ASSERT_EQ(stat((root + "/a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::ofstream(root + "/file") << "x";
  EXPECT_FALSE(MakeStateDir(root + "/file/skins/"));
  EXPECT_FALSE(MakeStateDir(""));
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace qelo::text
