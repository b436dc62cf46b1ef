#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

// Item identifiers from 1 up (no other is ever handed out), gathered where
// adding must cost next to nothing: the history replay adds one per record,
// millions in a row. The list hands identifiers out in sequence, so small ones
// get a bit each; the rare larger ones go to a vector, deduplicated now and
// then.
class TIdSet {
 public:
  // Identifiers below this get a bit; the bits grow with the largest such one.
  static constexpr std::int32_t kBitLimit = 1 << 20;

  // Identifiers below 1 are left out.
  void Add(std::int32_t id) {
    const auto bit = static_cast<std::uint32_t>(id);
    if (id > 0 && bit < Bits_.size() * 64)
      Bits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    else if (id > 0)
      AddBeyondBits(id);
  }

  // The lowest identifier from 1 up that is neither in the set nor among
  // `taken`; nothing when every one is.
  std::optional<std::int32_t> LowestFree(std::vector<std::int32_t> taken) const;

 private:
  void AddBeyondBits(std::int32_t id);
  bool HasBit(std::int64_t id) const {
    return id < static_cast<std::int64_t>(Bits_.size()) * 64 &&
           (Bits_[static_cast<std::size_t>(id / 64)] >> (id % 64) & 1) != 0;
  }

  std::vector<std::uint64_t> Bits_;
  // Identifiers of kBitLimit and above, sorted and unique up to Unique_.
  std::vector<std::int32_t> Large_;
  std::size_t Unique_ = 0;
};

}  // namespace vantrel
