// The few DER structures the engine assembles itself, around parts that CryptoAPI
// encodes: a request's CertificationRequestInfo (Wine's crypt32 has no encoder for
// X509_CERT_REQUEST_TO_BE_SIGNED) and the retagging of an attribute set as the
// request's [0] field.
#pragma once

#include "components/certenroll/enrolment.h"

#include <initializer_list>

namespace pw::enrol::der {

// A constructed value of `tag` holding `parts` one after the other.
Bytes constructed(BYTE tag, std::initializer_list<const Bytes*> parts);

inline constexpr BYTE kSequence = 0x30;
inline constexpr BYTE kSet = 0x31;
inline constexpr BYTE kContext0 = 0xA0;  // [0] IMPLICIT, constructed

// INTEGER 0
inline const Bytes kVersion1{0x02, 0x01, 0x00};

}  // namespace pw::enrol::der
