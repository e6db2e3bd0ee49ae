// The real CSV export sheet behind the delegate's sheet interface: made once, on the window it
// is shown on, and shown again on the next request.
#include "app/MVTransferSheets.h"
#include "transfer/MVCSVFileWindowController.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

TEST(TransferSheets, CSVSheetIsMadeOnceOnItsWindow) {
    QWidget window;
    MVCSVFileSheetAdapter sheet;
    sheet.showSheet(&window);
    MVCSVFileWindowController* first = sheet.controller();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentWidget(), &window);
    EXPECT_TRUE(first->isVisible());
    first->buttonClosePressed();
    EXPECT_FALSE(first->isVisible());
    sheet.showSheet(&window);
    EXPECT_EQ(sheet.controller(), first);
    EXPECT_TRUE(first->isVisible());
}

}  // namespace
