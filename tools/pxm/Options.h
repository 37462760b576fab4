// Command-line options: positional arguments and "--name value" / "--flag" options.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::string error;  // not empty when the arguments do not parse

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  std::string Value(const std::string& name, const std::string& fallback = {}) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
  }
};

// `valued` names the options that take a value (e.g. "-o", "--size"), `flags` those that do not.
Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags);

// "WxH" and "X,Y,W,H".
bool ParseSize(const std::string& text, uint32_t* width, uint32_t* height);
bool ParseRect(const std::string& text, int32_t rect[4]);
