#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "storage/buffered_file.h"

namespace vantrel {

enum TxxOpenMode : std::uint8_t {
  omRead = 0,    // existing file, header checked, positioned at the first block
  omCreate = 1,  // new or emptied file with a fresh header
  omAppend = 2,  // existing file positioned at its end (header not checked), or a new one
};

// The record-file container under every data file: a signature and version
// header, then blocks scrambled with the pass phrase, each followed by its
// check value (layout in storage/file_system_format.h). It knows nothing about
// what the blocks mean; read them back with the sizes they were written with.
//
// Errors: EDataFileError with kFileNotFound (an empty file on omRead),
// kWrongFileFormat (signature or check value mismatch, a negative string
// length) or kWrongFileVersion (version text unwritable, unreadable or newer
// than expected); EInOutError from the file layer for everything else,
// including a file that ends inside a block (ReadPastEnd).
//
// Open, Close and every block read or write (every run of blocks, for
// ReadBuffers) first let the user interface dispatch its pending events
// (PumpUi).
class TxxFileSystem {
 public:
  // Only records the values; no file is touched. The file is reached through
  // `ops`, which must outlive the container.
  TxxFileSystem(std::string fileName, std::string signature, double version, std::string passPhrase,
                TFileOps& ops = PosixFileOps());
  // Closes a file still open, writing out what it can; errors are not
  // reported here, so callers that must know call Close.
  ~TxxFileSystem() = default;

  TxxFileSystem(const TxxFileSystem&) = delete;
  TxxFileSystem& operator=(const TxxFileSystem&) = delete;

  // Throws std::invalid_argument for a mode outside TxxOpenMode (nothing is
  // opened or created) and std::logic_error when already open. On any failure
  // the container stays closed.
  void Open(TxxOpenMode mode);
  // Writes out pending blocks and closes. If writing fails the error is
  // thrown and the container stays open, so Close can be tried again.
  void Close();
  // True when not open, or when the position is at or beyond the end.
  bool Eof() const;

  void ReadBuffer(void* buffer, std::size_t size);
  // Reads `count` blocks of `size` bytes each into `buffer` (count * size
  // bytes): ReadBuffer in bulk for runs of fixed-size records, with one read
  // of the file and one pump of the user interface for the whole run. Stops
  // before a block whose check value does not match and returns how many
  // blocks came before it, so that the caller can use them first; the next
  // read then fails on that block. Throws when the first block is bad, and
  // ReadPastEnd (reading nothing) unless `count` whole blocks remain.
  std::size_t ReadBuffers(void* buffer, std::size_t size, std::size_t count);
  // What SalvageBuffers read: blocks kept and blocks passed over.
  struct TBlockRun {
    std::size_t Good = 0;
    std::size_t Damaged = 0;
  };
  // ReadBuffers for a caller that can do without a damaged block: a block
  // whose check value does not match is passed over instead of ending the run.
  // The good blocks are packed at the front of `buffer`, in file order; the
  // position moves past all `count` blocks. Throws ReadPastEnd (reading
  // nothing) unless `count` whole blocks remain.
  TBlockRun SalvageBuffers(void* buffer, std::size_t size, std::size_t count);
  // The caller's buffer is left as it was.
  void WriteBuffer(const void* buffer, std::size_t size);
  std::int32_t ReadInteger();
  void WriteInteger(std::int32_t value);
  std::uint8_t ReadByte();
  void WriteByte(std::uint8_t value);
  double ReadDouble();
  void WriteDouble(double value);
  std::string ReadString();
  // Throws std::length_error for a text longer than a signed 32-bit count.
  void WriteString(const std::string& value);

  // Where the next block starts and how long the file is (pending blocks
  // included), so that a reader can tell a torn last block (fewer bytes left
  // than StoredSize of a whole block) from a good one before reading it.
  std::uint64_t Position() const { return File_.Position(); }
  std::uint64_t Size() const { return File_.Size(); }
  // Bytes on disk of a block of `blockSize` bytes, check value included.
  std::uint64_t StoredSize(std::size_t blockSize) const;
  // Bytes on disk of the header block.
  std::uint64_t HeaderSize() const;
  // Cuts the file to `size` bytes, e.g. a torn last block before appending
  // (omCreate or omAppend only). A position beyond it moves to the new end.
  void Truncate(std::uint64_t size);

  // After omRead, the version found in the file; otherwise as constructed.
  double Version() const { return Version_; }
  bool Opened() const { return Opened_; }
  const std::string& FileName() const { return FileName_; }

 private:
  void ReadBlock(void* buffer, std::size_t size);
  // A run of `count` blocks: up to the first damaged one, or past every
  // damaged one when `passDamaged`.
  TBlockRun ReadRun(void* buffer, std::size_t size, std::size_t count, bool passDamaged);
  void WriteBlock(const void* buffer, std::size_t size);
  // Fails with ReadPastEnd unless `size` more bytes remain.
  void RequireRemaining(std::uint64_t size) const;
  void ReadHeader();
  void WriteHeader(const std::string& versionText);
  [[noreturn]] void Fail(const char* reason) const;

  // The key bytes of every position of a block of one size: k1, k2 and the
  // check value's mix (k1 in the low or high byte). Data files read and write
  // long runs of blocks of one size, so working them out once per run saves
  // most of the per-byte key arithmetic.
  struct TKeyRow {
    std::size_t Size = 0;
    bool Ready = false;
    std::vector<unsigned char> First;
    std::vector<unsigned char> Second;
    std::vector<std::uint16_t> Mix;
  };
  // Rows are kept for single blocks up to this size (longer ones are texts,
  // read once).
  static constexpr std::size_t kMaxKeyRowSize = 256;
  // The row for a single block of `size` when the previous block had that
  // size too (a row is not worth building for a size seen once); nullptr
  // otherwise.
  const TKeyRow* KeyRowFor(std::size_t size);
  // The row for `size`, built when the current one is for another size.
  const TKeyRow& KeyRow(std::size_t size);
  // Unscrambles `count` stored blocks of row.Size bytes, each followed by its
  // check value, into `plain`, up to the first whose check value does not
  // match; returns how many came before it.
  static std::size_t DecodeBlocks(const TKeyRow& row, const unsigned char* stored,
                                  unsigned char* plain, std::size_t count);

  TBufferedFile File_;
  std::string FileName_;
  std::string Signature_;
  std::string PassPhrase_;
  double Version_;
  bool Opened_ = false;
  // Scrambled copy of the block being written, or the stored bytes of a run
  // being read; reused from block to block.
  std::vector<unsigned char> Scratch_;
  TKeyRow KeyRow_;
  std::size_t PreviousBlockSize_ = 0;
};

}  // namespace vantrel
