#pragma once
// The two registry routines the windows and the port lookup use.

#include "platform/regkey.h"

#include <cstdint>
#include <string>

namespace corvana {

// Predefined root keys (the low 32 bits of the root argument).
inline constexpr int64_t HKEY_CURRENT_USER = platform::kCurrentUser;
inline constexpr int64_t HKEY_LOCAL_MACHINE = platform::kLocalMachine;

// Stores `data` as a string value; creates the key path if needed. Throws ERegistryError
// "Fehler beim Setzen der Daten für '<valueName>'" when the value cannot be written.
void RegWriteString(const std::string& keyPath, const std::string& valueName,
                    const std::string& data, int64_t rootKey);

// Reads a string value into `data`; the empty text on any failure. Never throws. Under
// HKEY_CURRENT_USER a missing key is created (empty); under HKEY_LOCAL_MACHINE nothing is.
void RegReadString(const std::string& keyPath, const std::string& valueName, std::string& data,
                   int64_t rootKey);

} // namespace corvana
