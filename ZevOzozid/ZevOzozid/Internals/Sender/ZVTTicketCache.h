#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

// The process-wide store of authentication tickets (ticket key to ticket) that the
// common-schema collector's "Tickets" header draws on. Safe from any thread: the analytics
// authentication provider writes it while the send path reads it.
class ZVTTicketCache {
  public:
    static ZVTTicketCache& sharedInstance();

    std::optional<std::string> ticketFor(const std::string& key) const;
    // No ticket removes the key.
    void setTicket(const std::optional<std::string>& ticket, const std::string& key);
    void clearCache();

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> tickets_;
};
