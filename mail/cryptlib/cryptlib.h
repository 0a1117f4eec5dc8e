#pragma once
// The part of cryptlib's published interface that Quillobrand uses, implemented over OpenSSL in cryptlib32.so.
// The program itself never links this library: it loads it at run time and looks the functions up by name.
//
// Connecting (name look-up aside), the handshake and each flush are bounded by one time-out, 30 s unless the
// environment variable QB_CRYPTLIB_TIMEOUT_MS holds another positive number of milliseconds when cryptInit is
// called (the tests shorten it). Trust comes from OpenSSL's default verify paths, so SSL_CERT_FILE and
// SSL_CERT_DIR apply; they are read at each activation.

#ifdef __cplusplus
extern "C" {
#endif

#define CRYPT_OK 0
#define CRYPT_UNUSED (-101)
#define CRYPT_SESSION_SSL 3
#define CRYPT_SESSINFO_ACTIVE 6001
#define CRYPT_SESSINFO_SERVER_NAME 6008
#define CRYPT_SESSINFO_SERVER_PORT 6009

#define CRYPT_ERROR_PARAM1 (-1)
#define CRYPT_ERROR_PARAM2 (-2)
#define CRYPT_ERROR_PARAM3 (-3)
#define CRYPT_ERROR_PARAM4 (-4)
#define CRYPT_ERROR_PARAM5 (-5)
#define CRYPT_ERROR_PARAM6 (-6)
#define CRYPT_ERROR_PARAM7 (-7)
#define CRYPT_ERROR_MEMORY (-10)
#define CRYPT_ERROR_NOTINITED (-11)
#define CRYPT_ERROR_INITED (-12)
#define CRYPT_ERROR_NOSECURE (-13)
#define CRYPT_ERROR_RANDOM (-14)
#define CRYPT_ERROR_FAILED (-15)
#define CRYPT_ERROR_INTERNAL (-16)
#define CRYPT_ERROR_NOTAVAIL (-20)
#define CRYPT_ERROR_PERMISSION (-21)
#define CRYPT_ERROR_WRONGKEY (-22)
#define CRYPT_ERROR_INCOMPLETE (-23)
#define CRYPT_ERROR_COMPLETE (-24)
#define CRYPT_ERROR_TIMEOUT (-25)
#define CRYPT_ERROR_INVALID (-26)
#define CRYPT_ERROR_SIGNALLED (-27)
#define CRYPT_ERROR_OVERFLOW (-30)
#define CRYPT_ERROR_UNDERFLOW (-31)
#define CRYPT_ERROR_BADDATA (-32)
#define CRYPT_ERROR_SIGNATURE (-33)
#define CRYPT_ERROR_OPEN (-40)
#define CRYPT_ERROR_READ (-41)
#define CRYPT_ERROR_WRITE (-42)
#define CRYPT_ERROR_NOTFOUND (-43)
#define CRYPT_ERROR_DUPLICATE (-44)
#define CRYPT_ENVELOPE_RESOURCE (-50)

#define C_RET __attribute__((visibility("default"))) int

C_RET cryptInit(void);
C_RET cryptEnd(void);
C_RET cryptCreateSession(int* cryptSession, int cryptUser, int sessionType);
C_RET cryptDestroySession(int session);
C_RET cryptSetAttribute(int cryptHandle, int attributeType, int value);
C_RET cryptSetAttributeString(int cryptHandle, int attributeType, const void* value, int valueLength);
C_RET cryptPushData(int envelope, const void* buffer, int length, int* bytesCopied);
C_RET cryptFlushData(int envelope);
C_RET cryptPopData(int envelope, void* buffer, int length, int* bytesCopied);
C_RET cryptCreateEnvelope(int* envelope, int cryptUser, int formatType);
C_RET cryptDestroyEnvelope(int envelope);

#ifdef __cplusplus
}
#endif
