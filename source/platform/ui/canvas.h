#pragma once
// The 2D canvas. Its process-wide lock serialises 2D drawing with 3D scenes: a 3D context holds it
// for a whole scene so no other thread draws through the canvas meanwhile.

#include "rtl/object.h"

namespace ui {

class TCanvas : public rtl::TObject {
  RTL_CLASS(TCanvas, rtl::TObject)
public:
  // The global canvas lock. It is re-entrant: the thread holding it may take it again and must
  // release it once per take. Unlock by a thread that does not hold it raises EInvalidOperation.
  static void Lock();
  static void Unlock();
  // Takes the lock when it is free or already held by the calling thread.
  static bool TryLock();

protected:
  TCanvas() = default;
};

} // namespace ui
