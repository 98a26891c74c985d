#pragma once
// Facts about the display and the keyboard that the host (a presenter) knows and the framework
// asks for. Each is a replaceable query: tests and presenters install their own, nullptr restores
// the default. UI thread only.

#include <cstdint>
#include <functional>

namespace ui {

// Hz of the display the application shows on; 0 when unknown.
using TRefreshRateProvider = std::function<int32_t()>;

// The installed provider's answer; the default answers 0.
int32_t GetDisplayRefreshRate();
// Installs AProvider and returns the one it replaces; then sends TDisplayChangedMessage with
// the new rate, since the display the framework sees has changed.
TRefreshRateProvider SetDisplayRefreshRateProvider(TRefreshRateProvider AProvider);

// Virtual key codes the framework asks about.
inline constexpr uint16_t vkShift = 0x10;
inline constexpr uint16_t vkControl = 0x11;
inline constexpr uint16_t vkMenu = 0x12;
inline constexpr uint16_t vkLMenu = 0xA4;

// Whether the key is held now.
using TKeyStateQuery = std::function<bool(uint16_t AKey)>;

// The installed query's answer; the default says every key is up.
bool IsKeyDown(uint16_t AKey);
// Installs AQuery and returns the one it replaces.
TKeyStateQuery SetKeyStateQuery(TKeyStateQuery AQuery);

} // namespace ui
