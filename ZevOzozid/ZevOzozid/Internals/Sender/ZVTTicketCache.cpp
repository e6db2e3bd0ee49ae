#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTTicketCache.h"

ZVTTicketCache& ZVTTicketCache::sharedInstance() {
    static auto* cache = new ZVTTicketCache;
    return *cache;
}

std::optional<std::string> ZVTTicketCache::ticketFor(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = tickets_.find(key);
    if (it == tickets_.end()) return std::nullopt;
    return it->second;
}

void ZVTTicketCache::setTicket(const std::optional<std::string>& ticket, const std::string& key) {
    std::lock_guard lock(mutex_);
    if (ticket) {
        tickets_[key] = *ticket;
    } else {
        tickets_.erase(key);
    }
}

void ZVTTicketCache::clearCache() {
    std::lock_guard lock(mutex_);
    tickets_.clear();
}
