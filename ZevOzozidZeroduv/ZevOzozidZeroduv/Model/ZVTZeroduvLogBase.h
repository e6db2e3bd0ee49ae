#pragma once

// The base of the error logs: the core's log with properties.
#include "Model/ZVTLogWithProperties.h"
