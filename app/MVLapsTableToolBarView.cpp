#include "app/MVLapsTableToolBarView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTabControl.h"

#include <QHBoxLayout>
#include <QString>

MVLapsTableToolBarView::MVLapsTableToolBarView(const std::vector<std::string>& gldFileNames,
                                               QWidget* parent)
    : MVDarkBlueContainer(parent) {
    initSegmentControlWithGLDFileNames(gldFileNames);
}

void MVLapsTableToolBarView::initSegmentControlWithGLDFileNames(
    const std::vector<std::string>& gldFileNames) {
    const int count = static_cast<int>(gldFileNames.size());
    tabSegmentControl_ = new MVTabControl(this);
    tabSegmentControl_->setSegmentCount(count);
    tabSegmentControl_->setSegmentWidth(kSegmentWidth);
    for (int i = 0; i < count; ++i) {
        tabSegmentControl_->setLabel(QString::fromStdString(gldFileNames[static_cast<size_t>(i)]),
                                     i);
    }
    if (count > 0) tabSegmentControl_->setSelectedSegment(count - 1);
    // Full height, a fixed 120 points per tab from the left inset; nothing holds its right edge.
    tabSegmentControl_->setFixedWidth(kSegmentWidth * count);
    tabSegmentControl_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kTabInset, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tabSegmentControl_);
    layout->addStretch(1);
}
