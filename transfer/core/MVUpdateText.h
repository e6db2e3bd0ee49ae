#pragma once

#include "platform/URLLoader.h"

#include <optional>
#include <string>
#include <string_view>

// The small text rules of the update check: addresses and catalogues (versions are compared
// with MVCircuitDatabase::compareVersions). Pure functions,
// safe from any thread.
namespace MVUpdateText {

// A catalogue's two root attributes.
struct Catalogue {
    std::string latestVersion;  // "LatestVersion"
    std::string downloadUrl;    // "DownloadUrl", a path below the host's "/Updates/", "\" separated
};

// Percent-encodes with the RFC 3986 query set: letters, digits and - . _ ~ ! $ & ' ( ) * + , ; =
// : @ / ? stay; every other byte becomes "%" and two upper-case hexadecimal digits.
std::string percentEncode(std::string_view text);

// Whether an update or usage request may go to `url`: https anywhere; a local file only where
// `allowFile` (the user's own catalogue address); plain http only to 127.0.0.1 and only where
// `allowLoopbackHttp` (a switch for tests that the program never sets).
bool isPermittedURL(std::string_view url, bool allowFile, bool allowLoopbackHttp);

// The two attributes of a catalogue document's root element; none when the text is not XML or
// either attribute is missing.
std::optional<Catalogue> parseCatalogue(std::string_view document);

// Why a request got no answer, in a few words for the update sheet: "host not found", "no
// connection to the server", "no answer in time", "no secure connection", "redirected away from
// https", "redirected too many times", else the loader's own text.
std::string failureInWords(const platform::URLError& error);

// Leading and trailing blanks and line breaks removed.
std::string trimmed(std::string_view text);

}  // namespace MVUpdateText
