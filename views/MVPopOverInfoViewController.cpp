#include "views/MVPopOverInfoViewController.h"

#include "views/MVInfoTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVProgressHUD.h"

#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

void defaultAlert(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("Ok"), QMessageBox::AcceptRole);
    box.exec();
}

bool contains(const std::vector<std::string>& list, const std::string& key) {
    return std::find(list.begin(), list.end(), key) != list.end();
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

MVPopOverInfoViewController::MVPopOverInfoViewController(MVGlobalData& global, QWidget* parent)
    : QWidget(parent, Qt::Popup), global_(global), alert_(defaultAlert) {
    setObjectName(QStringLiteral("MVPopOverInfoViewController"));
    infoTableView_ = new MVInfoTableView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 12, 10, 12);
    layout->addWidget(infoTableView_);
}

std::vector<std::string> MVPopOverInfoViewController::sortOriginalArrayOfHeaders(
    const std::vector<std::vector<std::string>>& headers) {
    const std::vector<std::string> standard = {MVHelper::Key_Speed(),     MVHelper::Key_DeltaT(),
                                               MVHelper::Key_LatAcc(),    MVHelper::Key_LongAcc(),
                                               MVHelper::Key_CombinedG(), MVHelper::Key_UTCTime(),
                                               MVHelper::Key_Distance()};
    // The lateral and combined g are worked out from the headings: without a heading in any
    // session they could only ever read "N/A" (a logger's own column of that name is not read).
    const bool headings =
        headers.empty() ||
        std::any_of(headers.begin(), headers.end(), [](const std::vector<std::string>& s) {
            return contains(s, MVHelper::Key_Heading());
        });
    std::vector<std::string> sorted;
    for (const std::string& key : standard) {
        const bool fromHeadings = key == MVHelper::Key_LatAcc() || key == MVHelper::Key_CombinedG();
        if (headings || !fromHeadings) sorted.push_back(key);
    }
    for (const auto& session : headers) {
        for (const std::string& key : session) {
            if (key == MVHelper::Key_Time() || key == MVHelper::Key_VideoIndex() ||
                key == MVHelper::Key_VideoSyncTime() || lowerCase(key) == "timestamp usec" ||
                contains(standard, key) || contains(sorted, key)) {
                continue;
            }
            sorted.push_back(key);
        }
    }
    return sorted;
}

MVPopOverInfoViewController::Toggle MVPopOverInfoViewController::toggle(
    const std::vector<std::string>& selected, const std::string& key) {
    const std::size_t n = selected.size();
    const bool isSelected = contains(selected, key);
    Toggle result;
    if (n == 0 || n > kMaxChannels) return result;
    if (isSelected) {
        if (n == 1) return result;  // the last channel stays
        std::vector<std::string> keys;
        std::copy_if(selected.begin(), selected.end(), std::back_inserter(keys),
                     [&](const std::string& k) { return k != key; });
        result.keys = std::move(keys);
    } else if (n == kMaxChannels) {
        result.refused = true;
    } else {
        result.keys = selected;
        result.keys->push_back(key);
    }
    return result;
}

void MVPopOverInfoViewController::awakeFromNib() {
    arrayOfSortedHeaders_ = sortOriginalArrayOfHeaders(arrayOfHeaders_);
    infoTableView_->setArrayOfAllHeaders(arrayOfSortedHeaders_);
    infoTableView_->setArrayOfSelectedHeaders(arrayOfSelectedKeys_);
    const QScreen* screen =
        parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    resize(250, heightForRows(arrayOfSortedHeaders_.size(),
                              screen ? screen->availableGeometry().height() : 0));
    MVHelper::addLightBlueLayerForViewWithView(this);
    infoTableView_->updateView();
    selectedToken_ = infoTableView_->observeSelectedIndex(
        [this](std::int64_t, std::int64_t row) { rowClicked(row); });
}

void MVPopOverInfoViewController::rowClicked(std::int64_t row) {
    if (chartView_ && MVProgressHUD::HUDForView(chartView_)) return;
    if (row < 0 || row >= static_cast<std::int64_t>(arrayOfSortedHeaders_.size())) return;
    const Toggle change =
        toggle(arrayOfSelectedKeys_, arrayOfSortedHeaders_[static_cast<std::size_t>(row)]);
    if (change.refused) showMaxChannelSelectedAlert();
    if (!change.keys) return;
    arrayOfSelectedKeys_ = *change.keys;
    global_.setSelectedKeys(arrayOfSelectedKeys_);
    infoTableView_->setArrayOfSelectedHeaders(arrayOfSelectedKeys_);
    infoTableView_->reloadData();
}

void MVPopOverInfoViewController::showMaxChannelSelectedAlert() {
    if (alert_) alert_(this, QStringLiteral("Maximum number of graph parameters selected."));
}

int MVPopOverInfoViewController::heightForRows(std::size_t rows, int available) {
    const int wanted =
        static_cast<int>(static_cast<double>(rows) * MVHelper::TableCellHeight() + 50);
    return available > 0 ? std::min(wanted, available) : wanted;
}

void MVPopOverInfoViewController::showRelativeTo(QWidget* anchor) {
    QPoint at(0, 0);
    if (anchor && anchor->screen()) {
        resize(width(), heightForRows(arrayOfSortedHeaders_.size(),
                                      anchor->screen()->availableGeometry().height()));
    }
    if (anchor) {
        at = anchor->mapToGlobal(QPoint(0, anchor->height() / 2)) -
             QPoint(width() + 4, height() / 2);
        if (QScreen* screen = anchor->screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
            at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
        }
    }
    move(at);
    show();
}
