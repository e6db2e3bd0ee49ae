#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <functional>
#include <string>

// Hands every archivable class of the core, with its factory, to `add`. Called once, when the
// archive registry is first used.
void zvtRegisterCoreArchivableClasses(
    const std::function<void(const std::string&, ZVTUtility::ObjectFactory)>& add);
