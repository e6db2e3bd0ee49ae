#pragma once

#include <optional>
#include <string>

// Automatic page views: once activated, every page the host shows (its "page will appear" hook,
// with the page's class name) becomes a page view named after the class, while automatic page
// tracking is on. A page seen while the analytics service is unavailable is held (the last one
// only) and tracked when the service becomes enabled.
//
// Threads: main thread only (pages appear there; the replay runs on the main queue).
//
// Kept as part of the SDK's public surface: the program shows no pages through the forwarder and
// never activates it, so nothing in the program calls it yet.
class ZVTZerevuzizCategory {
  public:
    // The callback the host routes through the application delegate forwarder when a page is
    // about to appear, with the page's class name (a std::string) as its one argument.
    static inline const std::string kPageWillAppearCallback = "pageWillAppear:";

    // Listens to the forwarder's "page will appear" callback, once per forwarder.
    static void activateCategory();

    // The hook body: reports the page, or holds its name while the service is unavailable.
    static void pageWillAppear(const std::string& className);
    // "App.SettingsViewController" gives "Settings"; "ViewController" stays; the three container
    // classes give none.
    static std::optional<std::string> pageNameForClassName(const std::string& className);

    static std::optional<std::string> missedPageViewName();

    // For tests:
    // Forgets the held name.
    static void resetMissedPageViewName();
};
