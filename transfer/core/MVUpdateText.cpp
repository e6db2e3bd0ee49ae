#include "transfer/core/MVUpdateText.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>

namespace MVUpdateText {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<pugi::xml_node> rootOf(pugi::xml_document& document, std::string_view text) {
    const pugi::xml_parse_result parsed =
        document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) return std::nullopt;
    pugi::xml_node root = document.document_element();
    if (!root) return std::nullopt;
    return root;
}

}  // namespace

std::string percentEncode(std::string_view text) {
    static constexpr std::string_view kKept = "-._~!$&'()*+,;=:@/?";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80) {
            out += c;
        } else if (kKept.find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

bool isPermittedURL(std::string_view url, bool allowFile, bool allowLoopbackHttp) {
    const std::string lowered = lower(url.substr(0, std::min<std::size_t>(url.size(), 24)));
    if (lowered.rfind("https://", 0) == 0) return url.size() > 8;
    if (allowFile && lowered.rfind("file:", 0) == 0) return true;
    if (allowLoopbackHttp) {
        for (std::string_view prefix : {"http://127.0.0.1:", "http://127.0.0.1/"}) {
            if (lowered.rfind(prefix, 0) == 0) return true;
        }
    }
    return false;
}

std::optional<Catalogue> parseCatalogue(std::string_view text) {
    pugi::xml_document document;
    const auto root = rootOf(document, text);
    if (!root) return std::nullopt;
    const pugi::xml_attribute version = root->attribute("LatestVersion");
    const pugi::xml_attribute url = root->attribute("DownloadUrl");
    if (!version || !url) return std::nullopt;
    return Catalogue{version.value(), url.value()};
}

std::string trimmed(std::string_view text) {
    static constexpr std::string_view kBlank = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlank);
    return std::string(text.substr(first, last - first + 1));
}

std::string failureInWords(const platform::URLError& error) {
    switch (error.redirectRefused) {
        case platform::URLRedirectRefusal::Protocol:
            return "redirected away from https";
        case platform::URLRedirectRefusal::TooMany:
            return "redirected too many times";
        case platform::URLRedirectRefusal::None:
            break;
    }
    if (error.hostNotFound) return "host not found";
    if (error.timedOut) return "no answer in time";
    switch (error.kind) {
        case platform::URLErrorKind::NoNetwork:
            return "no connection to the server";
        case platform::URLErrorKind::TLS:
            return "no secure connection";
        case platform::URLErrorKind::Other:
            break;
    }
    return error.message.empty() ? std::string("the request failed") : error.message;
}

}  // namespace MVUpdateText
