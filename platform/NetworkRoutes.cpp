#include "platform/NetworkRoutes.h"

#include "platform/Folders.h"

#include <sstream>
#include <string>

namespace platform {

namespace {

constexpr unsigned long kRouteUp = 0x0001;
constexpr unsigned long kRouteReject = 0x0200;

unsigned long hex(const std::string& text) {
    try {
        return std::stoul(text, nullptr, 16);
    } catch (...) {
        return 0;
    }
}

}  // namespace

// Iface Destination Gateway Flags ... (first line: the titles).
bool hasIPv4DefaultRoute(const std::string& table) {
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags;
        if (!(fields >> iface >> destination >> gateway >> flags)) continue;
        if (iface != "lo" && destination == "00000000" && (hex(flags) & kRouteUp)) return true;
    }
    return false;
}

// destination prefix source prefix next-hop metric refcount use flags iface.
bool hasIPv6DefaultRoute(const std::string& table) {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refs, use, flags,
            iface;
        if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >>
              refs >> use >> flags >> iface)) {
            continue;
        }
        const unsigned long f = hex(flags);
        if (iface != "lo" && prefix == "00" && destination == std::string(32, '0') &&
            (f & kRouteUp) && !(f & kRouteReject)) {
            return true;
        }
    }
    return false;
}

bool hasDefaultRoute(const std::string& ipv4Routes, const std::string& ipv6Routes) {
    if (const auto table = folders::readFile(ipv4Routes); table && hasIPv4DefaultRoute(*table)) {
        return true;
    }
    const auto table = folders::readFile(ipv6Routes);
    return table && hasIPv6DefaultRoute(*table);
}

}  // namespace platform
