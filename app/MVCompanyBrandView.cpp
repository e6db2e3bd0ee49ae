#include "app/MVCompanyBrandView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kTitlePadding = 8;  // on each side of a button's title

QString rgba(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .arg(c.alpha());
}

QString buttonStyleSheet() {
    const QString bright = rgba(MVHelper::Gui::BrightColorOnBackground());
    return QStringLiteral(
               "QPushButton { background-color: %1; color: %2; border: none; padding: 0 %3px; }"
               "QPushButton:hover { border: 1px solid %2; }")
        .arg(rgba(MVHelper::Gui::DarkBlueColor()), bright)
        .arg(kTitlePadding);
}

}  // namespace

MVCompanyBrandView::MVCompanyBrandView(QWidget* parent, platform::RecentDocuments& recents)
    : MVContainer(parent), recents_(recents) {
    // Any window of the program gaining focus counts; losing focus altogether is only logged.
    if (auto* app = qobject_cast<QGuiApplication*>(QGuiApplication::instance())) {
        connect(app, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
            MVNotification(window != nullptr ? kWindowDidBecomeKey : kWindowDidResignKey);
        });
    }
    initSubViews();
}

MVCompanyBrandView::~MVCompanyBrandView() = default;

void MVCompanyBrandView::rebuild() {
    rebuildTimer_.cancel();
    rebuildPending_ = false;
    removeSubviews();
    initSubViews();
}

void MVCompanyBrandView::MVNotification(const std::string& name) {
    std::fprintf(stderr, "MVCompanyBrandView: %s\n", name.c_str());
    if (name != kWindowDidBecomeKey) return;
    removeSubviews();
    rebuildPending_ = true;
    // Restarting drops a build still pending, so quick focus changes build once. The timer
    // ends with the view, so a view destroyed meanwhile is never touched.
    rebuildTimer_.start(kRebuildDelay, false, platform::mainQueue(), [this] {
        rebuildPending_ = false;
        removeSubviews();
        initSubViews();
    });
}

void MVCompanyBrandView::buttonPressed(int tag) {
    // The list is read again: it may have changed since the buttons were built. A position no
    // longer in it is ignored.
    const auto files = recents_.recentDocumentURLs();
    if (tag < 0 || static_cast<size_t>(tag) >= files.size()) return;
    platform::NotificationCenter::defaultCenter().post(MVNotificationRecentFileSelected, this,
                                                       {{"recent", files[tag]}});
}

void MVCompanyBrandView::initSubViews() {
    logoView_ = new QLabel(this);
    // Drawn once: the view is rebuilt whenever a window of the program gains focus.
    static const QImage image = morvaneLogo();
    const QPixmap logo = QPixmap::fromImage(image);
    logoView_->setPixmap(logo);
    logoView_->resize(logo.deviceIndependentSize().toSize());

    const auto files = recents_.recentDocumentURLs();
    const int count = std::min<int>(kMaximumButtons, static_cast<int>(files.size()));
    for (int i = 0; i < count; ++i) buttons_.push_back(makeButton(i, files[i]));
    if (count > 0) {
        header_ = new MVTextFieldForSectors(this);
        header_->setBackgroundColor(MVHelper::Gui::LightBlueColor());
        header_->setTextColor(MVHelper::Gui::WhiteColor());
        header_->setText(QStringLiteral("Recent Files"));
    }
    layoutSubViews();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->show();
    }
}

QPushButton* MVCompanyBrandView::makeButton(int tag, const std::filesystem::path& file) {
    auto* button = new QPushButton(this);
    const QString name = QString::fromStdString(file.filename().string());
    button->setFont(MVHelper::BigTextFont());
    button->setStyleSheet(buttonStyleSheet());
    button->setText(QFontMetrics(MVHelper::BigTextFont())
                        .elidedText(name, Qt::ElideMiddle, kButtonWidth - 2 * kTitlePadding));
    button->setToolTip(QString::fromStdString(file.string()));
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [this, tag] { buttonPressed(tag); });
    return button;
}

void MVCompanyBrandView::removeSubviews() {
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        delete child;
    }
    logoView_ = nullptr;
    buttons_.clear();
    header_ = nullptr;
}

void MVCompanyBrandView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubViews();
}

// The stack hangs from the bottom edge: button i has its lower edge 40·i above it.
void MVCompanyBrandView::layoutSubViews() {
    if (logoView_ != nullptr) {
        logoView_->move((width() - logoView_->width()) / 2, (height() - logoView_->height()) / 2);
    }
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setGeometry(0, height() - kButtonHeight * static_cast<int>(i + 1),
                                 kButtonWidth, kButtonHeight);
    }
    if (header_ != nullptr) {
        header_->setGeometry(0, height() - kButtonHeight * static_cast<int>(buttons_.size() + 1),
                             kButtonWidth, kButtonHeight);
    }
}

QImage MVCompanyBrandView::morvaneLogo() {
    constexpr int kWidth = 320;
    constexpr int kHeight = 110;
    constexpr qreal kScale = 2.0;
    QImage image(int(kWidth * kScale), int(kHeight * kScale), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kScale);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue = MVHelper::Gui::LightBlueColor();
    const QColor white = MVHelper::Gui::WhiteColor();

    // The mark: a rounded tile with a corner of chequered grid and a rising racing line.
    const QRectF tile(5, 10, 90, 90);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawRoundedRect(tile, 18, 18);
    p.setBrush(white);
    constexpr qreal kCell = 11;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3 - row; ++column) {
            if ((row + column) % 2 == 0) {
                p.drawRect(QRectF(tile.left() + 14 + column * kCell, tile.top() + 14 + row * kCell,
                                  kCell, kCell));
            }
        }
    }
    QPainterPath line;
    line.moveTo(tile.left() + 14, tile.bottom() - 18);
    line.cubicTo(tile.left() + 40, tile.bottom() - 10, tile.left() + 52, tile.top() + 44,
                 tile.right() - 12, tile.top() + 20);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(line);

    // The word mark.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(white);
    p.drawText(QRectF(110, 18, kWidth - 110, 52), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Gridlark"));
    QFont tagline = title;
    tagline.setPixelSize(15);
    tagline.setBold(false);
    p.setFont(tagline);
    p.setPen(blue);
    p.drawText(QRectF(112, 70, kWidth - 112, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("track-day lap analysis"));
    return image;
}
