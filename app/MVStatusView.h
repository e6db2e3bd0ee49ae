#pragma once

#include "platform/Dispatch.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>

class MVTextField;
class QProgressBar;

// The strip along the bottom of the main window: the program's version at the left, and while a
// session file loads a progress bar at the right with a one-line message beside it.
//
// It shows the loading codes of the session-file manager:
//   0      loading starts: the bar appears (500 px wide) at 0;
//   1..9   the bar moves to n tenths, with the step's text;
//   10     loading finished: the bar is hidden, the message stays (normally empty);
//   11..14 the bar is hidden and the message blinks (11 and 13 end the load without the file;
//          after 12, no circuit, loading goes on and its next code replaces the message).
// A blinking message changes colour 11 times at 0.5 s steps, light red first, and disappears on the
// 12th step, 6 s after it was set. Any new code stops a running blink at once. Codes outside
// 0..14 change nothing.
//
// Main thread only. The blink runs on the platform clock through the main queue.
class MVStatusView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kIndicatorMaximum = 10;
    static constexpr int kIndicatorShownWidth = 500;
    static constexpr int kBlinkTicks = 11;

    explicit MVStatusView(QWidget* parent = nullptr);
    ~MVStatusView() override;

    // Shows a loading code; `text`, when given, replaces the code's own text.
    void updateProgress(int code, std::optional<QString> text = std::nullopt);
    // Ends any load shown and shows `text` as a blinking failure.
    void showFailure(const QString& text);
    // Tells the view that the manager's load call returned. A load that sent neither its
    // completion (10) nor a failure code could not read its file: that is shown as a failure,
    // never left as a bar standing still.
    void loadDidEnd();

    // The text of a code, or nothing for codes outside 0..14.
    static std::optional<QString> textForCode(int code);
    // Failure texts for a file that cannot be reached and one that cannot be read.
    static QString unreachableFileText();
    static QString unreadableFileText();

    QString message() const;

    // For tests:
    QColor messageColor() const;
    QString versionText() const;
    bool isIndicatorShown() const { return indicatorWidth_ > 0; }
    int indicatorWidth() const { return indicatorWidth_; }
    int indicatorValue() const;
    bool isBlinking() const { return timer_.isActive(); }
    // True from a load's first code until its completion or failure.
    bool isLoading() const { return loading_; }

  private:
    void initProgressBarAndLabel();
    void initVersionLabel();
    void resetTimerAndLabel();
    void changeLabelColor();
    void startBlinking();
    void setIndicatorWidth(int width);
    void setMessage(const QString& text, const QColor& color);

    QProgressBar* indicator_ = nullptr;
    MVTextField* textField_ = nullptr;
    MVTextField* versionTextField_ = nullptr;
    int indicatorWidth_ = 0;
    platform::Timer timer_;
    int64_t count_ = 0;
    bool loading_ = false;
};
