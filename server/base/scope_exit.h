// ScopeExit: runs an action when the scope ends, however it ends (return or
// exception), e.g. to end a pass at the nightly import gate.
#ifndef SERVER_BASE_SCOPE_EXIT_H_
#define SERVER_BASE_SCOPE_EXIT_H_

#include <utility>

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

#endif  // SERVER_BASE_SCOPE_EXIT_H_
