#pragma once

#include "ZVCrashReporter/Source/async/CrashCapture.h"

#include <optional>
#include <string>

// Gathers at ordinary time what the crash-time writer needs: identity, machine, OS and process
// facts. The strings live in the setup object, which must outlive every report written with the
// state (the enabled reporter's setup is never freed).
class ZVCrashWriterSetup {
  public:
    // False (5 in the writer's terms) when the current process facts cannot be read; the state
    // then holds the uuid and the application fields only.
    bool setup(zvcrash_writer_state* writer, const std::string& identifier,
               const std::string& version, const std::optional<std::string>& marketingVersion,
               uint32_t strategy, bool userRequested);

    // "major.minor" of a kernel release, ".patch" added when the patch is above 0; "0.0" when
    // the release cannot be read.
    static std::string osVersionText(uint64_t major, uint64_t minor, uint64_t patch);
    // PRETTY_NAME of an os-release text; empty when absent.
    static std::string prettyName(const std::string& osRelease);

  private:
    std::string identifier_, version_, marketingVersion_, osVersion_, osBuild_, model_;
    std::string processName_, processPath_, parentName_;
};

// Made at enable: the storage a crash-time capture uses (never freed).
zvcrash_capture_area zvcrash_capture_area_make(loaded_image_list* images);
// Installs the capture handler on the first free real-time signal; 0 when none is free.
int zvcrash_install_capture_signal();
