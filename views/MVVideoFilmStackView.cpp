#include "views/MVVideoFilmStackView.h"

#include "views/MVVideoFilmView.h"

#include "widgets/MVHelperColors.h"

#include "session/MVOptionsAndSettings.h"

MVVideoFilmStackView::MVVideoFilmStackView(std::vector<MVLapPtr> laps, QWidget* parent)
    : QWidget(parent), arrayOfSelectedLaps_(std::move(laps)) {
    initFilmStack();
}

void MVVideoFilmStackView::initFilmStack() {
    const bool timeAxis = MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Time);
    const auto& laps = arrayOfSelectedLaps_;
    if (laps.size() == 2) {
        arrayOfFilmViews_.push_back(
            new MVVideoFilmView(laps[1], MVHelper::Gui::FasterColor(), !timeAxis, this));
        arrayOfFilmViews_.push_back(
            new MVVideoFilmView(laps[0], MVHelper::Gui::SlowerColor(), timeAxis, this));
    } else if (laps.size() == 1) {
        arrayOfFilmViews_.push_back(
            new MVVideoFilmView(laps[0], MVHelper::Gui::FasterColor(), true, this));
    }
    for (MVVideoFilmView* film : arrayOfFilmViews_) film->show();
    layoutFilms();
}

void MVVideoFilmStackView::removeSubviews() {
    for (MVVideoFilmView* film : arrayOfFilmViews_) delete film;
    arrayOfFilmViews_.clear();
}

void MVVideoFilmStackView::layoutFilms() {
    const int count = static_cast<int>(arrayOfFilmViews_.size());
    if (count == 0) return;
    // 1 point from the edges and 1 point apart, equal widths.
    const int inner = std::max(0, width() - 2 - (count - 1));
    const int filmHeight = std::max(0, height() - 2);
    int x = 1;
    for (int i = 0; i < count; ++i) {
        const int w = inner / count + (i < inner % count ? 1 : 0);
        arrayOfFilmViews_[i]->setGeometry(x, 1, w, filmHeight);
        x += w + 1;
    }
}

void MVVideoFilmStackView::resizeEvent(QResizeEvent*) {
    layoutFilms();
}
