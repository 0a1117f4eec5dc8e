#pragma once
// The part of cryptlib's published interface that Quillobrand uses, implemented over OpenSSL in cryptlib32.so.
// The program itself never links this library: it loads it at run time and looks the functions up by name.
//
// Fixed time-outs of 30 s: name look-up and connecting together, the handshake, and each flush for as long as no
// byte can be sent. A flush ends only once the peer has taken every byte (the socket's send queue is empty, as
// far as the system shows it), so a caller's wait for the answer starts when the peer has the whole of its data. Trust
// comes from OpenSSL's default verify paths, so SSL_CERT_FILE and SSL_CERT_DIR apply; they are read at each handshake.
// A session given a pinned fingerprint trusts that one certificate instead.
// No C++ exception leaves a function of this interface.

#ifdef __cplusplus
extern "C" {
#endif

#define CRYPT_OK 0
#define CRYPT_UNUSED (-101)
#define CRYPT_SESSION_SSL 3
#define CRYPT_SESSINFO_ACTIVE 6001
#define CRYPT_SESSINFO_SERVER_NAME 6008
#define CRYPT_SESSINFO_SERVER_PORT 6009
#define CRYPT_SESSINFO_CLIENT_NAME 6011 /* read on an active session: the connection's local address, numeric */

/* This library's own session attributes, numbered past cryptlib's. */
/* 1 before activation: the activation only connects, and data goes in clear until CRYPT_SESSINFO_STARTTLS. */
#define CRYPT_SESSINFO_PLAINTEXT_FIRST 6901
/* 1 on an active session still in clear: the TLS handshake on the same connection, verified as at activation.
   Refused with CRYPT_ERROR_BADDATA when clear text the caller hasn't popped is still waiting. */
#define CRYPT_SESSINFO_STARTTLS 6902
/* Shortens the session's time-outs to 1 to 30000 ms, for tests; the program never sets it. */
#define CRYPT_SESSINFO_TIMEOUT_MS 6903
/* 0 (the default) or 1 to 30000: the longest one cryptFlushData waits. A flush whose step ends before the peer
   has taken every byte returns CRYPT_ERROR_INCOMPLETE and goes on where it stopped at the next call, so that the
   caller can do other work (repaint a window) meanwhile; the no-progress time-out counts across those calls. */
#define CRYPT_SESSINFO_FLUSH_STEP_MS 6904
/* The server's own certificate as the session's last handshake saw it, accepted or refused; CRYPT_ERROR_NOTFOUND
   before a handshake has seen one (cryptGetAttributeString). */
#define CRYPT_SESSINFO_SERVER_CERT_FINGERPRINT 6905 /* 32 bytes: SHA-256 over its DER encoding */
#define CRYPT_SESSINFO_SERVER_CERT_SUBJECT 6906 /* one line of text, "CN = localhost" */
#define CRYPT_SESSINFO_SERVER_CERT_ISSUER 6907
#define CRYPT_SESSINFO_SERVER_CERT_VALIDFROM 6908 /* "2026-12-10 14:05:00 UTC" */
#define CRYPT_SESSINFO_SERVER_CERT_VALIDTO 6909
/* Why the handshake refused that certificate (cryptGetAttribute): one of the CRYPT_CERTPROBLEM values. */
#define CRYPT_SESSINFO_SERVER_CERT_PROBLEM 6910
#define CRYPT_CERTPROBLEM_NONE 0
/* Not from an issuer this computer trusts, or not the pinned certificate: pinning it would let it through. */
#define CRYPT_CERTPROBLEM_UNTRUSTED 1
/* It names another server, and the server is not this computer: pinning it would not help. */
#define CRYPT_CERTPROBLEM_NAME 2
/* 32 bytes before activation (cryptSetAttributeString): the SHA-256 fingerprint of the one certificate the session
   accepts, whoever issued it; the system's trusted issuers are then not asked. The certificate must still name the
   server, unless the server is 127.0.0.1, ::1 or localhost. */
#define CRYPT_SESSINFO_PINNED_FINGERPRINT 6911

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
C_RET cryptGetAttribute(int cryptHandle, int attributeType, int* value);
C_RET cryptSetAttributeString(int cryptHandle, int attributeType, const void* value, int valueLength);
/* value null: only the length is given back; otherwise *valueLength is the room at value on entry. */
C_RET cryptGetAttributeString(int cryptHandle, int attributeType, void* value, int* valueLength);
C_RET cryptPushData(int envelope, const void* buffer, int length, int* bytesCopied);
C_RET cryptFlushData(int envelope);
C_RET cryptPopData(int envelope, void* buffer, int length, int* bytesCopied);
C_RET cryptCreateEnvelope(int* envelope, int cryptUser, int formatType);
C_RET cryptDestroyEnvelope(int envelope);

#ifdef __cplusplus
}
#endif
