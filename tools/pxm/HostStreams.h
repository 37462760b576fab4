// Stream files through the host module's data streams: the image's record written into a new
// stream and the stream written to a file, or a file read into a stream and the record loaded.
#pragma once
#include <string>

#include "ModuleSet.h"

// Both return the module's or the host's result; `error` says what failed.
HRESULT SaveStreamFile(const ModuleSet& modules, IUnknown* image, const std::string& path, std::string* error);
HRESULT LoadStreamFile(const ModuleSet& modules, const std::string& path, IUnknown* image, std::string* error);
