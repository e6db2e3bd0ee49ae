#pragma once

#include <string>

// The analytics service's log tag, group id and its settings key of the enabled state.
inline const std::string kZVTZerevuzizLogTag = "ZevOzozidZerevuziz";
inline const std::string kZVTZerevuzizGroupId = "Zerevuziz";
inline const std::string kZVTZerevuzizIsEnabledKey = "ZerevuzizIsEnabled";
