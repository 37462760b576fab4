// Stream files through the host module's data streams: the image's record written into a new
// stream and the stream written to a file, or a file read into a stream and the record loaded.
#pragma once
#include <string>

#include "Failure.h"
#include "ModuleSet.h"

// Both return false with what failed, and the module's or the host's result, in `failure`.
bool SaveStreamFile(const ModuleSet& modules, IUnknown* image, const std::string& path, Failure* failure);
bool LoadStreamFile(const ModuleSet& modules, const std::string& path, IUnknown* image, Failure* failure);
