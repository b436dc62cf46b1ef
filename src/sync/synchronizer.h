#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/watch_types.h"
#include "platform/main_loop.h"
#include "storage/history_record.h"
#include "sync/service_client.h"

namespace vantrel {

class TWatchList;

// What a periodic run needs of the monitor. Each is called on the main thread
// while the run's thread waits.
class TSyncHost {
 public:
  virtual ~TSyncHost() = default;
  // Takes the settings, sets the synchronizing flag, logs "Start
  // synchronization URL" and shows it; the address to use.
  virtual TServiceAddress BeginSync() = 0;
  // Applies the confirmed items in order (history of deleted known items
  // removed, the scheduler told, the views refreshed).
  virtual void ApplyServiceItems(const TServerItemList& items) = 0;
  // The results batch waiting for the service (prepared first).
  virtual THistoryArray ReadResultsBatch() = 0;
  // The service took the whole batch.
  virtual void CommitResultsBatch() = 0;
  // Clears the flag and logs "End synchronization URL", "Response Code:
  // ITEMS/STATS" and `problem` (an answer that could not be read), "Done".
  virtual void EndSync(const std::string& url, std::int32_t itemsCode, std::int32_t statsCode,
                       const std::string& problem) = 0;
};

// The periodic synchronization: one run at a time on a thread of its own.
// Items are fetched and confirmed, applied only when the confirm was taken;
// the results batch goes in requests of a thousand and is committed only when
// every request was taken, otherwise sent whole again next time.
class TSynchronizer {
 public:
  // `loop` and `host` must outlive this object.
  TSynchronizer(TMainLoop& loop, TSyncHost& host) : Loop_(loop), Host_(host) {}
  // Cuts a run under way short and waits for its thread (main thread, after
  // the loop has begun shutting down, so that its steps are refused).
  ~TSynchronizer();
  TSynchronizer(const TSynchronizer&) = delete;
  TSynchronizer& operator=(const TSynchronizer&) = delete;

  // Main thread: starts a run unless one is under way (false then).
  bool Start();
  bool Running() const { return Running_; }

  // A whole run on the calling thread (the run's thread, or a test). False
  // when the loop refused a step (shutting down).
  static bool Run(TMainLoop& loop, TSyncHost& host,
                  const std::function<void(TServiceClient*)>& current = {});

 private:
  TMainLoop& Loop_;
  TSyncHost& Host_;
  std::thread Thread_;
  std::atomic<bool> Running_{false};
  std::mutex Mutex_;
  TServiceClient* Client_ = nullptr;  // of the run under way, for the destructor
};

// The on-demand run (the "Synchronize" action), on the main thread: the full
// list of the service applied at once, nothing confirmed or uploaded. True
// when the service answered 200 with a list that could be read whole; an
// answer that cannot be read applies nothing.
bool SynchronizeNow(TServiceClient& client, TWatchList& list);

// The service test: the status of the "test" request and the text to show
// for it (empty for 200).
std::string ServiceTestMessage(std::int32_t status);

inline constexpr const char* kSyncFailedMessage =
    "Synchronization failed. Please check the server software.";

}  // namespace vantrel
