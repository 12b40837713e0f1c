#pragma once
// Whether a stored password value is kept as a hash, as the program itself tells: a value it
// takes for plain text is opened by typing that very text, while a hash never is (the text of a
// hash is not the password it stands for).

#include <string>

#include "PasswordHash.h"

inline bool IsPasswordHash(const std::string& stored) {
    return !stored.empty() && !PasswordMatches(stored, stored);
}
