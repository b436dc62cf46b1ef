#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace vantrel::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantrel-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    throw std::runtime_error("cannot create a temporary folder from " + pattern);
  }
  Path_ = buffer.data();
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Tests may leave read-only files or folders behind; make them removable first.
  for (auto it = fs::recursive_directory_iterator(Path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(Path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(Path_, ec);
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    ADD_FAILURE() << "cannot write " << path;
}

std::filesystem::path TestDataFile(const std::string& name) {
  return fs::path(VANTREL_TEST_DATA) / name;
}

void IncrementByte(const fs::path& path, std::size_t offset, int delta) {
  std::string bytes = ReadFileBytes(path);
  if (offset >= bytes.size()) {
    ADD_FAILURE() << "offset " << offset << " beyond the end of " << path;
    return;
  }
  bytes[offset] = static_cast<char>(static_cast<unsigned char>(bytes[offset]) + delta);
  WriteFileBytes(path, bytes);
}

void ShrinkFile(const fs::path& path, std::size_t size) {
  std::error_code ec;
  fs::resize_file(path, size, ec);
  if (ec)
    ADD_FAILURE() << "cannot shrink " << path << ": " << ec.message();
}

}  // namespace vantrel::test
