#include "app/MVMenuView.h"

#include "app/MVToolIcons.h"

#include "widgets/MVButton.h"

#include <QResizeEvent>

MVMenuView::MVMenuView(QWidget* parent) : MVBaseView(parent) {
    setObjectName(QStringLiteral("menuView"));
    // Set up in this order; placed by layoutButtons().
    buttonFile_ = makeButton(QStringLiteral("Folder"), QStringLiteral("Open new file"),
                             QStringLiteral("buttonFile"));
    buttonCloseAll_ = makeButton(QStringLiteral("Junk"), QStringLiteral("Close all files"),
                                 QStringLiteral("buttonCloseAll"));
    buttonSD_ = makeButton(QStringLiteral("SD"), QStringLiteral("File transfer wizard"),
                           QStringLiteral("buttonSD"));
    buttonCSV_ = makeButton(QStringLiteral("CSV"), QStringLiteral("Export to CSV file"),
                            QStringLiteral("buttonCSV"));
    buttonPlay_ = makeButton(QStringLiteral("Play"), QStringLiteral("Play or pause the videos"),
                             QStringLiteral("playButton"));
    buttonPrevious_ = makeButton(QStringLiteral("Prev"), QStringLiteral("Previous position"),
                                 QStringLiteral("preButton"));
    buttonNext_ = makeButton(QStringLiteral("Next"), QStringLiteral("Next position"),
                             QStringLiteral("nextButton"));
    buttonTrack_ = makeButton(QStringLiteral("Map"), QStringLiteral("Hide or show track map"),
                              QStringLiteral("buttonTrack"));
    buttonDefault_ = makeButton(QStringLiteral("Layout"), QStringLiteral("Default layout"),
                                QStringLiteral("buttonDefault"));
    buttonSettings_ = makeButton(QStringLiteral("Config"), QStringLiteral("Change Configuration"),
                                 QStringLiteral("buttonSettings"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layoutButtons();
}

std::array<MVButton*, 10> MVMenuView::buttons() const {
    return {buttonFile_,     buttonCloseAll_, buttonSD_,    buttonCSV_,     buttonPlay_,
            buttonPrevious_, buttonNext_,     buttonTrack_, buttonDefault_, buttonSettings_};
}

MVButton* MVMenuView::makeButton(const QString& image, const QString& toolTip,
                                 const QString& name) {
    auto* button = new MVButton(this);
    button->setImage(MVToolIcons::image(image));
    button->setToolTip(toolTip);
    button->setObjectName(name);
    button->setFixedSize(kButtonSize, kButtonSize);
    return button;
}

QSize MVMenuView::sizeHint() const {
    return {minimumSizeHint().width(), kBarHeight};
}

QSize MVMenuView::minimumSizeHint() const {
    // Both side groups, the centred trio and the gaps between them.
    const int side = 4 * kButtonSize + 2 * kEdgeSpacing + kGroupSpacing + 2 * kStandardSpacing;
    const int middle = 3 * kButtonSize + 2 * kStandardSpacing;
    return {2 * side + middle, kBarHeight};
}

void MVMenuView::resizeEvent(QResizeEvent* event) {
    MVBaseView::resizeEvent(event);
    layoutButtons();
}

void MVMenuView::layoutButtons() {
    // Every button is centred vertically in the bar.
    const int y = (height() - kButtonSize) / 2;
    auto place = [y](MVButton* button, int x) { button->move(x, y); };

    // File and Close all 10 apart from the left edge; SD 30 further; CSV at standard spacing.
    int x = kEdgeSpacing;
    place(buttonFile_, x);
    x += kButtonSize + kEdgeSpacing;
    place(buttonCloseAll_, x);
    x += kButtonSize + kGroupSpacing;
    place(buttonSD_, x);
    x += kButtonSize + kStandardSpacing;
    place(buttonCSV_, x);

    // Play centred in the bar, Previous and Next at standard spacing on either side.
    const int playX = (width() - kButtonSize) / 2;
    place(buttonPlay_, playX);
    place(buttonPrevious_, playX - kStandardSpacing - kButtonSize);
    place(buttonNext_, playX + kButtonSize + kStandardSpacing);

    // Settings 10 from the right edge, 30 from Default; Track at standard spacing before it.
    x = width() - kEdgeSpacing - kButtonSize;
    place(buttonSettings_, x);
    x -= kGroupSpacing + kButtonSize;
    place(buttonDefault_, x);
    x -= kStandardSpacing + kButtonSize;
    place(buttonTrack_, x);
}
