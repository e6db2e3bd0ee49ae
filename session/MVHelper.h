#pragma once

// Everything of the MVHelper namespace.
#include "session/MVHelperKeys.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperMotion.h"
