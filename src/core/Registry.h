#pragma once
// The program's one registry layer: reading a value in one query, writing text and numbers, and
// the open-write-close and open-delete-close steps that ignore every status.

#include <windows.h>

#include <string>

// True for the kinds of value that hold text.
bool IsStringType(DWORD type);

// Reads one value, in the common case with a single query. Returns false when the value is
// absent; throws Failure on any other refusal. `text` receives the value's text up to its first
// NUL, or nothing when the value is not text; `type` its kind.
bool QueryValue(HKEY key, const std::string& name, DWORD& type, std::string& text);

// Writes one value into an open key and returns the registry's status (0 on success). REG_SZ
// writes the text with its NUL; REG_DWORD writes the text's number as 4 bytes (a text that is not
// a whole number raises a Failure "Type mismatch"); any other type writes nothing and returns 0.
LONG SetValueData(HKEY key, const std::string& name, DWORD type, const std::string& data);

// Opens the key with `access`, writes the value, closes the key; every status is ignored.
void WriteRegValue(HKEY root, const std::string& subKey, REGSAM access, const std::string& name,
                   const std::string& data, DWORD type);
// Opens the key with `access`, deletes the value, closes the key; every status is ignored.
void DeleteRegValue(HKEY root, const std::string& subKey, REGSAM access, const std::string& name);
