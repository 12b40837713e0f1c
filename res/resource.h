#pragma once
// Resource identifiers shared by parvalisk.rc and the code.
#define IDI_PROGRAM_ICON 101  // the program icon: 32x32 at 24 bits; 256, 128 and 48 at 32 bits
#define IDI_TRAY_ICON 102     // the 16x16 tray icon: a blue K on light cyan
