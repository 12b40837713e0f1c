#include "app/Form1.h"

// Placeholder until the list commands are built.
void Form1::PushButton3_Click() {}
void Form1::PushButton6_Click() {}
void Form1::ListView1_DblClick() {}
void Form1::ListView1_KeyDown(int, int) {}
