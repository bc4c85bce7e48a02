// Reading DER, as far as certutil's listings need it: the elements of a sequence,
// object identifiers in dotted form, integers' bit lengths. pwmachine is a Win32
// program: it has no ASN.1 library, and the platform's decoder covers less than the
// listings show (a request's attributes, each extension's contents).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace pwm::der {

struct Element {
  BYTE tag = 0;
  std::string_view content;  // the value's bytes
  std::string_view whole;    // tag, length and value
};

// The element at the start of `bytes`; false when it does not parse or overruns.
bool read(std::string_view bytes, Element* element);
// The elements one after another in `bytes` (a constructed element's content); false
// when any does not parse.
bool children(std::string_view bytes, std::vector<Element>* elements);
// An OBJECT IDENTIFIER's content in dotted form ("2.5.29.37"); empty when malformed.
std::string oid(std::string_view content);
// The bits of an INTEGER's content without its leading zero bytes.
DWORD integerBits(std::string_view content);

inline constexpr BYTE kBoolean = 0x01;
inline constexpr BYTE kInteger = 0x02;
inline constexpr BYTE kBitString = 0x03;
inline constexpr BYTE kOctetString = 0x04;
inline constexpr BYTE kOid = 0x06;
inline constexpr BYTE kSequence = 0x30;
inline constexpr BYTE kSet = 0x31;
inline constexpr BYTE kContext0 = 0xA0;           // [0], constructed
inline constexpr BYTE kContext0Primitive = 0x80;  // [0] IMPLICIT, primitive

}  // namespace pwm::der
