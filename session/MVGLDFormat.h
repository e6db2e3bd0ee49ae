#pragma once

#include <string_view>

// Syntax of the session data file (".gld"): section names, line and row rules, small parsers.
namespace MVGLDFormat {

// Reads a number the way sample fields are read: leading white space skipped, then the longest
// prefix of the form [+|-]digits[.digits][(e|E)[+|-]digits] taken; 0 when there is none.
// Locale-independent ('.' is the decimal point).
double doubleValue(std::string_view text);

}  // namespace MVGLDFormat
