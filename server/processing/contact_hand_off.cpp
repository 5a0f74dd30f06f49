#include "server/processing/contact_hand_off.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "server/base/event_log.h"

namespace {

const char* Reports(size_t count) { return count == 1 ? "report" : "reports"; }

}  // namespace

void ContactHandOff::Add(AgentContact contact) { waiting_.push_back({std::move(contact), 0}); }

std::chrono::milliseconds ContactHandOff::RetryPause() const {
  std::chrono::milliseconds pause = kFirstRetryPause;
  for (int i = 1; i < failed_tries_ && pause < kLongestRetryPause; ++i) pause *= 2;
  return std::min(pause, kLongestRetryPause);
}

size_t ContactHandOff::Try(const platform::StopCheck& stop) {
  if (waiting_.empty()) return 0;
  ToolRunResult result;
  size_t recorded = 0;
  if (!older_tool_) {
    std::vector<AgentContact> contacts;
    contacts.reserve(waiting_.size());
    for (const Waiting& w : waiting_) contacts.push_back(w.contact);
    result = RecordContacts(contacts, stop);
    if (result.status == ToolRun::kRecorded) recorded = waiting_.size();
    if (result.status == ToolRun::kUnknownMode) {
      older_tool_ = true;
      WriteEventLog(
          "ledgerix does not know \"ledgerix record\" (an older version): each agent report is "
          "recorded with a run of \"ledgerix 6\" of its own");
    }
  }
  if (older_tool_) result = RecordOneByOne(&recorded, stop);
  waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<ptrdiff_t>(recorded));
  if (result.status == ToolRun::kFailed) {
    Failed(result.problem);
  } else if (result.status == ToolRun::kRecorded) {
    failed_tries_ = 0;
  }
  return recorded;
}

ToolRunResult ContactHandOff::RecordOneByOne(size_t* recorded, const platform::StopCheck& stop) {
  for (const Waiting& w : waiting_) {
    ToolRunResult result =
        RecordContactInfo(w.contact.user, w.contact.computer, w.contact.ip, stop);
    if (result.status != ToolRun::kRecorded) return result;
    ++*recorded;
  }
  return {ToolRun::kRecorded, ""};
}

void ContactHandOff::Failed(const std::string& problem) {
  // One by one, the failed contact is the first left, and those after it
  // were not tried: they keep their tries. A batch was tried whole.
  const size_t tried = older_tool_ ? 1 : waiting_.size();
  for (size_t i = 0; i < tried; ++i) ++waiting_[i].tries;
  if (failed_tries_++ == 0) {
    WriteEventLog(EventPriority::kWarning,
                  "%zu agent %s not recorded: %s; tried again, up to %d times", waiting_.size(),
                  Reports(waiting_.size()), problem.c_str(), kMaxTries);
  }
  size_t given_up = 0;
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (it->tries >= kMaxTries) {
      it = waiting_.erase(it);
      ++given_up;
    } else {
      ++it;
    }
  }
  if (given_up > 0) {
    WriteEventLog(EventPriority::kError, "%zu agent %s given up after %d tries: %s", given_up,
                  Reports(given_up), kMaxTries, problem.c_str());
  }
}
