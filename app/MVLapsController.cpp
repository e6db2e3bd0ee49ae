#include "app/MVLapsController.h"

#include "app/MVLapsHudTableView.h"
#include "app/MVLapsTableToolBarView.h"
#include "app/MVLapsTableView.h"
#include "app/MVLapsView.h"

#include "widgets/MVProgressHUD.h"
#include "widgets/MVTabControl.h"

#include "session/MVNotifications.h"
#include "session/ZORFileLog.h"

#include <QStackedWidget>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

// The pair of `clicked` and `kept`, the longer lap time first; equal times keep `kept` first.
std::vector<MVLapPtr> pairOf(const MVLapPtr& clicked, const MVLapPtr& kept) {
    if (clicked->duration() > kept->duration()) return {clicked, kept};
    return {kept, clicked};
}

// The integer under "index", whichever integer type the poster used.
std::optional<long long> indexOf(const platform::Notification& notification) {
    if (const auto* v = notification.value<int>("index")) return *v;
    if (const auto* v = notification.value<long>("index")) return *v;
    if (const auto* v = notification.value<long long>("index")) return *v;
    if (const auto* v = notification.value<unsigned>("index")) return *v;
    if (const auto* v = notification.value<unsigned long>("index")) {
        if (*v <= static_cast<unsigned long>(INT64_MAX)) return static_cast<long long>(*v);
    }
    return std::nullopt;
}

}  // namespace

MVLapsController::MVLapsController(MVGLDFileManager& manager, MVGlobalData& global,
                                   MVOptionsAndSettings& options, QObject* parent)
    : QObject(parent), manager_(manager), global_(global), options_(options) {
    auto& center = platform::NotificationCenter::defaultCenter();
    auto handler = [this](const platform::Notification& n) { MVNotification(n); };
    lapSelectedToken_ = center.addObserver(MVLapDidSelected, nullptr, handler);
    closeButtonToken_ = center.addObserver(MVSessionCloseButtonClicked, nullptr, handler);
}

MVLapsController::~MVLapsController() {
    stopObservingNotifications();
    QObject::disconnect(tabConnection_);
}

void MVLapsController::stopObservingNotifications() {
    lapSelectedToken_.reset();
    closeButtonToken_.reset();
}

MVLapsView* MVLapsController::lapsView() const {
    return lapsView_;
}

void MVLapsController::setLapsView(MVLapsView* view) {
    lapsView_ = view;
}

MVLapPtr MVLapsController::bestLap() const {
    std::lock_guard lock(mutex_);
    return bestLap_;
}

void MVLapsController::setBestLap(MVLapPtr lap) {
    std::lock_guard lock(mutex_);
    bestLap_ = std::move(lap);
}

std::vector<MVLapsPtr> MVLapsController::arrayOfMVLaps() const {
    std::lock_guard lock(mutex_);
    return arrayOfMVLaps_;
}

void MVLapsController::setArrayOfMVLaps(std::vector<MVLapsPtr> v) {
    std::lock_guard lock(mutex_);
    arrayOfMVLaps_ = std::move(v);
}

std::vector<MVLapPtr> MVLapsController::selectedLaps() const {
    std::lock_guard lock(mutex_);
    return selectedLaps_;
}

void MVLapsController::setSelectedLaps(std::vector<MVLapPtr> v) {
    std::lock_guard lock(mutex_);
    selectedLaps_ = std::move(v);
}

std::vector<std::string> MVLapsController::gldFileNames() const {
    std::lock_guard lock(mutex_);
    return gldFileNames_;
}

void MVLapsController::setGldFileNames(std::vector<std::string> v) {
    std::lock_guard lock(mutex_);
    gldFileNames_ = std::move(v);
}

MVLapsTableToolBarView* MVLapsController::toolBarView() const {
    return toolBarView_;
}

void MVLapsController::setToolBarView(MVLapsTableToolBarView* toolBar) {
    QObject::disconnect(tabConnection_);
    toolBarView_ = toolBar;
    if (toolBar == nullptr || toolBar->tabSegmentControl() == nullptr) return;
    MVTabControl* tabs = toolBar->tabSegmentControl();
    tabConnection_ = connect(tabs, &MVSegmentedControl::segmentClicked, this,
                             [this, tabs](int) { segmentChanged(tabs); });
}

void MVLapsController::initSubviews() {
    if (!lapsView_) return;
    std::vector<std::string> names;
    MVLapPtr best;
    std::vector<MVLapsPtr> laps;
    std::vector<MVLapPtr> selected;
    {
        std::lock_guard lock(mutex_);
        names = gldFileNames_;
        best = bestLap_;
        laps = arrayOfMVLaps_;
        selected = selectedLaps_;
    }
    removeSubviews();
    const int pages = static_cast<int>(names.size());
    lapsView_->setGldFileNames(std::move(names));
    lapsView_->setBestLap(std::move(best));
    lapsView_->setArrayOfMVLaps(std::move(laps));
    lapsView_->setArrayOfSelectedLaps(std::move(selected));
    lapsView_->initSubviews();
    lapsView_->layoutNow();
    setToolBarView(lapsView_->toolBarView());
    // The last session's page, matching the tool bar's selected tab.
    if (pages > 0) lapsView_->tabView()->setCurrentIndex(pages - 1);
}

void MVLapsController::removeSubviews() {
    setToolBarView(nullptr);
    if (lapsView_) lapsView_->removeSubviews();
}

void MVLapsController::segmentChanged(QObject* sender) {
    if (toolBarView_ && sender != nullptr && sender == toolBarView_->tabSegmentControl() &&
        lapsView_ && lapsView_->tabView() != nullptr) {
        const int segment = toolBarView_->tabSegmentControl()->selectedSegment();
        QStackedWidget* pages = lapsView_->tabView();
        if (segment >= 0 && segment < pages->count()) pages->setCurrentIndex(segment);
    }
    ZORFileLog::writeToTextFile("LapController segment changed");
}

template <typename Visit>
void MVLapsController::forEachPage(Visit visit) const {
    if (!lapsView_ || lapsView_->tabView() == nullptr) return;
    QStackedWidget* pages = lapsView_->tabView();
    const std::size_t names = gldFileNames().size();
    for (int i = 0; i < pages->count() && static_cast<std::size_t>(i) < names; ++i) {
        if (QWidget* page = pages->widget(i)) visit(*page);
    }
}

void MVLapsController::updateTableViewBySelectedLaps() {
    const std::vector<MVLapPtr> selected = selectedLaps();
    forEachPage([&](QWidget& page) {
        for (auto* table : page.findChildren<MVLapsTableView*>(Qt::FindDirectChildrenOnly)) {
            table->reloadTableViewWithArrayOfSelectedLaps(selected);
        }
    });
}

void MVLapsController::updateTableView() {
    forEachPage([](QWidget& page) {
        for (auto* table : page.findChildren<MVLapsTableView*>(Qt::FindDirectChildrenOnly)) {
            table->reloadTableView();
        }
        for (auto* table : page.findChildren<MVLapsHudTableView*>(Qt::FindDirectChildrenOnly)) {
            table->reloadTableView();
        }
    });
}

void MVLapsController::closeCurrentSession() {
    if (!toolBarView_ || toolBarView_->tabSegmentControl() == nullptr) return;
    removeSession(toolBarView_->tabSegmentControl()->selectedSegment());
}

void MVLapsController::removeSession(long long index) {
    // The manager's lists are written on the loading queue only (see MVGLDFileManager), so the
    // removal waits there for any load under way. Nothing loaded or a position past the
    // sessions: nothing to remove.
    MVGLDFileManager::loadingQueue().async([&manager = manager_, index] {
        if (index < 0 || static_cast<unsigned long long>(index) >= manager.gldFileNames().size()) {
            return;
        }
        manager.removeFileAtIndex(index);
    });
}

void MVLapsController::MVNotification(const platform::Notification& notification) {
    if (notification.name == MVSessionCloseButtonClicked) {
        closeButtonClicked(notification);
    } else if (notification.name == MVLapDidSelected) {
        lapDidSelect(notification);
    }
}

void MVLapsController::closeButtonClicked(const platform::Notification& notification) {
    if (const std::optional<long long> index = indexOf(notification)) removeSession(*index);
}

void MVLapsController::lapDidSelect(const platform::Notification& notification) {
    // A recomputation for an earlier click is under way.
    if (lapsView_ && MVProgressHUD::HUDForView(lapsView_) != nullptr) return;
    const MVLapPtr* clicked = notification.value<MVLapPtr>("selectedLap");
    if (clicked == nullptr || !*clicked) return;
    const std::vector<MVLapPtr> current = global_.selectedLaps();
    std::vector<MVLapPtr> next = selectionAfterClick(current, *clicked);
    if (next != current) global_.setSelectedLaps(std::move(next));
}

std::vector<MVLapPtr> MVLapsController::selectionAfterClick(const std::vector<MVLapPtr>& current,
                                                            const MVLapPtr& clicked) {
    if (!clicked) return current;
    std::vector<MVLapPtr> selected;
    std::copy_if(current.begin(), current.end(), std::back_inserter(selected),
                 [](const MVLapPtr& lap) { return lap != nullptr; });
    // A whole-session lap is shown alone, whatever was selected.
    if (clicked->isWholeFileLap()) return {clicked};
    if (selected.empty()) return current;
    // A lap clicked while a whole-session lap is selected is paired with it, like any lap.
    if (selected.size() == 1) {
        if (selected.front() == clicked) return current;
        return pairOf(clicked, selected.front());
    }
    const auto hit = std::find(selected.begin(), selected.end(), clicked);
    if (hit != selected.end()) {
        // A click on a ticked box clears it: the other lap stays alone.
        const auto other = std::find_if(selected.rbegin(), selected.rend(),
                                        [&](const MVLapPtr& lap) { return lap != clicked; });
        if (other == selected.rend()) return current;  // only that lap, held twice
        return {*other};
    }
    // The longer lap of the pair goes; the faster (last) one stays.
    return pairOf(clicked, selected.back());
}
