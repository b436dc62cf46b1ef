#include "sync/synchronizer.h"

#include "core/watch_list.h"
#include "sync/service_items.h"
#include "sync/service_results.h"

namespace vantrel {

namespace {

std::string ConfirmForm(const TServerItemList& items) {
  std::string form = "ids=";
  for (std::size_t i = 0; i < items.size(); ++i)
    form += (i ? "," : "") + std::to_string(items[i].ServiceId);
  return form;
}

}  // namespace

TSynchronizer::~TSynchronizer() {
  {
    std::lock_guard lock(Mutex_);
    if (Client_ != nullptr)
      Client_->Abort();
  }
  if (Thread_.joinable())
    Thread_.join();
}

bool TSynchronizer::Start() {
  if (Running_)
    return false;
  if (Thread_.joinable())
    Thread_.join();
  Running_ = true;
  Thread_ = std::thread([this] {
    Run(Loop_, Host_, [this](TServiceClient* client) {
      std::lock_guard lock(Mutex_);
      Client_ = client;
    });
    Running_ = false;
  });
  return true;
}

bool TSynchronizer::Run(TMainLoop& loop, TSyncHost& host,
                        const std::function<void(TServiceClient*)>& current) {
  TServiceAddress address;
  if (!loop.Synchronize([&] { address = host.BeginSync(); }))
    return false;
  TServiceClient client(address);
  if (current)
    current(&client);
  std::string problem;
  std::string body;
  std::int32_t itemsCode = client.Get(client.Query("items", true), &body);
  TServiceItems received;
  if (itemsCode == 200) {
    received = ParseServiceItems(body);
    if (!received.Error.empty()) {
      // Nothing of an answer that could not be read is confirmed or applied.
      problem = "the item list could not be read: " + received.Error;
      received.Items.clear();
    } else if (received.Refused > 0) {
      problem = std::to_string(received.Refused) + " items beyond " +
                std::to_string(kMaxServiceRecords) + " were refused";
    }
  }
  if (itemsCode == 200 && !received.Items.empty()) {
    itemsCode = client.Post(client.Query("confirm", false), ConfirmForm(received.Items));
    if (itemsCode == 200 && !loop.Synchronize([&] { host.ApplyServiceItems(received.Items); })) {
      if (current)
        current(nullptr);
      return false;
    }
  }
  THistoryArray batch;
  std::int32_t statsCode = 0;
  bool ok = loop.Synchronize([&] { batch = host.ReadResultsBatch(); });
  if (ok && !batch.empty()) {
    statsCode = 500;
    for (const std::string& form : ServiceResultBodies(batch)) {
      statsCode = client.Post(client.Query("stats", false), form);
      if (statsCode != 200)
        break;
    }
    if (statsCode == 200)
      ok = loop.Synchronize([&] { host.CommitResultsBatch(); });
  }
  if (current)
    current(nullptr);
  return ok && loop.Synchronize([&] { host.EndSync(address.Url, itemsCode, statsCode, problem); });
}

bool SynchronizeNow(TServiceClient& client, TWatchList& list) {
  std::string body;
  if (client.Get(client.Query("sync", true), &body) != 200)
    return false;
  const TServiceItems received = ParseServiceItems(body);
  if (!received.Error.empty())
    return false;
  list.BeginUpdate();
  for (const TServerItem& item : received.Items)
    list.ApplyServiceRecord(item);
  list.EndUpdate();
  return true;
}

std::string ServiceTestMessage(std::int32_t status) {
  if (status == 200)
    return "";
  if (status == 401)
    return "The password is incorrect. Please check service password.";
  return "The web service could not be activated. Please check the URL. Note that server "
         "software should be installed on the URL.";
}

}  // namespace vantrel
