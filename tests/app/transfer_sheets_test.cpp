// The real card-import wizard and CSV export sheet behind the delegate's sheet interfaces: made
// once, on the window they are shown on, and shown again on the next request.
#include "app/MVTransferSheets.h"

#include "transfer/MVCSVFileWindowController.h"
#include "transfer/MVFileTransferWizardWindowController.h"

#include <QWidget>
#include <gtest/gtest.h>

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

TEST(TransferSheets, WizardIsMadeOnceAndSaysWhileItIsPresented) {
    QWidget window;
    MVFileTransferWizardSheetAdapter wizard;
    EXPECT_FALSE(wizard.isPresented());
    wizard.showSheet(&window);
    MVFileTransferWizardWindowController* first = wizard.controller();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentWidget(), &window);
    EXPECT_TRUE(wizard.isPresented());
    wizard.showSheet(&window);
    EXPECT_EQ(wizard.controller(), first);
    EXPECT_TRUE(wizard.isPresented());
}

}  // namespace
