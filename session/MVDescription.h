#pragma once

#include <string>
#include <vector>

// Text forms used by the logging descriptions of the session types.
namespace MVDescription {

// Shortest decimal that reads back to exactly the same double, always with a fraction or an
// exponent: 12.5 -> "12.5", 0.0 -> "0.0", 90.0 -> "90.0", 1e20 -> "1e+20", "inf", "nan".
std::string shortestDouble(double value);

// "<ClassName: 0x...>": the default text of an object that has no description of its own.
std::string objectText(const char* className, const void* object);

// A list in bracketed list notation, one item a line: "(\n)" when empty, else
// "(\n    a,\n    b\n)"; items that are lists themselves are indented one level more.
std::string listText(const std::vector<std::string>& items, int level = 0);

}  // namespace MVDescription
