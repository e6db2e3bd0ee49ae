#include "widgets/MVButton.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

// Mean brightness of the button drawn over a dark bar.
double brightness(MVButton& button) {
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(QColor(2, 37, 57));
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    double sum = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) sum += image.pixelColor(x, y).lightnessF();
    }
    return sum / (image.width() * image.height());
}

// The tool bars' images are white: a disabled one must read clearly dimmer than an enabled one,
// and the same enabled again.
TEST(Button, DisabledImageIsDrawnDimmed) {
    for (const QColor& colour : {QColor(Qt::white), QColor(0, 122, 255)}) {
        QPixmap pixmap(20, 20);
        pixmap.fill(colour);
        MVButton button;
        button.setImage(QIcon(pixmap));
        button.resize(20, 20);
        const double enabled = brightness(button);
        button.setEnabled(false);
        const double disabled = brightness(button);
        button.setEnabled(true);
        SCOPED_TRACE(colour.name().toStdString());
        EXPECT_LT(disabled, enabled * 0.6);
        EXPECT_GT(disabled, 0.0);  // still there, only dimmed
        EXPECT_DOUBLE_EQ(brightness(button), enabled);
    }
}

}  // namespace
