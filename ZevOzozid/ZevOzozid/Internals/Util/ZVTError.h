#pragma once

#include <string>

// The SDK's own error domain.
// A plain constant: queue threads may still build errors while the process exits.
inline constexpr const char* kZVTErrorDomain = "dev.gridlark.zevozozid.ErrorDomain";

// An error that crosses an SDK interface: domain, code and the text shown to people.
struct ZVTError {
    std::string domain = kZVTErrorDomain;
    long code = 0;
    std::string localizedDescription;
};

inline constexpr long ZVTLogInvalidContainerErrorCode = 1;
inline constexpr long ZVTCanceledErrorCode = 2;
inline constexpr long ZVTDisabledErrorCode = 3;
inline constexpr long ZVTConnectionPausedErrorCode = 100;
