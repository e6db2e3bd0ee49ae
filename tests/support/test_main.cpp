// The shared test main: binds the main queue to this thread and points every XDG folder and HOME
// at a scratch folder, so no test reads or writes the user's own files; the program's resources
// are the source tree's.
#include "platform/Dispatch.h"
#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

// A test binary that needs more (a QApplication) defines this hook; it runs after the folders
// and the main queue are set up.
extern "C" __attribute__((weak)) void gridlark_test_setup(int* argc, char** argv);

int main(int argc, char** argv) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gridlark-home-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) return 2;
    const std::filesystem::path home = tmpl;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_DESKTOP_DIR", (home / "Desktop").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home / "Documents").c_str(), 1);
    // Programs that a test starts meet only each other, never the user's running Gridlark.
    std::filesystem::create_directory(home / "run");
    std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    platform::folders::setProgramResources(GRIDLARK_RESOURCES_DIR);
    platform::mainQueue().bindToCurrentThread();

    if (gridlark_test_setup != nullptr) gridlark_test_setup(&argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return rc;
}
