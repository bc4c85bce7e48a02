// Every result code the system stores through an error holder, and with that every
// exit code a run can end with. Codes are part of the interface with the client:
// values never change, and a code keeps its one meaning wherever it is stored.
#pragma once

#include <windows.h>

namespace rc {

inline constexpr LONG kSuccess = 0;

// ---- 3215 to 3223: the light cipher (lightCrypto_Manager) ----
inline constexpr LONG kLightNotInitialised = 3215;   // used before CryptoInit succeeded
inline constexpr LONG kLightUnknownInitType = 3216;  // init type other than 0, 1 and 2
inline constexpr LONG kLightGenerateFault = 3217;    // generating a key raised an exception
inline constexpr LONG kLightStoreNotOpened = 3219;   // the per-user key store cannot be opened
inline constexpr LONG kLightKeyNotRead = 3220;       // the stored key cannot be read
inline constexpr LONG kLightStoreNotCreated = 3222;  // the per-user key store cannot be created
inline constexpr LONG kLightKeyNotWritten = 3223;    // the key cannot be written

// ---- 3501 to 3515: the decryption proxies ----
inline constexpr LONG kProxyNotInitialised = 3501;  // decrypt before a successful init
inline constexpr LONG kProxyNoMemory = 3504;        // no memory for the work buffer
inline constexpr LONG kProxyNoContext = 3506;       // no CryptoAPI context
inline constexpr LONG kProxyNoHash = 3507;          // the key-derivation hash cannot be made
inline constexpr LONG kProxyNotHashed = 3508;       // the key material cannot be hashed
inline constexpr LONG kProxyNoKey = 3510;           // the key cannot be derived
inline constexpr LONG kProxyNoOutputArray = 3511;   // the output byte array cannot be made
inline constexpr LONG kProxyNotDecrypted = 3512;    // CryptDecrypt failed
inline constexpr LONG kProxyOutputFault = 3513;     // building the output raised an exception
inline constexpr LONG kProxyTooLong = 3515;         // the plaintext is longer than its input

// ---- 7001 to 7033: the command handlers ----
inline constexpr LONG kKeyNotWritable = 7001;         // a key cannot be created or opened to write
inline constexpr LONG kValueNotWritten = 7002;        // a value cannot be written
inline constexpr LONG kEnrolObjectNotCreated = 7003;  // an enrolment object cannot be created
inline constexpr LONG kEnrolNotForMachine = 7004;     // enrolment cannot be set to the machine
inline constexpr LONG kCertNotInstalled = 7005;       // installing the certificate failed
inline constexpr LONG kCertInstallFault = 7006;       // installing it raised an exception
inline constexpr LONG kUnknownCommand = 7007;         // the letter is no command
inline constexpr LONG kNotANumber = 7008;             // 'H': not a non-zero number
inline constexpr LONG kBadHive = 7009;                // hive letter neither 'C' nor 'L'
inline constexpr LONG kBadValueType = 7010;           // value type letter not 'B', 'D' or 'S'
// The field count does not fit the letter; 'B' and 'N' give it too when decoding
// the value data or the check blob raises an exception.
inline constexpr LONG kWrongFieldCount = 7011;
inline constexpr LONG kDecodesToNothing = 7012;  // data or check blob decodes to no bytes
inline constexpr LONG kBlobDiffers = 7013;       // the check blob decrypts to other bytes
inline constexpr LONG kBlobWrongLength = 7014;   // ... or to another number of bytes
inline constexpr LONG kNoBlobArray = 7015;       // the check blob's byte array cannot be made
inline constexpr LONG kBlobArrayFault = 7016;    // making or filling it raised an exception
inline constexpr LONG kCertTextFault = 7017;     // formatting the certificate text raised one
inline constexpr LONG kStoreBlobFault = 7018;    // storeBlob raised one outside the decoding
inline constexpr LONG kCheckBlobFault = 7019;    // checkBlob raised one elsewhere
inline constexpr LONG kSplitFault = 7020;        // splitting the fields of 'B' or 'N' raised one
inline constexpr LONG kRightsFailed = 7021;      // 'R': not started, over 60 s, or an exception
inline constexpr LONG kAuthorityNotInstalled = 7022;  // installing the authority certificate failed
inline constexpr LONG kAuthorityInstallFault = 7023;  // installing it raised an exception
inline constexpr LONG kKeyNotDeleted = 7024;          // 'D': the key cannot be deleted
inline constexpr LONG kParentNotOpened = 7025;        // 'D': the parent key cannot be opened
inline constexpr LONG kDeleteFault = 7026;            // 'D': the deletion raised an exception
inline constexpr LONG kRequestNotCreated = 7027;      // the older interface made no request
inline constexpr LONG kCreateRequestFault = 7028;     // createPKCS10 raised an exception
inline constexpr LONG kCommandFileFailed = 7031;      // the command file cannot be taken over
inline constexpr LONG kUnknownSelector = 7033;        // cipher selector other than 0 and 1

// ---- 7500 to 7518: the certificate store ----
inline constexpr LONG kCertNotFound = 7500;     // no certificate with that subject
inline constexpr LONG kStoreNotOpened = 7501;   // the certificate store cannot be opened
inline constexpr LONG kNameNotRendered = 7502;  // a name renders empty or not at all
inline constexpr LONG kNameRenderFault = 7503;  // rendering a name raised an exception
inline constexpr LONG kCheckKeyFault = 7504;    // checkPrivateKey raised an exception
inline constexpr LONG kCheckKeyNoCert = 7505;   // no store or no certificate for the check
inline constexpr LONG kNoKeyProvInfo = 7506;    // the key-provider information is unreadable
inline constexpr LONG kNoKeyProvMemory = 7507;  // no memory for that information
inline constexpr LONG kNoKeyContainer = 7508;   // the key container cannot be acquired
inline constexpr LONG kNoExchangeKey = 7509;    // the container has no key-exchange key
inline constexpr LONG kNoPrivateKey = 7510;     // the private key cannot be obtained
inline constexpr LONG kReadKeyFault = 7511;     // reading the private key raised an exception
inline constexpr LONG kCertNotDeleted = 7518;   // deleting the certificate failed

}  // namespace rc
