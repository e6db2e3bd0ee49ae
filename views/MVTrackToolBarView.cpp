#include "views/MVTrackToolBarView.h"

#include "views/MVTrackIcons.h"

#include "widgets/MVButton.h"

#include "session/MVHelperKeys.h"

#include <QHBoxLayout>

MVTrackToolBarView::MVTrackToolBarView(QWidget* parent) : MVDarkBlueContainer(parent) {
    setObjectName(QStringLiteral("trackToolBarView"));
    setFixedHeight(static_cast<int>(MVHelper::ToolBarHeight()));
    initButtons();
}

MVButton* MVTrackToolBarView::makeButton(const char* image, const char* toolTip,
                                         const char* alternate) {
    auto* button = new MVButton(this);
    const QIcon normal = MVTrackIcons::icon(QString::fromUtf8(image));
    button->setImage(normal);
    button->setToolTip(QString::fromUtf8(toolTip));
    button->setFixedWidth(static_cast<int>(MVHelper::ToolBarHeight()));
    if (alternate != nullptr) {
        // A toggle: the alternate image shows while the button is on.
        const QIcon on = MVTrackIcons::icon(QString::fromUtf8(alternate));
        button->setCheckable(true);
        connect(button, &MVButton::toggled, button,
                [button, normal, on](bool checked) { button->setImage(checked ? on : normal); });
    }
    return button;
}

void MVTrackToolBarView::initButtons() {
    expandButton_ = makeButton("Resize Diagonal Filled", "Full track view or reset track view");
    defaultButton_ = makeButton("Expand", "Reset track view");
    lockButton_ = makeButton("Unpin", "Lock or unlock current position", "Pin");
    sectorFlagButton_ =
        makeButton("Paint Bucket Filled", "Show or hide track sectors", "Paint Bucket");
    editButton_ = makeButton("Menu", "Available track near position");
    wizardButton_ = makeButton("More", "Track wizard");

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 10, 0);
    row->setSpacing(8);
    row->addStretch(1);
    for (MVButton* button : {expandButton_, defaultButton_, lockButton_, sectorFlagButton_,
                             editButton_, wizardButton_}) {
        row->addWidget(button);
    }
}
