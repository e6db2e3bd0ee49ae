#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Reads a file block by block as it was when opened: a regular file never past the size it had
// then, and with an error when it ends before that size (it shrank while being read); other
// files (pipes, devices) to their end. Every block is checked to be plain ASCII. Used by one
// thread at a time; closes the file when destroyed.
class MVGLDFileBlocks {
  public:
    explicit MVGLDFileBlocks(const std::filesystem::path& path);
    ~MVGLDFileBlocks();
    MVGLDFileBlocks(const MVGLDFileBlocks&) = delete;
    MVGLDFileBlocks& operator=(const MVGLDFileBlocks&) = delete;

    // False when the file could not be opened; error() tells why.
    bool isOpen() const { return fd_ >= 0; }
    // The size at open of a regular file; 0 for other files.
    std::size_t sizeAtOpen() const { return size_; }

    // Appends up to `most` bytes to `text`. Returns the number appended: 0 at the end of the
    // file or on an error (error() is then not empty).
    std::size_t readInto(std::string& text, std::size_t most);
    // The refusal text of an open, read, size or ASCII failure, or "" while all is well.
    const std::string& error() const { return error_; }
    bool notASCII() const { return notASCII_; }
    bool empty() const { return total_ == 0; }

  private:
    int fd_ = -1;
    bool regular_ = false;
    std::size_t size_ = 0;
    std::size_t total_ = 0;
    bool notASCII_ = false;
    std::string error_;
};

namespace MVGLDText7Bit {
// Position of the first byte above 127, or text.size().
std::size_t firstNonASCII(const char* text, std::size_t size);
// "The session file is not plain ASCII text (byte 0xC3 at offset 12)."
std::string message(unsigned char byte, std::size_t offset);
}  // namespace MVGLDText7Bit
