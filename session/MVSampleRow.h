#pragma once

#include <string>
#include <vector>

// One sample row of a session: the fields of one "[data]" line, field k belonging to channel k
// of the session's channel list.
using MVSampleRow = std::vector<std::string>;
// All kept sample rows of a session, in file order.
using MVSampleRows = std::vector<MVSampleRow>;
