#pragma once
// What the presenter reports from the window, as plain structs: the form layer turns them into
// mouse calls, resizes and closes. Positions are client pixels.

#include <cstdint>

namespace present {

enum class TEventKind : uint8_t { MouseDown, MouseMove, MouseUp, MouseWheel, Resize, Close };

enum class TMouseButton : uint8_t { Left, Right, Middle };

// Modifier and button flags of an event.
inline constexpr uint32_t ShiftFlag = 1;
inline constexpr uint32_t AltFlag = 2;
inline constexpr uint32_t CtrlFlag = 4;
inline constexpr uint32_t LeftFlag = 8;
inline constexpr uint32_t RightFlag = 16;
inline constexpr uint32_t MiddleFlag = 32;

struct TPresentEvent {
  TEventKind Kind = TEventKind::MouseMove;
  TMouseButton Button = TMouseButton::Left;
  uint32_t Shift = 0;
  float X = 0;
  float Y = 0;
  // One wheel notch is 120, positive away from the user.
  int WheelDelta = 0;
  // The new client size of a Resize.
  int ClientWidth = 0;
  int ClientHeight = 0;
};

// A view of 32-bit pixels laid out B, G, R, A in memory, rows AStride bytes apart.
struct TPixels {
  const void* Data = nullptr;
  int Width = 0;
  int Height = 0;
  int Stride = 0;
};

} // namespace present
