// Loads a sibling module from the module directory and hands out one of its class creators.
#pragma once
#include "pxm/Types.h"

// The module directory, relative to the current directory, and the library suffix.
#ifdef __APPLE__
inline constexpr char kModuleDirectory[] = "./_binMAC/";
inline constexpr char kModuleSuffix[] = ".dylib";
#else
inline constexpr char kModuleDirectory[] = "./_binLinux/";
inline constexpr char kModuleSuffix[] = ".so";
#endif

// The creator of the class, or null when the module or the class is not available or the name
// does not fit the path.
PXMCreatorFunction MODULECreateFunction(tagREFString moduleName, tagREFString className);

// The path of a sibling module; false when the name does not fit or cannot be converted.
bool BuildModulePath(tagREFString moduleName, char (&path)[256]);
