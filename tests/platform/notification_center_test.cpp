#include "platform/NotificationCenter.h"
#include "platform/Observable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using platform::Notification;
using platform::NotificationCenter;
using platform::ObserverToken;

TEST(NotificationCenter, DeliversInOrderWithFiltersAndUserInfo) {
    NotificationCenter center;
    std::vector<std::string> calls;
    int sender = 0;
    int other = 0;
    auto a = center.addObserver("Tick", nullptr, [&](const Notification& n) {
        calls.push_back("a:" + std::to_string(*n.value<int>("count")));
    });
    auto b =
        center.addObserver("Tick", &sender, [&](const Notification&) { calls.push_back("b"); });
    auto all = center.addObserver("", nullptr,
                                  [&](const Notification& n) { calls.push_back("all:" + n.name); });
    center.post("Tick", &sender, {{"count", 1}});
    center.post("Tick", &other, {{"count", 2}});
    center.post("Tock");
    EXPECT_EQ(calls,
              (std::vector<std::string>{"a:1", "b", "all:Tick", "a:2", "all:Tick", "all:Tock"}));
}

TEST(NotificationCenter, ObserversMayRemoveThemselvesAndOthersDuringAPost) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObserverToken second;
    ObserverToken first = center.addObserver("N", nullptr, [&](const Notification&) {
        calls.push_back("first");
        first.reset();   // itself
        second.reset();  // one not yet reached in this post
    });
    second =
        center.addObserver("N", nullptr, [&](const Notification&) { calls.push_back("second"); });
    ObserverToken added;
    auto third = center.addObserver("N", nullptr, [&](const Notification&) {
        calls.push_back("third");
        if (!added) {
            added = center.addObserver("N", nullptr,
                                       [&](const Notification&) { calls.push_back("added"); });
        }
    });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "third", "third", "added"}));
}

TEST(NotificationCenter, TokenOutlivingTheCenterIsHarmless) {
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("N", nullptr, [](const Notification&) {});
    }
    token.reset();
    SUCCEED();
}

TEST(Observable, NotifiesOnEverySetButNotOnSilentSets) {
    platform::Observable<int> value(1);
    std::vector<std::pair<int, int>> seen;
    auto token = value.observe([&](const int& o, const int& n) { seen.emplace_back(o, n); });
    value.set(2);
    value.set(2);  // same value: still a change notice
    value.setWithoutNotifying(5);
    EXPECT_EQ(value.get(), 5);
    value.set(6);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}, {5, 6}}));
    token.reset();
    value.set(7);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(Observable, ObserverMayUnobserveAnotherDuringNotification) {
    platform::Observable<std::string> value;
    int laterCalls = 0;
    ObserverToken later;
    auto first = value.observe([&](const std::string&, const std::string&) { later.reset(); });
    later = value.observe([&](const std::string&, const std::string&) { ++laterCalls; });
    value.set("x");
    EXPECT_EQ(laterCalls, 0);
}

}  // namespace
