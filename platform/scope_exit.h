// ScopeExit: runs an action when the scope ends, however it ends (return or
// exception): a pass ended at the nightly import gate, a statement reset for
// its next use. Any thread.
#ifndef PLATFORM_SCOPE_EXIT_H_
#define PLATFORM_SCOPE_EXIT_H_

#include <utility>

namespace platform {

template <typename Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ~ScopeExit() { action_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace platform

#endif  // PLATFORM_SCOPE_EXIT_H_
