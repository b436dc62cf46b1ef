#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_ops.h"
#include "platform/unique_fd.h"

namespace vantrel {

// A binary file on a POSIX descriptor with one buffer shared by reads and
// writes, so that the many small blocks of the data files cost no system call
// each. Reads and writes use explicit offsets (pread/pwrite); the file's own
// offset is never used.
//
// Failures of the system throw EInOutError naming the file and the errno;
// reading beyond the end throws EInOutError::ReadPastEnd. Bytes that could not
// be written stay in the buffer, so a later Flush (or Close) writes them at the
// right offset: nothing is written twice and nothing is dropped.
//
// The size is learned when the file is opened and then kept up to date by this
// object's own writes: no other process is expected to change the file while
// it is open.
//
// Every system call goes through the file operations given at construction.
class TBufferedFile {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  // `ops` must outlive this object.
  explicit TBufferedFile(TFileOps& ops = PosixFileOps()) : Ops_(&ops) {}
  // Writes out what it can and closes; errors are not reported here. Callers
  // that must know that everything reached the file call Close first.
  ~TBufferedFile();

  TBufferedFile(const TBufferedFile&) = delete;
  TBufferedFile& operator=(const TBufferedFile&) = delete;

  // Opens an existing file for reading at position 0.
  void OpenRead(const std::string& fileName);
  // Creates the file, or cuts an existing one to 0 bytes, for writing.
  void Create(const std::string& fileName);
  // Opens the file for writing at its end, creating it (empty) when missing.
  void OpenAppend(const std::string& fileName);

  bool IsOpen() const { return Fd_.Valid(); }
  // The name given to the last Open or Create; errors name it.
  const std::string& FileName() const { return FileName_; }

  // Reads exactly `count` bytes. When fewer remain, throws ReadPastEnd and
  // leaves the position where it was.
  void Read(void* data, std::size_t count);

  // Writes `count` bytes at the position. A write that fits the buffer is kept
  // there; when the buffer must be written out first and that fails, nothing of
  // this call is taken (the position is unchanged) and the error is thrown.
  // A single write larger than the buffer goes straight to the file; if that
  // fails half-way, the call is taken whole and its unwritten rest waits in
  // the buffer like any other pending bytes (the position tells which case).
  void Write(const void* data, std::size_t count);

  std::uint64_t Position() const { return Position_; }
  // The size including bytes still waiting in the buffer.
  std::uint64_t Size() const;
  // True when the position is at or beyond the end (and when not open).
  bool Eof() const;
  // Moves the position; pending bytes are written out first. Positions beyond
  // the end are allowed: reading there fails, writing there leaves a hole.
  void Seek(std::uint64_t position);

  // Writes the pending bytes. On failure the bytes not yet written stay in the
  // buffer, so calling Flush again later resumes where this one stopped.
  void Flush();
  // Cuts the file to `size` bytes (pending bytes are written out first); a
  // position beyond the new end moves to it. Needs a file opened for writing.
  void Truncate(std::uint64_t size);
  // Flush, then close the descriptor. If the flush fails the file stays open
  // with its pending bytes, so Close can be tried again; a failure of close
  // itself releases the descriptor and throws.
  void Close();
  // Closes without writing out pending bytes, for a file given up after an
  // error. Never throws.
  void Abandon() noexcept;

 private:
  void Open(const std::string& fileName, int flags, const char* operation);
  void RequireOpen(const char* operation) const;
  // Writes the buffer's pending bytes, keeping those that did not make it.
  void FlushBuffer();
  // pread until at least one byte came or the end was reached (0).
  std::size_t ReadSome(void* data, std::size_t count, std::uint64_t offset);
  // pwrite the whole range; `written` counts the bytes that reached the file,
  // also when it throws.
  void WriteAll(const unsigned char* data, std::size_t count, std::uint64_t offset,
                std::size_t& written);
  void EnsureCapacity(std::size_t capacity);
  void ResetState();

  TFileOps* Ops_;
  TUniqueFd Fd_;
  std::string FileName_;
  std::unique_ptr<unsigned char[]> Buffer_;
  std::size_t Capacity_ = 0;
  // The buffer holds Length_ bytes of the file starting at BufferStart_: either
  // bytes read ahead (Dirty_ false) or bytes waiting to be written (Dirty_ true).
  std::uint64_t BufferStart_ = 0;
  std::size_t Length_ = 0;
  bool Dirty_ = false;
  std::uint64_t Position_ = 0;
  // The file's size on disk as far as this object knows it.
  std::uint64_t FileSize_ = 0;
};

}  // namespace vantrel
