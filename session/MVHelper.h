#pragma once

// Everything of the MVHelper namespace.
#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVHelperMotion.h"
