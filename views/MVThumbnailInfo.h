#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// One slot of the thumbnail strip: the video file that holds the slot's moment, the position in
// that file in seconds, and the slot number (0-based from the lap start). A plain value.
struct MVThumbnailInfo {
    std::filesystem::path videoURL;
    double videoMiliseconds = 0.0;  // seconds into the file, despite the name
    std::size_t index = 0;

    // "URL <path>, Miliseconds <seconds %f>, Index <slot>".
    std::string description() const;
    bool operator==(const MVThumbnailInfo&) const = default;
};
