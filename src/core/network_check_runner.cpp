#include "core/network_check_runner.h"

#include <utility>

#include "net/internet_options.h"

namespace vantrel {

namespace {

TCheckResult RunMethod(const TCheckRequest& request, TCheckNetwork& network) {
  switch (request.CheckType) {
    case TCheckType::Ping:
      return JudgePing(network.Ping(request.Host, kPingCheckTimeout), request.Timeout);
    case TCheckType::Download:
      return JudgeDownload(network.Download(request.Host, request.Proxy, kDownloadCheckTimeout),
                           request.Timeout, request.SearchText, request.CaseSensitive);
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp:
      return JudgeGreeting(request.CheckType,
                           network.Greeting(request.Host, request.CheckType, kGreetingReadTimeout),
                           request.Timeout);
  }
  return {};
}

}  // namespace

TCheckResult RunCheck(const TCheckRequest& request, TCheckNetwork& network) {
  if (network.Cancelled())
    return {};
  TCheckResult result = RunMethod(request, network);
  if (result.Success || !request.CheckConnection || network.Cancelled())
    return result;
  const std::unique_ptr<TConnectionProbe> probe = network.ConnectionProbe(request.Proxy);
  const TConnectionTestResult test = RunConnectionTest(
      request.TestEnabled, request.TestServers,
      request.TestByDownload ? TInternetOptions::ByDownload : TInternetOptions::ByPing, *probe);
  // Probes that were cut short say nothing about the connection.
  if (!network.Cancelled())
    ApplyConnectionTest(result, test);
  return result;
}

TNetworkCheckRunner::TNetworkCheckRunner(TServicePorts ports)
    : Network_(std::make_unique<TSocketCheckNetwork>(std::move(ports))) {}

TNetworkCheckRunner::TNetworkCheckRunner(std::unique_ptr<TCheckNetwork> network)
    : Network_(std::move(network)) {}

TCheckResult TNetworkCheckRunner::Run(const TCheckRequest& request) {
  return RunCheck(request, *Network_);
}

TCheckRunnerFactory NetworkCheckRunnerFactory(TServicePorts ports) {
  return [ports = std::move(ports)]() -> std::unique_ptr<TCheckRunner> {
    return std::make_unique<TNetworkCheckRunner>(ports);
  };
}

}  // namespace vantrel
