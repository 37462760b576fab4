#include "Options.h"

#include <cstdio>

Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      options.flags.insert("--help");
    } else if (valued.count(a)) {
      if (i + 1 >= args.size()) {
        options.error = "option " + a + " needs a value";
        return options;
      }
      options.values[a] = args[++i];
    } else if (flags.count(a)) {
      options.flags.insert(a);
    } else if (a.size() > 1 && a[0] == '-') {
      options.error = "unknown option " + a;
      return options;
    } else {
      options.positional.push_back(a);
    }
  }
  return options;
}

bool ParseSize(const std::string& text, uint32_t* width, uint32_t* height) {
  unsigned w = 0, h = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &end) != 2 || w == 0 || h == 0 || w > 65536 || h > 65536)
    return false;
  *width = w;
  *height = h;
  return true;
}

bool ParseRect(const std::string& text, int32_t rect[4]) {
  int x = 0, y = 0, w = 0, h = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &x, &y, &w, &h, &end) != 4 || w <= 0 || h <= 0) return false;
  rect[0] = x;
  rect[1] = y;
  rect[2] = w;
  rect[3] = h;
  return true;
}
