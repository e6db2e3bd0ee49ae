#include "transfer/DownloadViewController.h"

#include "transfer/MVSheetSupport.h"

#include "widgets/MVSpinningProgressIndicator.h"

#include "platform/Dispatch.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// Runs `work` on the main queue if the sheet still exists then.
void onMain(QPointer<DownloadViewController> sheet,
            std::function<void(DownloadViewController&)> work) {
    platform::mainQueue().async([sheet, work = std::move(work)] {
        if (sheet) work(*sheet);
    });
}

}  // namespace

DownloadViewController::DownloadViewController(QWidget* window, MVVersionManaging& manager,
                                               platform::NotificationCenter& center)
    : QDialog(window), manager_(manager) {
    setWindowTitle(QStringLiteral("Updates"));
    setObjectName(QStringLiteral("DownloadViewController"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(38, 38, 38));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    setPalette(p);

    labelSoftware_ = new QLabel(this);
    labelTrackDB_ = new QLabel(this);
    onlineSWVersion_ = new QLabel(QStringLiteral("Latest v–"), this);
    onlineTrackDBVersion_ = new QLabel(QStringLiteral("Latest v–"), this);
    progressSoftware_ = new MVSpinningProgressIndicator(this);
    progressTrackDB_ = new MVSpinningProgressIndicator(this);
    for (MVSpinningProgressIndicator* spinner : {progressSoftware_, progressTrackDB_}) {
        spinner->setFixedSize(18, 18);
        spinner->setColor(QColor(230, 230, 230));
        spinner->setDisplayedWhenStopped(false);
    }
    buttonSoftwareUpdate_ = new QPushButton(QStringLiteral("Update"), this);
    buttonTrackDBUpdate_ = new QPushButton(QStringLiteral("Update"), this);
    buttonSoftwareUpdate_->setEnabled(false);
    buttonTrackDBUpdate_->setEnabled(false);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setMinimumWidth(380);
    buttonClose_ = new QPushButton(QStringLiteral("Close"), this);
    labelSoftware_->setText(text("Gridlark v" + manager_.appVersionString()));
    labelTrackDB_->setText(QStringLiteral("Circuit DB v–"));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    grid->addWidget(labelSoftware_, 0, 0);
    grid->addWidget(onlineSWVersion_, 0, 1);
    grid->addWidget(progressSoftware_, 0, 2);
    grid->addWidget(buttonSoftwareUpdate_, 0, 3);
    grid->addWidget(labelTrackDB_, 1, 0);
    grid->addWidget(onlineTrackDBVersion_, 1, 1);
    grid->addWidget(progressTrackDB_, 1, 2);
    grid->addWidget(buttonTrackDBUpdate_, 1, 3);
    grid->addWidget(message_, 2, 0, 1, 4);
    grid->addWidget(buttonClose_, 3, 3);

    connect(buttonSoftwareUpdate_, &QPushButton::clicked, this,
            &DownloadViewController::updateSWWithSender);
    connect(buttonTrackDBUpdate_, &QPushButton::clicked, this,
            &DownloadViewController::updateTrackDBWithSender);
    connect(buttonClose_, &QPushButton::clicked, this, &QDialog::hide);

    const QPointer<DownloadViewController> self(this);
    softwareToken_ = center.addObserver(
        MVVersionManager::kDownloadedSW, nullptr, [self](const platform::Notification& n) {
            const auto* url = n.value<std::filesystem::path>("url");
            std::optional<std::filesystem::path> package;
            if (url) package = *url;
            onMain(self, [package](DownloadViewController& s) { s.softwareDownloaded(package); });
        });
    databaseToken_ = center.addObserver(
        MVVersionManager::kDownloadedTrackDB, nullptr, [self](const platform::Notification&) {
            onMain(self, [](DownloadViewController& s) { s.circuitDatabaseDownloaded(); });
        });
    failureToken_ = center.addObserver(
        MVVersionManager::kDownloadError, nullptr, [self](const platform::Notification& n) {
            const auto* kind = n.value<std::string>("kind");
            const auto* error = n.value<std::string>("error");
            const std::string k = kind ? *kind : std::string();
            const std::string e = error ? *error : std::string("The download failed.");
            onMain(self, [k, e](DownloadViewController& s) { s.downloadFailed(k, e); });
        });
}

void DownloadViewController::showSheet() {
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
    refreshVersions();
}

QString DownloadViewController::checkingText() {
    return QStringLiteral("Checking for updates…");
}

void DownloadViewController::refreshVersions() {
    struct Answers {
        std::string app, database;
        MVVersionManaging::CatalogueAnswer software, circuits;
    };
    // Until this check answers, the rows say that it runs rather than show the last answers;
    // an earlier check still on its way is not shown when it ends.
    const std::uint64_t check = ++checks_;
    for (QLabel* row : {onlineSWVersion_, onlineTrackDBVersion_}) {
        if (row->text() != checkingText()) row->setProperty(kShownBefore, row->text());
        row->setText(checkingText());
    }
    buttonSoftwareUpdate_->setEnabled(false);
    buttonTrackDBUpdate_->setEnabled(false);
    const QPointer<DownloadViewController> self(this);
    MVVersionManaging* manager = &manager_;
    platform::globalQueue().async([self, manager, check] {
        // Each catalogue is read once; whether it offers something newer follows from it.
        auto answers = std::make_shared<Answers>();
        answers->app = manager->appVersionString();
        answers->database = manager->localCircuitDatabaseVersion();
        answers->software = manager->softwareCatalogue();
        answers->circuits = manager->circuitDatabaseCatalogue();
        onMain(self, [answers, check](DownloadViewController& s) {
            if (check != s.checks_) return;
            s.labelSoftware_->setText(text("Gridlark v" + answers->app));
            s.labelTrackDB_->setText(text("Circuit DB v" + answers->database));
            // Each row its own answer: the version, or why the catalogue could not be read.
            s.showLatest(s.onlineSWVersion_, answers->software);
            s.showLatest(s.onlineTrackDBVersion_, answers->circuits);
            // A catalogue refused for where it was redirected is a failure to tell, not "no
            // update".
            std::string refusal = answers->software.refusal;
            if (!answers->circuits.refusal.empty() && answers->circuits.refusal != refusal) {
                refusal += (refusal.empty() ? "" : " ") + answers->circuits.refusal;
            }
            if (!refusal.empty()) {
                s.message_->setText(text("The update check failed: " + refusal));
                MVSheetSupport::growToFit(&s);
            }
            // An update is offered only beside the version it brings.
            s.buttonSoftwareUpdate_->setEnabled(
                MVVersionManaging::offersNewer(answers->software.info, answers->app) &&
                !s.startDownloadSW_);
            s.buttonTrackDBUpdate_->setEnabled(
                MVVersionManaging::offersNewer(answers->circuits.info, answers->database) &&
                !s.startDownloadTrackDB_);
            emit s.versionsRefreshed();
        });
    });
}

void DownloadViewController::showLatest(QLabel* label,
                                        const MVVersionManaging::CatalogueAnswer& answer) {
    if (answer.info) {
        label->setText(text("Latest v" + answer.info->version));
    } else if (!answer.problem.empty()) {
        label->setText(text("Latest version unknown: " + answer.problem));
    } else {
        // No catalogue and no word why: what the row showed before the check.
        label->setText(label->property(kShownBefore).toString());
    }
    MVSheetSupport::growToFit(this);
}

void DownloadViewController::updateSWWithSender() {
    startDownload(Kind::Software);
}

void DownloadViewController::updateTrackDBWithSender() {
    startDownload(Kind::CircuitDatabase);
}

void DownloadViewController::startDownload(Kind kind) {
    const bool software = kind == Kind::Software;
    buttonClose_->setEnabled(false);
    (software ? startDownloadSW_ : startDownloadTrackDB_) = true;
    (software ? buttonSoftwareUpdate_ : buttonTrackDBUpdate_)->setEnabled(false);
    (software ? progressSoftware_ : progressTrackDB_)->startAnimation();
    message_->clear();
    const QPointer<DownloadViewController> self(this);
    MVVersionManaging* manager = &manager_;
    platform::globalQueue().async([self, manager, kind, software] {
        const bool started =
            software ? manager->downloadSoftwareUpdate() : manager->downloadCircuitDatabaseUpdate();
        if (started) return;  // a notification ends it
        onMain(self, [kind](DownloadViewController& s) {
            s.endDownload(kind, false);
            s.message_->setText(QStringLiteral(
                "Nothing was downloaded: the update is no longer offered or the update server "
                "cannot be reached."));
        });
    });
}

void DownloadViewController::endDownload(Kind kind, bool updateStillOffered) {
    const bool software = kind == Kind::Software;
    (software ? startDownloadSW_ : startDownloadTrackDB_) = false;
    (software ? progressSoftware_ : progressTrackDB_)->stopAnimation();
    (software ? buttonSoftwareUpdate_ : buttonTrackDBUpdate_)->setEnabled(updateStillOffered);
    buttonClose_->setEnabled(!(software ? startDownloadTrackDB_ : startDownloadSW_));
}

void DownloadViewController::softwareDownloaded(
    const std::optional<std::filesystem::path>& package) {
    endDownload(Kind::Software, false);
    if (!package) return;
    const std::filesystem::path file = *package;
    QWidget* window = parentWidget() && parentWidget()->isVisible() ? parentWidget() : nullptr;
    confirm_(window, QStringLiteral("Install Gridlark"),
             QStringLiteral("After installation has completed, please restart Gridlark to launch "
                            "the new version."),
             [opener = opener_, file] { opener(file); });
}

void DownloadViewController::circuitDatabaseDownloaded() {
    endDownload(Kind::CircuitDatabase, false);
    labelTrackDB_->setText(text("Circuit DB v" + manager_.localCircuitDatabaseVersion()));
}

void DownloadViewController::downloadFailed(const std::string& kind, const std::string& error) {
    message_->setText(text("The download failed: " + error));
    MVSheetSupport::growToFit(this);
    if (kind == MVVersionManager::kKindSoftware) {
        endDownload(Kind::Software, true);
    } else if (kind == MVVersionManager::kKindCircuitDatabase) {
        endDownload(Kind::CircuitDatabase, true);
    } else {
        buttonClose_->setEnabled(true);
    }
}

void DownloadViewController::openPackage(const std::filesystem::path& package) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(text(package.string())))) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(text(package.parent_path().string())));
}

void DownloadViewController::showInstallAlert(QWidget* parent, const QString& title,
                                              const QString& message, std::function<void()> onOK) {
    auto* alert = new QMessageBox(QMessageBox::Critical, title, title, QMessageBox::Ok,
                                  parent ? parent->window() : nullptr);
    alert->setInformativeText(message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(alert, &QMessageBox::finished, alert, [alert, onOK](int) {
        if (alert->clickedButton() == alert->button(QMessageBox::Ok)) onOK();
    });
    alert->open();
}
