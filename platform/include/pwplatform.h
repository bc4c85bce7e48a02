// What the emulated workstation offers beyond Win32: the machine's own administration.
// Only the portable platform has these calls; programs that use them (pwmachine's
// administration verbs, the platform itself) are portable-only in those places.
#pragma once

#include <windows.h>

// Keys owned by the system. The registry functions cannot delete such a key or any key
// below it (ERROR_ACCESS_DENIED, as Windows denies administrators the keys the
// operating system owns); they can still create keys below it, which then belong to
// the system too, and read and write its values. The machine's own settings
// (HKLM\Software\PwPlatform) are owned by the system from its first boot.

// Creates the key `lpSubKey` of `hKey` (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) when it
// is missing and marks it, with every key below it, as owned by the system.
LSTATUS WINAPI PwMarkSystemKeyA(HKEY hKey, LPCSTR lpSubKey);

// Deletes the key `lpSubKey` of `hKey` with everything below it, whether the system owns
// it or not. Hive roots (HKLM\SOFTWARE, ...) stay: ERROR_ACCESS_DENIED.
LSTATUS WINAPI PwDeleteSystemKeyA(HKEY hKey, LPCSTR lpSubKey);

// The machine's fault points, for the tests of the programs and components built on it:
// TRUE, with the error armed there in *error, when the call at the point named must fail
// now (its name as the platform's tests arm it: "IX509Enrollment_Initialize", a Win32
// function's name, ...); FALSE otherwise. Only code in the process arms points (the unit
// tests): in any other run the answer is FALSE. A point armed to raise answers FALSE.
BOOL WINAPI PwFaultPointA(LPCSTR point, DWORD* error);

// The host path (UTF-8) of a file or folder of the machine, as a Windows emulator's
// kernel hands its Unix file name to the libraries that keep data beside a file. The
// size protocol of GetFullPathNameA: the length without the terminator when the buffer
// holds it, else the size it needs; 0 and the last error when the path names no place
// (ERROR_PATH_NOT_FOUND when a folder on the way is missing).
DWORD WINAPI PwGetHostPathA(LPCSTR lpPath, LPSTR lpBuffer, DWORD nBufferLength);
