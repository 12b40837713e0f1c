#pragma once
// The shell's open-file dialog and ShellExecute may call on COM components, which need the
// calling thread in a single-threaded apartment. The program's thread joins one at the first
// such call rather than at every start, and COM's library (ole32) is loaded only then.

// Joins this thread to a single-threaded apartment, once; later calls do nothing.
void JoinComApartment();

// Leaves the apartment if JoinComApartment joined one (at the program's end).
void LeaveComApartment();
