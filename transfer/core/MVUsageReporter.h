#pragma once

#include "transfer/core/MVReachability.h"
#include "transfer/core/MVServiceHosts.h"

#include "platform/UserDefaults.h"

#include <chrono>
#include <functional>
#include <string>

// The start-up half of usage counting: each start adds a "Startup" record to the pending usage
// list ("User Usage", kept by MVCallWebservice); when a list was already waiting and the network
// is reachable, the whole list is sent as one JSON array (pretty-printed) in a POST to
// host + "/api/UpdateCheck" ("Content-Type: application/json; charset=utf-8"). On status 200 the
// records that were sent (by "ID") leave the list; records stored meanwhile stay. Any failure
// keeps every record for a later start. The very first start only stores its record. The list
// keeps the newest MVCallWebservice::kMaxPendingUsageRecords (so a list that is never sent stops
// growing), and with usage recording off a start stores and sends nothing.
//
// Every read-append-store of the list holds MVCallWebservice::pendingUsageMutex(). Only https
// hosts are used (plain http to 127.0.0.1 only with the test switch).
class MVUsageReporter {
  public:
    struct Config {
        std::string host = MVServiceHosts::kUsageHost;
        bool allowLoopbackHttpForTests = false;
        std::chrono::milliseconds timeout{30000};
    };

    MVUsageReporter(Config config, platform::UserDefaults& defaults, MVReachability& reachability)
        : config_(std::move(config)), defaults_(defaults), reachability_(reachability) {}

    // Main thread at launch; returns at once. True when a request was started; `finished` then
    // runs on a worker once the reply has been handled (with whether the records were taken).
    bool sendUsageAtStartup(std::function<void(bool delivered)> finished = {});

  private:
    // The reply, on the transfer's worker; touches only the store (which lives for the process
    // in the program), so a reporter may go before its reply arrives.
    static void handleReply(platform::UserDefaults& defaults,
                            const std::vector<std::string>& sentIds, long status, bool failed,
                            const std::string& text);

    Config config_;
    platform::UserDefaults& defaults_;
    MVReachability& reachability_;
};
