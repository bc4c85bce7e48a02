// The forced key: the 30 bytes built into the program. The light cipher installs
// them on its forced initialisation and falls back to them when no regedit file
// gives key bytes; the blob check of 'B' and 'N' decrypts under them. Every client
// that makes check blobs must hold the same 30 bytes.
#pragma once

#include <windows.h>

#include <span>

inline constexpr int kForcedKeyLength = 30;

std::span<const BYTE, kForcedKeyLength> forcedKey();
