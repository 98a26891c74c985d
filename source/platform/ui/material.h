#pragma once
// A material prepares a context for drawing (shaders, their variables, states) and undoes what
// needs undoing afterwards. The context calls Apply before and Reset after every draw with it.

#include "rtl/classes.h"

namespace ui {

class TContext3D;

class TMaterial : public rtl::TPersistent {
  RTL_CLASS(TMaterial, rtl::TPersistent)
public:
  void Apply(TContext3D* AContext) { DoApply(AContext); }
  void Reset(TContext3D* AContext) { DoReset(AContext); }

protected:
  TMaterial() = default;
  virtual void DoApply(TContext3D* AContext) = 0;
  // Most materials leave nothing behind that the next draw would trip over.
  virtual void DoReset(TContext3D*) {}
};

} // namespace ui
