#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace testing_support {

// A real small disk for one test: a tmpfs of `bytes` mounted at `folder` (made when missing)
// inside a private mount namespace of the calling thread, so the rest of the machine never sees
// it; threads this thread starts afterwards, and children it forks, share it (threads that were
// running before do not: make the disk before the code under test starts its threads). Needs the
// right to make a mount namespace (root): when that is missing, mounted() is false and whyNot()
// says why, and the test should skip. Unmounted by the destructor.
class TmpfsDisk {
  public:
    TmpfsDisk(std::filesystem::path folder, uint64_t bytes);
    ~TmpfsDisk();
    TmpfsDisk(const TmpfsDisk&) = delete;
    TmpfsDisk& operator=(const TmpfsDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& whyNot() const { return whyNot_; }
    const std::filesystem::path& folder() const { return folder_; }

    // Fills what is left of the disk with the file `name` in it; true once a write was refused
    // for want of space. Removing the file gives the space back.
    bool fill(const std::string& name = "filler") const;

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
    std::string whyNot_;
};

}  // namespace testing_support
