#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Syntax of the session data file (".gld"): section names, line and row rules, small parsers.
// A file is ASCII text with CR LF line ends, split at every CR and LF alike; empty elements of
// that split are skipped by every reader. Sections: "[header]" first (channel names, one a line,
// up to the next line containing "["), optional "[laptiming]" and "[avi]", "[column names]", and
// "[data]" last (one sample row a line). All functions are pure and safe from any thread.
namespace MVGLDFormat {

inline constexpr std::string_view kFileExtension = "gld";
inline constexpr std::string_view kHeaderSection = "[header]";
inline constexpr std::string_view kLaptimingSection = "[laptiming]";
inline constexpr std::string_view kAviSection = "[avi]";
inline constexpr std::string_view kAviSectionUpper = "[AVI]";
inline constexpr std::string_view kColumnNamesSection = "[column names]";
inline constexpr std::string_view kDataSection = "[data]";
// A line exactly this anywhere in the file marks a session of the Quarto logger.
inline constexpr std::string_view kQuartoLine = "Type : Quarto";
// First fields of the "[laptiming]" gate lines.
inline constexpr std::string_view kLaptimingStart = "Start";
inline constexpr std::string_view kLaptimingFinish = "Finish";
// Video extensions of the "[avi]" section; any other text there means "avi".
inline constexpr std::string_view kAviExtension = "avi";
inline constexpr std::string_view kMp4Extension = "mp4";
// The single video name linked for a session without an "[avi]" section.
inline constexpr std::string_view kNoVideoFileName = "nil.nil";
inline constexpr std::string_view kLineEnd = "\r\n";

// True when every byte is 7-bit; other files cannot be loaded.
bool isASCII(std::string_view text);

// Splits at every CR and every LF, keeping the empty elements ("a\r\nb" -> "a", "", "b"), so
// list indexes match those of every reader.
std::vector<std::string> splitLines(std::string_view text);

bool isQuartoLine(std::string_view line);
// "[avi]" or "[AVI]".
bool isAviSectionLine(std::string_view line);

// Sample rows: every "," becomes "." and every run of spaces becomes one space.
std::string normalizeSampleLine(std::string_view line);
// Leading and trailing spaces and tabs removed.
std::string_view trimSpacesAndTabs(std::string_view text);
// Split at every single space; "" gives one empty field.
std::vector<std::string> splitAtSpaces(std::string_view text);
// normalizeSampleLine, trimSpacesAndTabs and splitAtSpaces in one.
std::vector<std::string> sampleFields(std::string_view line);

// Reads a number the way sample fields are read: leading white space skipped, then the longest
// prefix of the form [+|-]digits[.digits][(e|E)[+|-]digits] taken; 0 when there is none.
// Locale-independent ('.' is the decimal point).
double doubleValue(std::string_view text);
// A field in single precision: the whole field read directly when it is one finite number,
// anything else as doubleValue rounded to a float.
float floatValue(std::string_view text);

// One "[laptiming]" line: its kind and the numbers it carries (minutes of arc, longitude west
// positive, in the order longitude, latitude of the first point, then of the second).
struct LaptimingLine {
    enum class Kind { Start, Finish, Other };
    Kind kind = Kind::Other;
    std::vector<double> numbers;
};
// Trims the line, splits it at single spaces and reads every field that is a whole decimal or
// scientific number (a leading "+" dropped); other fields, the word itself included, are ignored.
LaptimingLine parseLaptimingLine(std::string_view line);
// A whole field as a number ("+3060.5", "-1.2E3", ".5"), or nothing.
std::optional<double> laptimingNumber(std::string_view field);

// The extension line of "[avi]": the line itself when it reads "avi" or "mp4" in any case,
// else "avi" (also when the line is another section, such as "[column names]").
std::string aviExtension(std::string_view line);
// Video file of a sample: base name, the sample's video index text, ".", extension.
std::string videoFileName(std::string_view baseName, std::string_view videoIndex,
                          std::string_view extension);

}  // namespace MVGLDFormat
