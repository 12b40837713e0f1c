#pragma once
// The main window's frames ("Startup Option", "Password") paint themselves whole.

#include "Controls.h"

// Makes `frame` paint its inside in its own back colour (the button face when it has none), its
// etched edge and its caption on that colour. A plain group box paints only its edge and caption,
// and its inside would keep whatever was on the screen before (black on a fresh display).
void PaintFrameWhole(Control& frame);
