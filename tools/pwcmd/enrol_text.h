// The enrolment side of the client: the authority's answer as the text of a 'C' or
// 'A' command, and the request that 'Q' left in the registry as a PEM file's text.
#pragma once

#include <string>

// The command text "<letter>,<base64>" for the certificate or PKCS #7 message in the
// file at `path` (PEM or DER): base64 in lines of 64 characters, each line followed by
// ':' where the authority's text has a line break.
bool answerCommand(char letter, const std::string& path, std::string* text, std::string* failure);

// The stored request (value "9kHWID_CertRequest" of HKLM\Software\Velmora\Tessera\Request)
// between PEM's certificate request lines.
bool requestPem(std::string* pem, std::string* failure);
