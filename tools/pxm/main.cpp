// pxm: a command-line host of the PXM module. It loads the host framework module and PXM from
// its own directory and works through CreateFunction and the interfaces only, as any host does.
#include <cstdio>
#include <cstring>

#include "Commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const Arguments&);
  const char* summary;
};

constexpr Command kCommands[] = {
    {"demo", RunDemo, "demo [DIR]                      load, draw, mask, save and restore the built-in sample"},
    {"info", RunInfo, "info FILE...                    describe bitmap files"},
    {"render", RunRender, "render FILE -o OUT.png [...]    draw a bitmap file into a picture"},
    {"convert", RunConvert, "convert FILE --to KIND -o OUT   copy a bitmap file into another image kind"},
    {"save", RunSave, "save FILE -o OUT.pxs            save a bitmap file's image record into a stream file"},
    {"load", RunLoad, "load IN.pxs -o OUT              restore an image from a stream file"},
};

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: pxm [COMMAND] [ARGS]   (no command: demo)\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.summary);
  std::fprintf(out, "\n'pxm COMMAND --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args(argv + 1, argv + argc);
  if (args.empty()) return RunDemo(args);
  const std::string name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name == c.name) return c.run(Arguments(args.begin() + 1, args.end()));
  }
  std::fprintf(stderr, "pxm: unknown command '%s'\n\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
