#include "app/Form1.h"

// Placeholder until closing and tray hiding are built.
void Form1::Form_Resize() {}
void Form1::Form_QueryUnload() {}
void Form1::cSysTray1_MouseUp(int, int) {}
