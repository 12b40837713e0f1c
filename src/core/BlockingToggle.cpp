#include "app/Form1.h"

// Placeholder until the Start/Stop and Help buttons are built.
void Form1::PushButton1_Click() {}
void Form1::PushButton2_Click() {}
