#include "transfer/MVSheetSupport.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Answer = MVSheetSupport::ExistingFileAnswer;

// Puts the question of every export to a real alert over a sheet and presses `button` in it
// ("" for Escape), once the alert is up; what the alert showed goes to `shown`.
Answer answerWith(const QString& button, QStringList& shown) {
    QDialog sheet;
    sheet.setWindowTitle(QStringLiteral("Export to CSV"));
    sheet.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (alert == nullptr) return;
        poll.stop();
        shown = {alert->windowTitle(), alert->text(), alert->informativeText(),
                 alert->defaultButton() ? alert->defaultButton()->text() : QString()};
        if (button.isEmpty()) {
            alert->reject();
            return;
        }
        for (QAbstractButton* candidate : alert->buttons()) {
            if (candidate->text() == button) candidate->click();
        }
    });
    poll.start(10);
    return MVSheetSupport::askAboutExistingFile(
        &sheet, QStringLiteral("file"), "/home/me/Desktop/A+B.csv", "/home/me/Desktop/A+B (2).csv");
}

TEST(ExistingFileQuestion, TheAlertNamesBothFilesAndAnswersWithTheButtonPressed) {
    struct Case {
        QString button;
        Answer answer;
    };
    for (const Case& c : {Case{"Replace", Answer::Replace}, Case{"Keep Both", Answer::KeepBoth},
                          Case{"Cancel", Answer::Cancel}, Case{"", Answer::Cancel}}) {
        SCOPED_TRACE(c.button.toStdString());
        QStringList shown;
        EXPECT_EQ(answerWith(c.button, shown), c.answer);
        ASSERT_EQ(shown.size(), 4);
        EXPECT_EQ(shown[0], "Export to CSV");
        EXPECT_EQ(shown[1], "\u201cA+B.csv\u201d already exists in /home/me/Desktop.");
        EXPECT_EQ(shown[2],
                  "Replace it with the new file, or keep both (the new file is saved as "
                  "\u201cA+B (2).csv\u201d)?");
        EXPECT_EQ(shown[3], "Keep Both");
    }
}

}  // namespace
