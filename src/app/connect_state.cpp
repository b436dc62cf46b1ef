#include "app/connect_state.h"

namespace vantrel {

namespace {
constexpr TRgbColor kMaroon{128, 0, 0};
constexpr TRgbColor kGreen{0, 128, 0};
}  // namespace

TConnectState ConnectStateOf(bool paused, bool online) {
  if (paused)
    return TConnectState::Paused;
  return online ? TConnectState::Connected : TConnectState::Disconnected;
}

std::string ConnectStateText(TConnectState state) {
  switch (state) {
    case TConnectState::Disconnected:
      return "Disconnected";
    case TConnectState::Connected:
      return "Connected";
    case TConnectState::Paused:
      return "Paused";
  }
  return {};
}

TRgbColor ConnectStateColor(TConnectState state) {
  return state == TConnectState::Connected ? kGreen : kMaroon;
}

}  // namespace vantrel
