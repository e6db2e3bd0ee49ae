#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTURLComponents.h"

#include <cctype>
#include <cstring>

namespace {

bool isUnreservedOrReserved(unsigned char c) {
    return std::isalnum(c) || std::strchr("-._~:/?#[]@!$&'()*+,;=", c) != nullptr;
}

bool isQueryCharacter(unsigned char c) {
    return std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@/?", c) != nullptr;
}

bool allCharactersAllowed(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                return false;
            }
            i += 2;
        } else if (c == 0 || !isUnreservedOrReserved(c)) {
            return false;
        }
    }
    return true;
}

bool validScheme(const std::string& scheme) {
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return false;
    for (unsigned char c : scheme) {
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool validPort(const std::string& port) {
    if (port.empty() || port.size() > 5) return false;
    for (unsigned char c : port) {
        if (!std::isdigit(c)) return false;
    }
    return std::stoul(port) <= 65535;
}

// Splits "user:password@host:port" into the parts; false when it is malformed.
bool parseAuthority(const std::string& authority, ZVTURLComponents& out) {
    std::string hostPort = authority;
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        const size_t colon = userInfo.find(':');
        out.user = userInfo.substr(0, colon);
        if (colon != std::string::npos) out.password = userInfo.substr(colon + 1);
    }
    size_t portMark = std::string::npos;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos) return false;
        out.host = hostPort.substr(0, close + 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != ':') return false;
            portMark = close + 1;
        }
    } else {
        portMark = hostPort.find(':');
        out.host = hostPort.substr(0, portMark);
        if (out.host.find_first_of("[]") != std::string::npos) return false;
    }
    if (portMark != std::string::npos) {
        out.port = hostPort.substr(portMark + 1);
        if (!validPort(*out.port)) return false;
    }
    return !out.host.empty();
}

}  // namespace

std::optional<ZVTURLComponents> ZVTURLComponents::parse(const std::string& text) {
    if (!allCharactersAllowed(text)) return std::nullopt;
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.compare(colon, 3, "://") != 0) return std::nullopt;
    ZVTURLComponents out;
    out.scheme = text.substr(0, colon);
    if (!validScheme(out.scheme)) return std::nullopt;
    const size_t authorityStart = colon + 3;
    const size_t authorityEnd = text.find_first_of("/?#", authorityStart);
    if (!parseAuthority(text.substr(authorityStart, authorityEnd - authorityStart), out)) {
        return std::nullopt;
    }
    if (authorityEnd == std::string::npos) return out;
    std::string rest = text.substr(authorityEnd);
    const size_t hash = rest.find('#');
    if (hash != std::string::npos) {
        out.fragment = rest.substr(hash + 1);
        rest.resize(hash);
    }
    const size_t question = rest.find('?');
    if (question != std::string::npos) {
        out.query = rest.substr(question + 1);
        rest.resize(question);
    }
    out.path = rest;
    return out;
}

std::optional<std::string> ZVTURLComponents::string() const {
    if (!validScheme(scheme) || host.empty()) return std::nullopt;
    if (!path.empty() && path[0] != '/') return std::nullopt;
    std::string text = scheme + "://";
    if (user) {
        text += *user;
        if (password) text += ":" + *password;
        text += "@";
    }
    text += host;
    if (port) text += ":" + *port;
    text += path;
    if (query) text += "?" + *query;
    if (fragment) text += "#" + *fragment;
    return text;
}

std::string ZVTURLComponents::percentEncodeQuery(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isQueryCharacter(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}
