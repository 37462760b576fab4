// Everything a host needs to use the module.
#pragma once
#include "pxm/HostInterfaces.h"
#include "pxm/IID.h"
#include "pxm/ImageInterfaces.h"
#include "pxm/Module.h"
#include "pxm/Result.h"
#include "pxm/Types.h"
