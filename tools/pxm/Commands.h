// The tool's commands. Each returns the process exit code.
#pragma once
#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

int RunDemo(const Arguments& args);
int RunInfo(const Arguments& args);
int RunRender(const Arguments& args);
int RunConvert(const Arguments& args);
int RunSave(const Arguments& args);
int RunLoad(const Arguments& args);
