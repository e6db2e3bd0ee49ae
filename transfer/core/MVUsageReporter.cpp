#include "transfer/core/MVUsageReporter.h"

#include "transfer/core/MVUpdateText.h"

#include "session/MVCallWebservice.h"

#include "platform/Dispatch.h"
#include "platform/URLLoader.h"

#include <algorithm>
#include <iostream>
#include <mutex>

namespace {

constexpr char kUserUsageKey[] = "User Usage";
constexpr char kUsagePath[] = "/api/UpdateCheck";

void say(const std::string& line) {
    std::cout << line << std::endl;
}

}  // namespace

bool MVUsageReporter::sendUsageAtStartup(std::function<void(bool)> finished) {
    if (!MVCallWebservice::isUsageRecordingEnabled()) return false;
    bool hadList = false;
    // The record is kept before anything is sent, so no failure can lose it.
    const platform::UserDefaults::Value list = MVCallWebservice::appendPendingUsage(
        defaults_, MVCallWebservice::makeUsageRecord("Startup"), &hadList);
    if (!hadList) return false;
    if (!reachability_.isConnectedToNetwork()) return false;
    const std::string url = config_.host + kUsagePath;
    if (!MVUpdateText::isPermittedURL(url, false, config_.allowLoopbackHttpForTests)) {
        say("Refused to send usage over an insecure address: " + url);
        return false;
    }
    std::vector<std::string> sentIds;
    for (const auto& entry : list) {
        if (entry.contains("ID") && entry["ID"].is_string()) sentIds.push_back(entry["ID"]);
    }
    platform::URLRequest request;
    request.url = url;
    request.method = "POST";
    request.headers["Content-Type"] = "application/json; charset=utf-8";
    request.body = list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    request.timeout = config_.timeout;
    request.redirectsHttpsOnly = true;
    say(request.body);
    platform::URLLoader::shared().sendAsync(
        std::move(request), platform::globalQueue(),
        [defaults = &defaults_, sentIds,
         finished = std::move(finished)](platform::URLResult result) {
            const bool delivered = !result.error && result.response.status == 200;
            handleReply(*defaults, sentIds, result.response.status, result.error.has_value(),
                        result.error ? result.error->message : result.response.body);
            if (finished) finished(delivered);
        });
    return true;
}

void MVUsageReporter::handleReply(platform::UserDefaults& defaults,
                                  const std::vector<std::string>& sentIds, long status, bool failed,
                                  const std::string& text) {
    if (failed) {
        say(text);
        return;
    }
    if (status != 200) {
        say("status code is not 200");
        return;
    }
    say("200 which means it is OK " + text);
    std::lock_guard lock(MVCallWebservice::pendingUsageMutex());
    const auto pending = MVCallWebservice::pendingUsageList(defaults);
    if (!pending) return;
    platform::UserDefaults::Value kept = platform::UserDefaults::Value::array();
    for (const auto& entry : *pending) {
        const bool sent = entry.contains("ID") && entry["ID"].is_string() &&
                          std::find(sentIds.begin(), sentIds.end(),
                                    entry["ID"].get<std::string>()) != sentIds.end();
        if (!sent) kept.push_back(entry);
    }
    if (kept.empty())
        defaults.removeObjectForKey(kUserUsageKey);
    else
        defaults.setObject(kUserUsageKey, kept);
}
