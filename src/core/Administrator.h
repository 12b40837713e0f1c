#pragma once
// modAdmin: whether the account running the program is a member of the built-in Administrators
// group (S-1-5-32-544), by comparing account names of the token's groups.

namespace modAdmin {
bool IsAdministrator();
}
