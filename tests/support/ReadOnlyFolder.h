#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// Makes a folder and everything below it read-only for this process, standing in for a
// write-protected card: nothing can be created in it or removed from it. Where permissions bind
// the process (not root), every folder of the tree loses its write bits. As root they do not,
// so the folder is bind-mounted read-only over itself inside a private mount namespace of the
// calling thread (threads it starts afterwards share it; the rest of the machine never sees the
// mount). When neither works, ok() is false and whyNot() says why: the test should skip.
// Undone by the destructor. Call on the thread that runs the code under test or starts its
// threads.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(std::filesystem::path folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool ok() const { return ok_; }
    const std::string& whyNot() const { return whyNot_; }
    // "permissions" or "read-only bind mount"
    const std::string& how() const { return how_; }

  private:
    bool refusesWrites() const;
    void setFolderModes(bool writable) const;
    bool bindReadOnly();

    std::filesystem::path folder_;
    bool ok_ = false;
    bool mounted_ = false;
    bool chmodded_ = false;
    std::string whyNot_;
    std::string how_;
};

}  // namespace testing_support
