#pragma once

namespace vantrel {

// Holds an update of a view or of the watch list (BeginUpdate ... EndUpdate)
// for the life of the scope, so that an exception on the way still ends it.
template <class TTarget>
class TUpdateScope {
 public:
  explicit TUpdateScope(TTarget& target) : Target_(target) { Target_.BeginUpdate(); }
  ~TUpdateScope() { Target_.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  TTarget& Target_;
};

}  // namespace vantrel
