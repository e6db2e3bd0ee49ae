#pragma once

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <QAbstractListModel>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class MVTableView;

// The rows of the channel list: one per key, shown as "speed" for the speed key, "utc time" for
// the UTC key and as the key itself otherwise; a selected key is drawn in the select colour with
// the big font and dark-blue text, the others on a clear background in the small light-grey
// font. Main thread only.
class MVInfoTableModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    void setKeys(std::vector<std::string> all, std::vector<std::string> selected);
    const std::vector<std::string>& allKeys() const { return all_; }
    const std::vector<std::string>& selectedKeys() const { return selected_; }
    bool isSelected(const std::string& key) const;

    static QString titleForKey(const std::string& key);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::vector<std::string> all_;
    std::vector<std::string> selected_;
};

// The one-column list of the channel chooser: a dark-blue table headed "Channel", rows of the
// table cell height, grid lines both ways, no selection highlight. A click on a row sets
// `selectedIndex` to that row and tells its observers every time, also for the same row again,
// so a second click toggles the row back. Main thread only.
class MVInfoTableView : public QWidget {
    Q_OBJECT
  public:
    explicit MVInfoTableView(QWidget* parent = nullptr);

    void setArrayOfAllHeaders(std::vector<std::string> keys);
    void setArrayOfSelectedHeaders(std::vector<std::string> keys);
    const std::vector<std::string>& arrayOfAllHeaders() const { return all_; }
    const std::vector<std::string>& arrayOfSelectedHeaders() const { return selected_; }

    // Makes the inner table (once) and fills it.
    void updateView();
    void reloadData();
    // What a click on `row` does.
    void tableViewSelected(std::int64_t row);

    std::int64_t selectedIndex() const { return selectedIndex_.get(); }
    [[nodiscard]] platform::ObserverToken observeSelectedIndex(
        platform::Observable<std::int64_t>::Handler handler) {
        return selectedIndex_.observe(std::move(handler));
    }

    MVTableView* mainTable() const { return mainTable_; }
    MVInfoTableModel* model() const { return model_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    MVTableView* mainTable_ = nullptr;
    MVInfoTableModel* model_ = nullptr;
    std::vector<std::string> all_;
    std::vector<std::string> selected_;
    platform::Observable<std::int64_t> selectedIndex_{-1};
};
