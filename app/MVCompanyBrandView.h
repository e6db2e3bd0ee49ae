#pragma once

#include "widgets/MVContainer.h"

#include "platform/Dispatch.h"
#include "platform/RecentDocuments.h"

#include <QImage>
#include <QWidget>

#include <chrono>
#include <string>
#include <vector>

class MVTextFieldForSectors;
class QLabel;
class QPushButton;

// What the main window shows while no session is open: the Gridlark logo in the middle and, in
// the lower left corner, buttons for the session files opened most recently.
//
// Up to kMaximumButtons buttons of kButtonWidth x kButtonHeight are stacked from the bottom edge
// up, the most recent file lowest; a "Recent Files" header sits on top of the stack. With no
// recent files there is only the logo. Long file names are shortened in the middle.
//
// A press reads the recent list again and posts "MVNotificationRecentFileSelected" on the default
// notification centre, object this view, user info "recent": the file's std::filesystem::path.
// A press whose position is no longer in the list (the list shrank meanwhile) posts nothing.
//
// Whenever a window of the application gains focus the view empties at once and builds itself
// again kRebuildDelay later (platform clock, main queue), so the list is current when the user
// comes back to the program. Several focus changes within the delay give one build.
//
// Main thread only.
class MVCompanyBrandView : public MVContainer {
    Q_OBJECT
  public:
    static constexpr int kMaximumButtons = 5;
    static constexpr int kButtonWidth = 200;
    static constexpr int kButtonHeight = 40;
    static constexpr std::chrono::milliseconds kRebuildDelay{500};
    // The focus events, as written to the log.
    static constexpr const char* kWindowDidBecomeKey = "WindowDidBecomeKey";
    static constexpr const char* kWindowDidResignKey = "WindowDidResignKey";

    // `recents` must outlive the view.
    explicit MVCompanyBrandView(QWidget* parent = nullptr, platform::RecentDocuments& recents =
                                                               platform::RecentDocuments::shared());
    ~MVCompanyBrandView() override;

    // Removes every subview and builds them at once from the current list; cancels a pending
    // delayed build.
    void rebuild();
    // Reacts to a focus event (one of the names above): writes its name to stderr; on
    // kWindowDidBecomeKey empties the view and schedules the delayed build.
    void MVNotification(const std::string& name);
    // What a press on the button at `tag` (0 = most recent) does.
    void buttonPressed(int tag);

    // The logo image "morvaneLogo", drawn at twice its logical size for sharp output.
    static QImage morvaneLogo();

    // For tests:
    // The subviews as built now: the logo (nullptr while the view is empty), the buttons in
    // list order, and the header (nullptr without buttons).
    QLabel* logoView() const { return logoView_; }
    const std::vector<QPushButton*>& recentFileButtons() const { return buttons_; }
    MVTextFieldForSectors* headerField() const { return header_; }
    bool isRebuildPending() const { return rebuildPending_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void initSubViews();
    void removeSubviews();
    void layoutSubViews();
    QPushButton* makeButton(int tag, const std::filesystem::path& file);

    platform::RecentDocuments& recents_;
    platform::Timer rebuildTimer_;
    bool rebuildPending_ = false;
    QLabel* logoView_ = nullptr;
    std::vector<QPushButton*> buttons_;
    MVTextFieldForSectors* header_ = nullptr;
};
