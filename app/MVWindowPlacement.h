#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QMainWindow;

namespace platform {
class UserDefaults;
}

// Where the main window lies on the screen. A first start sizes it within the available area of
// the screen it opens on; at quit its normal (not maximised) frame and whether it is maximised are
// kept in the user defaults, and the next start puts them back, inside the screen's available area
// when the screen got smaller or is gone. The window never gets smaller than the size at which
// the tool-button bar, the status bar and every pane's tool bar of the default layout fit.
// Main thread only.
namespace MVWindowPlacement {

// User-defaults keys: the normal frame of the window's content on the desktop, a map of integers
// "x", "y", "width" and "height"; and a bool, true when the window was maximised at quit.
const char* frameKey();
const char* maximizedKey();

// What a first start asks for when the screen has room for it.
inline constexpr QSize kPreferredSize{1280, 800};
// Room kept around the content for a window manager's frame and title bar.
inline constexpr QMargins kFrameAllowance{8, 32, 8, 8};
// The least height of each half of the default layout: a pane's tool bar and a working area under
// it (five rows of a lap table with its title row and its best and ideal rows).
inline constexpr int kLeastPaneHeight = 200;

// The first start's frame: kPreferredSize cut to the available area less the frame allowance,
// never below `minimum`, centred in that area.
QRect firstPlacement(const QRect& available, const QSize& minimum);
// A saved frame as it is put back: unchanged when it lies inside the available area; otherwise cut
// to the area less the frame allowance (never below `minimum`) and moved the least way into it.
QRect fitInside(const QRect& frame, const QRect& available, const QSize& minimum);

// The least size of the main window (its menu bar included) at which the tool-button bar, the
// status bar and, in the default layout (the left panel a third of the width, halves elsewhere),
// the track, video and chart tool bars show every control.
QSize minimumSize(const QMainWindow& window);

// Keeps the window's normal frame and maximised state.
void save(const QMainWindow& window, platform::UserDefaults& defaults);
// Places the window, not yet shown, where the last run left it (or as on a first start) on the
// screen it lay on, else on the screen it opens on; answers true when it is to be shown maximised.
bool restore(QMainWindow& window, const platform::UserDefaults& defaults);

}  // namespace MVWindowPlacement
