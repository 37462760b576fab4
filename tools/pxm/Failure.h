// A failed step of a command.
#pragma once
#include <string>

#include "pxm/Result.h"

// A failed step: what failed and the module's result. Printing it returns the exit code 1.
struct Failure {
  std::string what;
  HRESULT result = PXM_E_FAIL;
  bool withResult = true;
};
int Report(const Failure& failure);
