// The light cipher's key stream, free of any state: the key, then the key in
// reverse order, then the key again, and so on, cut to the length of the data.
// lightCrypto_Manager builds its temporary key with it, and a client that makes
// 'N' check blobs encrypts with lightTransform.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

// Fills `out` with the stream of `key`, whose reversed bytes are `inverseKey`.
// Whole blocks alternate between the two, starting with the key; a last partial
// block takes the first bytes of whichever is next. Both spans have one length,
// at least 1 byte unless `out` is empty.
void fillLightKeyStream(std::span<const BYTE> key, std::span<const BYTE> inverseKey,
                        std::span<BYTE> out);

// `data` XOR the stream of `key`: encryption and decryption alike.
std::vector<BYTE> lightTransform(std::span<const BYTE> key, std::span<const BYTE> data);
