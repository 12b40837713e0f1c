#include "core/Administrator.h"

// Placeholder until the administrator check is built.
bool modAdmin::IsAdministrator() { return false; }
