#pragma once

#include <QString>

#include <mutex>
#include <string>
#include <vector>

class QLabel;
class QWidget;

// What the track-map, chart and video panes have in common until their own views are built: each
// keeps the data it is handed, records the name of every operation it receives (oldest first) and
// shows a one-line summary of its content in the middle of its pane.
//
// Data setters and calls() are safe from any thread (the main window hands data over from its
// recompute queue); pane operations are main thread only.
class MVPaneRecorder {
  public:
    virtual ~MVPaneRecorder() = default;

    std::vector<std::string> calls() const;
    // Whether `call` is among the operations received.
    bool received(const std::string& call) const;
    void clearCalls();
    // The summary line shown in the pane (empty while the pane is empty).
    QString summary() const;

  protected:
    void record(std::string call) const;
    // The pane the summary is shown in; not owned.
    void setPane(QWidget* pane);
    QWidget* pane() const { return pane_; }
    // Main thread only.
    void showSummary(const QString& text);

  private:
    mutable std::mutex mutex_;
    mutable std::vector<std::string> calls_;
    QWidget* pane_ = nullptr;
    QLabel* label_ = nullptr;
};
