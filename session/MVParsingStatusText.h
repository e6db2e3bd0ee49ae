#pragma once

#include <cstdint>
#include <string>

// The message shown for each loading progress code (the status bar and the command-line tools
// show the same texts). Code 10 has no text of its own; unknown codes give "".
namespace MVParsingStatus {
const std::string& text(std::int32_t code);
}  // namespace MVParsingStatus
