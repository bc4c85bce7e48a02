#include "registry/hwid_number.h"

#include <cstdint>

LONG parseHwidNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + uint32_t(*p - '0');
  if (negative) value = 0u - value;
  return LONG(value);
}
