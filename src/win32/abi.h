// The sizes and offsets the system relies on are those of a 32-bit Windows process,
// which the system is; the same source also builds as a 64-bit program (the one the
// tests run under Wine, and the portable build). Each file that depends on a layout
// checks it where it compiles, with the value for either width:
//
//   static_assert(sizeof(STARTUPINFOA) == win32::abiSize(68, 104));
#pragma once

#include <cstddef>

namespace win32 {

inline constexpr bool kIs32Bit = sizeof(void*) == 4;

// The size or offset a member has in a 32-bit process and in a 64-bit one.
constexpr std::size_t abiSize(std::size_t in32, std::size_t in64) {
  return kIs32Bit ? in32 : in64;
}

}  // namespace win32
