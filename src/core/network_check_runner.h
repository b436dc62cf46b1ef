#pragma once

#include <memory>

#include "core/check_network.h"
#include "core/check_runner.h"

namespace vantrel {

// One check as a checker runs it on its own thread: the check of the
// request's method over `network`, then, when it failed and the item asks for
// it, the connection test over the request's test servers. A check that was
// cancelled skips the connection test, whose servers would all seem silent.
TCheckResult RunCheck(const TCheckRequest& request, TCheckNetwork& network);

// The checker's runner over the real network.
class TNetworkCheckRunner final : public TCheckRunner {
 public:
  explicit TNetworkCheckRunner(TServicePorts ports = {});
  // Over another network (scripted outcomes in tests).
  explicit TNetworkCheckRunner(std::unique_ptr<TCheckNetwork> network);

  TCheckResult Run(const TCheckRequest& request) override;
  // Aborts the network object in use; Run then returns with what it has, and
  // a Run that starts later returns at once with nothing measured.
  void Cancel() override { Network_->Cancel(); }

 private:
  const std::unique_ptr<TCheckNetwork> Network_;
};

// Makes a TNetworkCheckRunner per checker, for the scheduler's context.
// `ports` are the services' ports (the standard ones unless a test says
// otherwise).
TCheckRunnerFactory NetworkCheckRunnerFactory(TServicePorts ports = {});

}  // namespace vantrel
