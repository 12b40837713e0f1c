#include "app/Form1.h"

// Placeholder until the start-up options are built.
void Form1::Check1_Click() {}
void Form1::Check8_Click() {}
