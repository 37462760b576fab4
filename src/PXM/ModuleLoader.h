// Loads a sibling module from the module directory and hands out one of its class creators.
#pragma once
#include <climits>

#include "pxm/Types.h"

// Sibling modules lie in the module directory beside this one: "_binLinux/" + name + ".so" (on
// Apple "_binMAC/" + name + ".dylib") under the folder above this module's own directory. The
// current directory plays no part: a folder the user happens to be in cannot plant a library.
#ifdef __APPLE__
inline constexpr char kModuleDirectory[] = "_binMAC/";
inline constexpr char kModuleSuffix[] = ".dylib";
#else
inline constexpr char kModuleDirectory[] = "_binLinux/";
inline constexpr char kModuleSuffix[] = ".so";
#endif
inline constexpr size_t kModulePathCapacity = PATH_MAX;

// The folder above this module's directory, as an absolute path ending in '/'; empty when the
// loader could not tell where this module lies (then no sibling is loaded).
const char* ModuleBaseDirectory();

// The creator of the class, or null when the module or the class is not available or the name
// does not fit the path.
PXMCreatorFunction MODULECreateFunction(tagREFString moduleName, tagREFString className);

// The path of a sibling module; false when the name does not fit or cannot be converted, or when
// this module's own place is unknown.
bool BuildModulePath(tagREFString moduleName, char (&path)[kModulePathCapacity]);
