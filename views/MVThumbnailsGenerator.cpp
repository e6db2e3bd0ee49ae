#include "views/MVThumbnailsGenerator.h"

#include "views/MVFFmpeg.h"
#include "views/MVThumbnailFolder.h"

#include "session/ZORFileLog.h"

#include <QProcess>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <string>
#include <utility>

MVThumbnailsGenerator::MVThumbnailsGenerator(const platform::UserDefaults& defaults,
                                             std::optional<std::filesystem::path> folder,
                                             QObject* parent)
    : QObject(parent),
      ffmpegPath_(MVFFmpeg::locate(defaults).executable),
      folder_(folder ? *folder : MVThumbnailFolder::process().path()) {}

MVThumbnailsGenerator::~MVThumbnailsGenerator() {
    cancelGeneratingThumbnails();
}

QStringList MVThumbnailsGenerator::argumentsFor(const MVThumbnailInfo& info,
                                                const std::filesystem::path& output) {
    // QString::number ignores the locale: the seek time always has a decimal point.
    return {QStringLiteral("-ss"),      QString::number(info.videoMiliseconds, 'f', 6),
            QStringLiteral("-i"),       QString::fromStdString(info.videoURL.string()),
            QStringLiteral("-f"),       QStringLiteral("image2"),
            QStringLiteral("-vf"),      QStringLiteral("scale='160:100'"),
            QStringLiteral("-vframes"), QStringLiteral("1"),
            QStringLiteral("-y"),       QString::fromStdString(output.string())};
}

void MVThumbnailsGenerator::setInfos(std::vector<MVThumbnailInfo> infos) {
    cancelGeneratingThumbnails();
    infos_ = std::move(infos);
}

void MVThumbnailsGenerator::startGeneratingThumnailsAtStartIndex(std::int64_t first,
                                                                 std::int64_t last) {
    cancelGeneratingThumbnails();
    if (infos_.empty() || last < first) return;
    if (!ffmpegPath_) {
        if (!reportedMissing_) {
            ZORFileLog::writeToTextFile("MVThumbnailsGenerator: ffmpeg not found, no thumbnails");
            reportedMissing_ = true;
        }
        return;
    }
    // Numbered across the process: two strips (an old one going, a new one coming) never share
    // a request folder.
    static std::atomic<std::uint64_t> nextFolder{0};
    requestFolder_ = folder_ / ("request-" + std::to_string(nextFolder++));
    std::error_code error;
    std::filesystem::create_directories(requestFolder_, error);
    if (error) return;
    for (const MVThumbnailInfo& info : infos_) {
        const auto slot = static_cast<std::int64_t>(info.index);
        if (slot >= first && slot <= last) waiting_.push_back(info);
    }
    launchWaiting();
}

void MVThumbnailsGenerator::launchWaiting() {
    while (static_cast<int>(running_.size()) < kMaxRunning && !waiting_.empty()) {
        const MVThumbnailInfo info = waiting_.front();
        waiting_.pop_front();
        std::error_code error;
        if (!std::filesystem::is_regular_file(info.videoURL, error)) continue;
        launch(info);
    }
}

void MVThumbnailsGenerator::launch(const MVThumbnailInfo& info) {
    const std::filesystem::path output = requestFolder_ / (std::to_string(info.index) + ".png");
    auto* process = new QProcess(this);
    process->setProgram(QString::fromStdString(ffmpegPath_->string()));
    process->setArguments(argumentsFor(info, output));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const std::uint64_t request = request_;
    // Each process reports its own end, and only to the request that started it.
    connect(process, &QProcess::finished, this,
            [this, process, request](int code, QProcess::ExitStatus status) {
                processFinished(process, request, code, status == QProcess::NormalExit);
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, request](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) processFinished(process, request, -1, false);
            });
    running_.push_back(process);
    process->start();
}

void MVThumbnailsGenerator::processFinished(QProcess* process, std::uint64_t request, int exitCode,
                                            bool normalExit) {
    const auto it = std::find(running_.begin(), running_.end(), process);
    if (it == running_.end()) return;  // already cancelled
    running_.erase(it);
    process->deleteLater();
    if (request == request_ && normalExit && exitCode == 0) {
        const QStringList arguments = process->arguments();
        publish(std::filesystem::path(arguments.constLast().toStdString()));
    }
    if (request == request_) launchWaiting();
}

void MVThumbnailsGenerator::publish(const std::filesystem::path& output) {
    std::error_code error;
    if (output.extension() != ".png" || !std::filesystem::is_regular_file(output, error)) return;
    const std::string stem = output.stem().string();
    std::int64_t slot = -1;
    const auto [end, parsed] = std::from_chars(stem.data(), stem.data() + stem.size(), slot);
    if (parsed != std::errc() || end != stem.data() + stem.size()) return;
    QImage image(QString::fromStdString(output.string()), "PNG");
    if (image.isNull()) return;  // garbage or a truncated file
    imageAndIndex_.set(MVThumbnailImageAndIndex{std::move(image), slot});
}

void MVThumbnailsGenerator::cancelGeneratingThumbnails() {
    ++request_;
    waiting_.clear();
    for (QProcess* process : std::exchange(running_, {})) {
        disconnect(process, nullptr, this, nullptr);
        process->kill();
        process->waitForFinished(1000);
        process->deleteLater();
    }
    if (!requestFolder_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(requestFolder_, error);
        requestFolder_.clear();
    }
}
