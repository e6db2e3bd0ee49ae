#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Accelerations of one sample step, duration texts, the program's scratch folder and the lookup
// of circuit preview images and outline files in the circuit database folder.
namespace MVHelper {

// Lateral acceleration in g of the step from headingOld to heading (degrees) at speed (km/h) and
// sampleRate samples per second. A step across north (change beyond +-300 degrees) is unwrapped.
// Negative when the heading rises at positive speed. A result beyond 30 g gives 0.
double lateralAcceleration(double heading, double headingOld, double speed, double sampleRate);

// Longitudinal acceleration in g of the step from speedOld to speed (km/h) at sampleRate samples
// per second. A step beyond 30 m/s^2 (checked before the conversion to g) gives 0.
double longitudinalAcceleration(double speed, double speedOld, double sampleRate);

// Kept with the other helpers of this set; nothing in the program calls these three yet:
// calculateDuration, convertSecondsToTimeString2 and clearTempararyFolderURL (the thumbnail
// frames live in a folder per running copy, see MVThumbnailFolder, which cleans up on its own).

// timestampEnd - timestampStart.
double calculateDuration(double timestampStart, double timestampEnd);

// "1h 2m 5.50s", "1m 1.25s" or "5.50s". Empty for a value that is not finite or whose whole
// seconds do not fit a 64-bit integer.
std::string convertSecondsToTimeString(double seconds);

// "%02d:%02d.%02d" of minutes within the hour, seconds and hundredths (nearest hundredth); hours
// are not shown. Empty for a value that is not finite or too large for a 64-bit integer of
// hundredths.
std::string convertSecondsToTimeString2(double seconds);

// The program's own scratch folder (under the user's cache folder, private to the user), created
// with its parents when missing. A creation failure is written to standard output; the path is
// returned in every case.
std::filesystem::path tempararyFolderURL();

// Removes every entry of the scratch folder above, one after the other; a failing entry is
// written to standard output and the next one is tried. Only ever touches that folder: when the
// path is not a real folder of its own (a symbolic link, a file, the home or root folder), nothing
// is removed.
void clearTempararyFolderURL();

// The first file under <data home>/Morvane/Trackmap Database/DataBaseTrackmapFiles/ (subfolders
// included, hidden files too, entries visited in name order) whose extension is exactly "PNG" and
// whose file name contains name (case-sensitive); nullopt when there is none.
std::optional<std::filesystem::path> getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName(
    const std::string& name);

// The first file under <data home>/Morvane/Trackmap Database/CIR Files/ whose lower-cased
// extension is "cir" and whose lower-cased file name contains name (name itself is taken as
// given, so callers pass it lower-cased); nullopt when there is none.
std::optional<std::filesystem::path> getCIRTrackMapFilesFromAppSupportDirectoryWithFileName(
    const std::string& name);

// Name of the scratch folder inside the program's cache folder.
inline constexpr const char* kScratchFolderName = "org.gridlark.Gridlark";

}  // namespace MVHelper
