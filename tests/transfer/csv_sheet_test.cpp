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
        sheet.setExistingFileAsker([this](QWidget*, const std::filesystem::path& existing,
                                          const std::filesystem::path& keepBoth) {
            asked.push_back({existing, keepBoth});
            if (!answer) ADD_FAILURE() << "asked about " << existing;
            return answer.value_or(Answer::Cancel);
        });
        sheet.destinationTextField()->setUrl(dir.path());
        sheet.showSheet();
    }
    using Answer = MVSheetSupport::ExistingFileAnswer;
    TempDir dir;
    MVGLDFileManager manager;
    MVCSVFileWindowController sheet;
    std::vector<std::string> alerts;
    std::optional<Answer> answer;  // none: the sheet must not ask
    std::vector<std::vector<std::filesystem::path>> asked;
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
    answer = Answer::Replace;
    sheet.exportButton()->click();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("A.csv"), std::string::npos);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(sheet.infoTextField()->text().contains("Saved"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "A.csv"));
}

TEST_F(CSVSheet, AnEarlierExportIsReplacedKeptBesideOrLeftAsTheUserAnswers) {
    struct Case {
        const char* what;
        Answer answer;
        bool replaced;           // A+B.csv holds the new export afterwards
        const char* keptBeside;  // the file holding it beside the earlier one, "" for none
        const char* info;
    };
    const std::string earlierText = "Lap,Time\n1,01:00.00,my note: tyres cold\n";
    for (const Case& c :
         {Case{"replace", Answer::Replace, true, "", "Saved A+B.csv in "},
          Case{"keep both", Answer::KeepBoth, false, "A+B (2).csv", "Saved A+B (2).csv in "},
          Case{"cancel", Answer::Cancel, false, "", "Nothing was exported: A+B.csv is kept."}}) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directories(dir.path());
        const auto earlier = dir.write("A+B.csv", earlierText);
        testing_support::replaceCompleteLaps(manager, {oneSession("A"), oneSession("B")});
        answer = c.answer;
        asked.clear();
        sheet.exportButton()->click();
        EXPECT_EQ(
            asked,
            (std::vector<std::vector<std::filesystem::path>>{{earlier, dir / "A+B (2).csv"}}));
        const std::string now = testing_support::readAll(earlier);
        EXPECT_EQ(now != earlierText, c.replaced) << now;
        if (c.replaced) {
            EXPECT_EQ(now.rfind("A\nLap,Time,Delta", 0), 0u) << now;
        }
        std::size_t files = 1;
        if (*c.keptBeside) {
            ++files;
            EXPECT_EQ(testing_support::readAll(dir / c.keptBeside).rfind("A\nLap,Time,Delta", 0),
                      0u);
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  static_cast<std::ptrdiff_t>(files));
        const std::string info = sheet.infoTextField()->text().toStdString();
        EXPECT_EQ(info.rfind(c.info, 0), 0u) << info;
        EXPECT_TRUE(alerts.empty());
    }
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
