#include "tests/support/ManualSession.h"
#include "tests/support/TempDir.h"

#include "transfer/MVCSVFileWindowController.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

using testing_support::TempDir;

MVLapsPtr oneSession(const std::string& name) {
    auto lap = MVLap::instance();
    lap->setGldFile(name);
    lap->setNumber(1);
    lap->setDistance(1000);
    lap->setDuration(60);
    auto sectors = MVSectors::instance();
    sectors->addValue(0);
    sectors->addValue(60);
    lap->setSectors(sectors);
    auto laps = MVLaps::instance();
    laps->addLap(lap);
    return laps;
}

class CSVSheet : public ::testing::Test {
  protected:
    CSVSheet() : sheet(nullptr, manager) {
        sheet.setSpeedOf([](const MVLap&) { return 100.0; });
        sheet.setAlertPresenter([this](QWidget*, const QString& title, const QString& message) {
            alerts.push_back((title + " " + message).toStdString());
        });
        sheet.destinationTextField()->setUrl(dir.path());
        sheet.showSheet();
    }
    TempDir dir;
    MVGLDFileManager manager;
    MVCSVFileWindowController sheet;
    std::vector<std::string> alerts;
};

TEST_F(CSVSheet, ExportWritesTheFileAndSaysWhereItWent) {
    testing_support::replaceCompleteLaps(manager, {oneSession("A"), oneSession("B")});
    sheet.exportButton()->click();
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "A+B.csv"));
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.infoTextField()->text().toStdString(),
              "Saved A+B.csv in " + dir.path().string() + ".");
    EXPECT_TRUE(alerts.empty());
    // Shown again, the sheet starts without the last export's message.
    sheet.buttonClosePressed();
    EXPECT_FALSE(sheet.isVisible());
    sheet.showSheet();
    EXPECT_TRUE(sheet.infoTextField()->text().isEmpty());
}

TEST_F(CSVSheet, NothingToExportIsSaidAndTheSheetStays) {
    testing_support::replaceCompleteLaps(manager, {MVLaps::instance()});
    sheet.exportButton()->click();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(sheet.infoTextField()->text().contains("nothing to export"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(CSVSheet, AFailedWriteIsAnAlertWithTheReasonAndTheSheetStays) {
    testing_support::replaceCompleteLaps(manager, {oneSession("A")});
    std::filesystem::create_directories(dir / "A.csv");  // the name is taken by a folder
    sheet.exportButton()->click();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("A.csv"), std::string::npos);
    EXPECT_TRUE(sheet.isVisible());
}

TEST_F(CSVSheet, TheFolderPanelChangesTheDestinationOnlyOnOK) {
    sheet.setFolderChooser([](QWidget*, const std::filesystem::path&) {
        return std::optional<std::filesystem::path>();
    });
    sheet.buttonEditDestinationPressed();
    EXPECT_EQ(sheet.destinationTextField()->url(), dir.path());
    sheet.setFolderChooser([this](QWidget*, const std::filesystem::path& start) {
        EXPECT_EQ(start, dir.path());
        return std::optional<std::filesystem::path>(dir / "chosen");
    });
    sheet.buttonEditDestinationPressed();
    EXPECT_EQ(sheet.destinationTextField()->url(), dir / "chosen");
}

}  // namespace
