#include "app/Form1.h"

// Placeholder until hosts-file blocking is built.
void Form1::StartBlocking(bool) {}
void Form1::StopBlocking(bool) {}
