#include "core/id_set.h"

#include <algorithm>
#include <limits>

namespace vantrel {

void TIdSet::AddBeyondBits(std::int32_t id) {
  if (id < kBitLimit) {
    // Doubled, so a replay climbing through the identifiers grows it rarely.
    const std::size_t words = static_cast<std::size_t>(id) / 64 + 1;
    Bits_.resize(std::min<std::size_t>(std::max(words, Bits_.size() * 2), kBitLimit / 64));
    Add(id);
    return;
  }
  // Records come in runs of one item, mostly.
  if (!Large_.empty() && Large_.back() == id)
    return;
  Large_.push_back(id);
  // Deduplicated when it has doubled: a few large identifiers recurring all
  // through a long history keep it small at a cost shared out over the adds.
  if (Large_.size() >= 2 * Unique_ + 64) {
    std::sort(Large_.begin(), Large_.end());
    Large_.erase(std::unique(Large_.begin(), Large_.end()), Large_.end());
    Unique_ = Large_.size();
  }
}

std::optional<std::int32_t> TIdSet::LowestFree(std::vector<std::int32_t> taken) const {
  taken.insert(taken.end(), Large_.begin(), Large_.end());
  std::sort(taken.begin(), taken.end());
  auto next = taken.begin();
  // Every step passes a bit or an identifier of `taken`, or ends the search.
  for (std::int64_t id = 1; id <= std::numeric_limits<std::int32_t>::max(); ++id) {
    if (HasBit(id))
      continue;
    while (next != taken.end() && *next < id)
      ++next;
    if (next == taken.end() || *next != id)
      return static_cast<std::int32_t>(id);
  }
  return std::nullopt;
}

}  // namespace vantrel
