#pragma once

#include "platform/ObserverToken.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MVGlobalData;
class MVInfoTableView;

// The channel chooser, a pop-up beside the chart tool bar's channel button: every channel of the
// loaded sessions in one list, the charted ones highlighted; a click puts a channel in or takes
// it out of the chart, at most 6 at a time (a seventh is refused with an alert), never the last
// one. Each change is written to the selection's selected keys (the main window rebuilds the
// charts from them). Clicks are ignored while the chart area shows its progress overlay.
// Main thread only.
class MVPopOverInfoViewController : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::size_t kMaxChannels = 6;
    // Tells the user that no more channels can be charted.
    using Alert = std::function<void(QWidget* parent, const QString& text)>;

    explicit MVPopOverInfoViewController(MVGlobalData& global, QWidget* parent = nullptr);

    void setArrayOfHeaders(std::vector<std::vector<std::string>> headers) {
        arrayOfHeaders_ = std::move(headers);
    }
    void setArrayOfSelectedKeys(std::vector<std::string> keys) {
        arrayOfSelectedKeys_ = std::move(keys);
    }
    // The chart area: a progress overlay on it makes the chooser ignore clicks.
    void setChartView(QWidget* chartView) { chartView_ = chartView; }
    void setAlert(Alert alert) { alert_ = std::move(alert); }

    // Builds the list from the channel lists and the selected keys, and sizes the pop-up:
    // 250 wide, rows x 20 + 50 high, but never taller than the available height of its screen
    // (the list then scrolls).
    void awakeFromNib();
    // Shows the pop-up at the widget's left side, kept on the widget's screen and no taller
    // than it.
    void showRelativeTo(QWidget* anchor);
    // rows x 20 + 50, capped at `available` (when it is positive).
    static int heightForRows(std::size_t rows, int available);

    const std::vector<std::string>& arrayOfSortedHeaders() const { return arrayOfSortedHeaders_; }
    const std::vector<std::string>& arrayOfSelectedKeys() const { return arrayOfSelectedKeys_; }
    MVInfoTableView* infoTableView() const { return infoTableView_; }
    void showMaxChannelSelectedAlert();

    // The list as shown: the seven standard keys, then every other key of the sessions once, in
    // session order, without time, video and "timestamp usec" columns. "lat acc" and
    // "combined g" are left out when no session has a "heading" channel to work them out from.
    static std::vector<std::string> sortOriginalArrayOfHeaders(
        const std::vector<std::vector<std::string>>& headers);

    // What a click on `key` does to the selection: the new list, or nothing when it stays;
    // `refused` is set when a seventh channel was asked for.
    struct Toggle {
        std::optional<std::vector<std::string>> keys;
        bool refused = false;
    };
    static Toggle toggle(const std::vector<std::string>& selected, const std::string& key);

  private:
    void rowClicked(std::int64_t row);

    MVGlobalData& global_;
    std::vector<std::string> arrayOfSortedHeaders_;
    MVInfoTableView* infoTableView_ = nullptr;
    std::vector<std::string> arrayOfSelectedKeys_;
    std::vector<std::vector<std::string>> arrayOfHeaders_;
    QPointer<QWidget> chartView_;
    Alert alert_;
    platform::ObserverToken selectedToken_;
};
