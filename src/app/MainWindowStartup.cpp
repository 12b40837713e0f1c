#include "app/Form1.h"

#include "ui/Appearance.h"

// Placeholder until the start-up sequence is built.
void Form1::Form_Load() { SetWindowTextA(hwnd(), kProductName); }
