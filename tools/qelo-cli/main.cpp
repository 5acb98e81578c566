// qelo-cli COMMAND [ARGS...]: runs one subcommand of the client's core from the shell.
#include <cstdio>
#include <string_view>

#include "commands.h"

namespace {

struct Command {
  std::string_view name;
  std::string_view usage;
  int (*run)(const qelo::cli::Args&);
};

// One row per subcommand.
constexpr Command kCommands[] = {
    {"", "", nullptr},
    {"http",
     "http [-X GET|POST|HEAD] [--data STR | --data-file FILE] [--range BEGIN-END] [--http11] "
     "[--no-follow] [--max-redirects N] [-o FILE] [-v] URL",
     qelo::cli::RunHttp},
    {"download", "download [--parts N] [--progress] URL FILE", qelo::cli::RunDownload},
    {"search", "search KEYWORD [--base URL]   (KEYWORD and output in UTF-8)", qelo::cli::RunSearch},
    {"json", "json [--gbk | --utf8] FILE [--member KEY]...  (output in UTF-8)", qelo::cli::RunJson},
    {"settings", "settings encode TEXT | decode FILE   (TEXT and output in UTF-8)",
     qelo::cli::RunSettings},
    {"skin", "skin info FILE | builtin OUT   (describes a container loaded over the built-in skin)",
     qelo::cli::RunSkin},
};

int Usage() {
  std::fprintf(stderr, "usage: qelo-cli COMMAND [ARGS...]\ncommands:\n");
  for (const Command& c : kCommands)
    if (c.run) std::fprintf(stderr, "  %.*s\n", static_cast<int>(c.usage.size()), c.usage.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view name = argv[1];
  for (const Command& c : kCommands) {
    if (c.run && c.name == name) return c.run(qelo::cli::Args(argv + 2, argv + argc));
  }
  return Usage();
}
