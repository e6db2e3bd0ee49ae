#include "session/MVXMLParser.h"

#include "session/MVStepTimer.h"

#include "platform/Folders.h"

#include <GeographicLib/Geodesic.hpp>
#include <pugixml.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

struct MVXMLParser::Element {
    pugi::xml_node node;
};

namespace {

constexpr double kMinutesPerDegree = 60.0;

void systemLog(const std::string& line) {
    if (!MVStepTimer::linesEnabled()) return;
    std::fprintf(stderr, "%s\n", line.c_str());
}

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The longest decimal number at the start of `text` after leading blanks, as text without a
// leading '+' ("" when there is none): digits, an optional fraction and an optional exponent.
std::string numericPrefix(const char* text) {
    const char* p = text;
    while (*p != '\0' && isBlank(*p)) ++p;
    std::string number;
    if (*p == '+' || *p == '-') {
        if (*p == '-') number += '-';
        ++p;
    }
    bool digits = false;
    while (isDigit(*p)) number += *p++, digits = true;
    if (*p == '.') {
        number += *p++;
        while (isDigit(*p)) number += *p++, digits = true;
    }
    if (!digits) return {};
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (isDigit(*q)) {
            number.append(p, q);
            while (isDigit(*q)) number += *q++;
        }
    }
    return number;
}

// What a number too large or too small for T reads as: infinity for a positive exponent (or
// none), else zero, with the number's sign.
template <typename T>
T outOfRange(const std::string& number) {
    const bool negative = !number.empty() && number.front() == '-';
    const auto e = number.find_first_of("eE");
    const bool tiny = e != std::string::npos && number[e + 1] == '-';
    const T magnitude = tiny ? T(0) : std::numeric_limits<T>::infinity();
    return negative ? -magnitude : magnitude;
}

// The number at the start of an attribute value, 0 when there is none (also for a missing
// attribute), read in the precision of T.
template <typename T>
T leadingNumber(const char* text) {
    const std::string number = numericPrefix(text);
    if (number.empty()) return T(0);
    T value{};
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) return outOfRange<T>(number);
    return result.ec == std::errc() ? value : T(0);
}

double doubleValue(const pugi::xml_node& node, const char* name) {
    return leadingNumber<double>(node.attribute(name).value());
}

// True for a value starting (after blanks, a sign and leading zeros) with Y, y, T, t or 1 to 9.
bool boolValue(const char* text) {
    const char* p = text;
    while (*p != '\0' && isBlank(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    while (*p == '0') ++p;
    return *p != '\0' && std::strchr("YyTt123456789", *p) != nullptr;
}

// "longitude,latitude" in minutes of arc; nullopt unless both fields are there.
std::optional<std::pair<double, double>> corner(const char* text) {
    const char* comma = std::strchr(text, ',');
    if (comma == nullptr) return std::nullopt;
    const std::string longitude(text, comma);
    const char* latitude = comma + 1;
    const char* next = std::strchr(latitude, ',');
    const std::string latitudeField = next ? std::string(latitude, next) : std::string(latitude);
    return std::make_pair(leadingNumber<double>(longitude.c_str()),
                          leadingNumber<double>(latitudeField.c_str()));
}

bool startTagCutShort(pugi::xml_parse_status status) {
    return status == pugi::status_bad_start_element || status == pugi::status_bad_attribute;
}

}  // namespace

MVXMLParser::MVXMLParser(std::filesystem::path shippedDatabase)
    : shippedDatabase_(std::move(shippedDatabase)) {}

void MVXMLParser::parseXMLTrack(const MVLocation& location) {
    // The copy in use is judged and read in one go, so an update swapping the folder meanwhile
    // cannot hand the parser another file than the one whose version won.
    const auto inUse = MVCircuitDatabase::databaseInUse(shippedDatabase_);
    const auto& path = inUse.path;
    if (inUse.downloaded) {
        systemLog("using start finish database xml from app support url " + path.string());
    }
    const auto& bytes = inUse.text;
    if (!bytes) {
        tracks_.reset();
        systemLog("Somthign error happened! cannot read " + path.string());
        return;
    }
    if (!parseXMLTrackWithData(location, *bytes)) {
        systemLog("Somthign error happened! " + lastError_ + " in " + path.string());
    }
}

bool MVXMLParser::parseXMLTrackWithData(const MVLocation& location, std::string_view xml) {
    expectedLatitude_ = location.latitude();
    expectedLongitude_ = location.longitude();
    currentName_.clear();
    currentLength_ = 0.0;
    isCombo_ = false;
    isWithinArea_ = false;
    tracks_.emplace();
    firstRecordOfCircuit_ = 0;

    pugi::xml_document document;
    const auto result = document.load_buffer(xml.data(), xml.size());

    // Walk the elements in document order, one behind, so that the last one can be left out
    // when the parser stopped inside its start tag (its attributes may be cut short).
    pugi::xml_node pending;
    pugi::xml_node node = document.first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            if (pending) handle(Element{pending});
            pending = node;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    if (pending && (result || !startTagCutShort(result.status))) handle(Element{pending});

    if (!result) {
        lastError_ =
            std::string(result.description()) + " at offset " + std::to_string(result.offset);
        return false;
    }
    lastError_.clear();
    if (auto delegate = delegate_.lock()) delegate->availableTrackNames(*tracks_);
    return true;
}

void MVXMLParser::handle(const Element& element) {
    const std::string_view name = element.node.name();
    if (name == "circuit") {
        startCircuit(element);
    } else if (name == "startFinish") {
        if (isCombo_ || !isWithinArea_) return;
        auto record = MVTrackInfo::instance();
        record->setTrackName(currentName_);
        record->setLength(currentLength_);
        record->setSfLocations(gateOf(element));
        tracks_->push_back(std::move(record));
    } else if (name == "Finish") {
        if (isCombo_ || !isWithinArea_) return;
        // Only a record of this same circuit takes the finish gate.
        if (tracks_->size() <= firstRecordOfCircuit_) return;
        tracks_->back()->setSfLocations2(gateOf(element));
    }
}

void MVXMLParser::startCircuit(const Element& element) {
    const auto& node = element.node;
    isCombo_ = boolValue(node.attribute("combo").value());
    currentName_ = node.attribute("name").value();
    currentLength_ = static_cast<double>(leadingNumber<float>(node.attribute("length").value()));
    isWithinArea_ = false;
    firstRecordOfCircuit_ = tracks_->size();
    if (isCombo_) return;

    // An area without both corners cannot be placed: the circuit is not a candidate.
    const auto min = corner(node.attribute("min").value());
    const auto max = corner(node.attribute("max").value());
    if (!min || !max) return;
    const double latitude = (min->second + max->second) / 2 / kMinutesPerDegree;
    const double longitude = (min->first + max->first) / 2 / kMinutesPerDegree;
    double metres = std::numeric_limits<double>::quiet_NaN();
    GeographicLib::Geodesic::WGS84().Inverse(latitude, longitude, expectedLatitude_,
                                             expectedLongitude_, metres);
    isWithinArea_ = metres < kCandidateRadiusMetres;
}

MVPreviousNextLocationPtr MVXMLParser::gateOf(const Element& element) const {
    const auto& node = element.node;
    auto previous = MVLocation::instance();
    previous->setLatitude(doubleValue(node, "oldlat") / kMinutesPerDegree);
    previous->setLongitude(doubleValue(node, "oldlong") / kMinutesPerDegree);
    auto next = MVLocation::instance();
    next->setLatitude(doubleValue(node, "lat") / kMinutesPerDegree);
    next->setLongitude(doubleValue(node, "long") / kMinutesPerDegree);
    auto gate = MVPreviousNextLocation::instance();
    gate->setPreviousLocation(std::move(previous));
    gate->setNextLocation(std::move(next));
    return gate;
}
