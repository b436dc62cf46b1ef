#pragma once

#include <filesystem>
#include <string>

namespace vantrel::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return Path_; }
  std::filesystem::path operator/(const std::string& name) const { return Path_ / name; }

 private:
  std::filesystem::path Path_;
};

// Whole-file helpers; they fail the current test (ADD_FAILURE) on an I/O error.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A file checked in under tests/data (its README says what each holds).
std::filesystem::path TestDataFile(const std::string& name);

// Adds `delta` to the byte at `offset`, like a bit of rot on disk.
void IncrementByte(const std::filesystem::path& path, std::size_t offset, int delta = 1);
// Cuts the file down to `size` bytes, like a write torn by a crash.
void ShrinkFile(const std::filesystem::path& path, std::size_t size);

}  // namespace vantrel::test
