#include "widgets/MVBaseView.h"
#include "widgets/MVBaseViewsBorders.h"
#include "widgets/MVHelperColors.h"
#include "widgets/MVRedView.h"
#include "widgets/MVTextField.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

TEST(HelperColors, SharedObjectsAreMadeOnceWithTheirValues) {
    const QVector<QColor>& first = MVHelper::Gui::ColorArray();
    EXPECT_EQ(&first, &MVHelper::Gui::ColorArray());
    ASSERT_EQ(first.size(), 11);
    EXPECT_EQ(first[5], QColor(255, 255, 224));
    EXPECT_EQ(first[10], QColor(210, 105, 30));
    EXPECT_EQ(&MVHelper::Gui::LightBlueColor(), &MVHelper::Gui::LightBlueColor());
    EXPECT_EQ(MVHelper::Gui::DarkBlueColor(), QColor(2, 37, 57));
    EXPECT_EQ(MVHelper::Gui::BackgoundColor(), QColor(Qt::black));

    // The "bold" big font is the regular face at the same size, in an object of its own.
    EXPECT_NE(&MVHelper::BigTextBoldFont(), &MVHelper::BigTextFont());
    EXPECT_EQ(MVHelper::BigTextBoldFont(), MVHelper::BigTextFont());
    EXPECT_EQ(MVHelper::BigTextFont().pixelSize(), 15);
    EXPECT_EQ(MVHelper::SmallTextBoldFont().weight(), QFont::Bold);
}

TEST(HelperColors, ColorLayerReplacesTheBackground) {
    QWidget view;
    view.resize(8, 8);
    MVHelper::addDarkBlueLayerForViewWithView(&view);
    MVHelper::addColorLayerWithColor(QColor(Qt::green), &view);
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image);
    EXPECT_EQ(image.pixelColor(4, 4), QColor(Qt::green));
    MVHelper::addColorLayerWithColor(QColor(Qt::green), nullptr);  // nothing to colour
}

TEST(HelperColors, TextMeasuresGrowWithTheText) {
    const QFont& font = MVHelper::BigTextFont();
    EXPECT_GT(MVHelper::calculateWidthWithString(QStringLiteral("Lap 12"), font),
              MVHelper::calculateWidthWithString(QStringLiteral("Lap"), font));
    EXPECT_GT(MVHelper::calculateHeightWithString(QStringLiteral("Lap"), font), 10.0);
    EXPECT_EQ(MVHelper::calculateWidthWithString(QString(), font), 0.0);
}

TEST(BaseViews, TextFieldIsACentredReadOnlyGreyLabel) {
    MVTextField field;
    field.setText(QStringLiteral("S1"));
    EXPECT_EQ(field.alignment(), Qt::AlignCenter);
    EXPECT_EQ(field.textInteractionFlags(), Qt::NoTextInteraction);
    EXPECT_EQ(field.textColor(), MVHelper::Gui::BrightColorOnBackground());
    EXPECT_EQ(field.font(), MVHelper::BigTextFont());
    EXPECT_FALSE(field.autoFillBackground());
}

TEST(BaseViews, PlainViewsPaintTheirColours) {
    MVBaseView blue;
    MVRedView red;
    for (QWidget* view : {static_cast<QWidget*>(&blue), static_cast<QWidget*>(&red)}) {
        view->resize(10, 10);
    }
    QImage image(10, 10, QImage::Format_ARGB32);
    blue.render(&image);
    EXPECT_EQ(image.pixelColor(5, 5), MVHelper::Gui::LightBlueColor());
    red.render(&image);
    EXPECT_EQ(image.pixelColor(5, 5), MVHelper::Gui::SlowerColor());
}

TEST(BaseViews, BorderStripGeometry) {
    const QRectF frame(10, 20, 100, 50);
    EXPECT_EQ(MVBaseViewsBorders::findOriginWithBottom(frame, false, true, 2), QPointF(108, 0));
    EXPECT_EQ(MVBaseViewsBorders::findOriginWithBottom(frame, true, false, 2), QPointF(0, 68));
    EXPECT_EQ(MVBaseViewsBorders::findSizeWithBottom(frame, false, true, 2), QSizeF(2, 50));
    EXPECT_EQ(MVBaseViewsBorders::findSizeWithBottom(frame, true, false, 2), QSizeF(100, 2));

    QWidget view;
    view.resize(40, 20);
    EXPECT_FALSE(MVBaseViewsBorders::addBorderTo(nullptr, true, false, Qt::red, 1, 40));
    ASSERT_TRUE(MVBaseViewsBorders::addBorderTo(&view, true, false, Qt::red, 1, 0));
    view.resize(60, 30);
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixelColor(59, 29), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(30, 28), QColor(Qt::white));
}

}  // namespace
