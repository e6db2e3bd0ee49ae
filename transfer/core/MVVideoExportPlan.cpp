#include "transfer/core/MVVideoExportPlan.h"

#include "transfer/core/MVFilePlacement.h"

#include <atomic>
#include <charconv>

#include <unistd.h>

namespace {

bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    return std::filesystem::weakly_canonical(a, error) ==
           std::filesystem::weakly_canonical(b, error);
}

// A name no other cut uses, in this program or another one running beside it.
std::string cutNumber() {
    static std::atomic<unsigned> next{0};
    return std::to_string(::getpid()) + "-" + std::to_string(++next);
}

}  // namespace

double MVVideoExportPlan::startSeconds(std::int64_t videoTimestampStart) {
    const auto whole = static_cast<double>(videoTimestampStart / 1000);
    const double start = whole - kLeadSeconds;
    return start < 0 ? whole : start;
}

double MVVideoExportPlan::endSeconds(std::int64_t videoTimestampEnd) {
    return static_cast<double>(videoTimestampEnd / 1000) + kLeadSeconds;
}

std::string MVVideoExportPlan::formatSeconds(double seconds) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0.000000");
}

std::optional<std::filesystem::path> MVVideoExportPlan::videoOf(const MVLap& lap) {
    const auto& urls = lap.videoURLs();
    if (!urls || urls->empty() || urls->front().filename() == "nil.nil") return std::nullopt;
    return urls->front();
}

MVVideoExportPlan MVVideoExportPlan::make(const MVLap& lap, const std::filesystem::path& folder,
                                          const std::optional<std::filesystem::path>& ffmpeg,
                                          const std::string& ffmpegProblem) {
    MVVideoExportPlan plan;
    const auto video = videoOf(lap);
    std::error_code error;
    if (!video) {
        plan.refusal = "This lap has no video.";
        return plan;
    }
    plan.input = *video;
    plan.output =
        folder / ("Lap " + std::to_string(lap.number()) + plan.input.extension().string());
    plan.start = startSeconds(lap.videoTimestampStart());
    plan.end = endSeconds(lap.videoTimestampEnd());
    if (lap.videoURLs()->size() > 1) {
        const std::filesystem::path& next = (*lap.videoURLs())[1];
        if (std::filesystem::is_regular_file(next, error)) {
            plan.next = next;
        } else {
            plan.endsWithFirstFile = true;
        }
    }
    if (!std::filesystem::is_regular_file(plan.input, error)) {
        plan.refusal = "The video file " + plan.input.filename().string() + " is missing.";
    } else if (!ffmpeg) {
        plan.refusal = ffmpegProblem;
    } else if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        plan.refusal = "The destination folder does not exist.";
    } else if (samePlace(plan.input, plan.output)) {
        plan.refusal = "The cut would overwrite its own video: choose another folder.";
    }
    if (!plan.canRun()) return plan;
    plan.executable = *ffmpeg;
    plan.setOutput(plan.output);
    return plan;
}

void MVVideoExportPlan::setOutput(const std::filesystem::path& path) {
    output = path;
    temporary = output.parent_path() / ("." + output.stem().string() + ".exporting-" + cutNumber() +
                                        output.extension().string());
    outputExists = MVFilePlacement::taken(output);
    if (!canRun()) return;
    if (joinsNextFile()) {
        // The list gives both times. The joined files' own timestamps are kept (-copyts), so what
        // comes before the start stays before the cut's time 0, as the one-file seek leaves it.
        joinList = joinListOf(input, start, next, end);
        arguments = {"-protocol_whitelist",
                     "file,pipe",
                     "-copyts",
                     "-f",
                     "concat",
                     "-safe",
                     "0",
                     "-i",
                     "pipe:0"};
    } else {
        // Both times are input options: the seek lands on the key frame at or before the start,
        // and the end is on the input's clock too.
        joinList.clear();
        arguments = {"-ss", formatSeconds(start)};
        if (!endsWithFirstFile) arguments.insert(arguments.end(), {"-to", formatSeconds(end)});
        arguments.insert(arguments.end(), {"-i", input.string()});
    }
    arguments.insert(arguments.end(), {"-vcodec", "copy", "-acodec", copySound ? "copy" : "aac",
                                       "-y", temporary.string()});
}

std::string MVVideoExportPlan::joinListOf(const std::filesystem::path& first, double start,
                                          const std::filesystem::path& second, double end) {
    // In quotes a quote cannot stand: it ends them, and an escaped one joins the next quotes.
    auto quoted = [](const std::filesystem::path& path) {
        std::string text = "'file:";
        for (char c : std::filesystem::absolute(path).string()) {
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return text + "'";
    };
    return "ffconcat version 1.0\nfile " + quoted(first) + "\ninpoint " + formatSeconds(start) +
           "\nfile " + quoted(second) + "\noutpoint " + formatSeconds(end) + "\n";
}

bool MVVideoExportPlan::refusesCopiedStream(const std::string& ffmpegLine) {
    return ffmpegLine.find("not currently supported in container") != std::string::npos;
}

std::string MVVideoExportPlan::placeCut() {
    return MVFilePlacement::place(temporary, output, replaceExisting);
}

std::filesystem::path MVVideoExportPlan::keepBothName(const std::filesystem::path& path) {
    return MVFilePlacement::keepBothName(path);
}
