#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// What the status bar's second panel shows: the user's pause first, then
// whether the connection detector sees a connection.
enum class TConnectState : std::uint8_t { Disconnected = 0, Connected = 1, Paused = 2 };

struct TRgbColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;

  bool operator==(const TRgbColor&) const = default;
};

TConnectState ConnectStateOf(bool paused, bool online);

// "Disconnected", "Connected", "Paused".
std::string ConnectStateText(TConnectState state);
// Maroon for the two states without checking, green for "Connected".
TRgbColor ConnectStateColor(TConnectState state);

}  // namespace vantrel
