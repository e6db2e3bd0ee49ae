#pragma once

// The maker's servers. Requests go over HTTPS only; the hosts are fixed when the program is built.
namespace MVServiceHosts {

// Update catalogues, installer packages and circuit-database archives ("/Updates/...").
inline constexpr char kUpdateHost[] = "https://updates.gridlark.invalid";
// The usage web service ("/api/UpdateCheck").
inline constexpr char kUsageHost[] = "https://usage.gridlark.invalid";

}  // namespace MVServiceHosts
