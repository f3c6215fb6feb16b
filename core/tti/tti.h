/*
 * TTI: our time-stamp library (RFC 3161) on OpenSSL, with a C interface.
 *
 * Every function but the digest triples returns an int code: 0 success, negative an
 * error (TTI_E_...); none throws. Buffers belong to the caller; a length passed by address
 * is the capacity on entry and the length written on return; a buffer too small gives
 * TTI_E_BUFFER_TOO_SMALL with the length needed. Records are little-endian with
 * zero-terminated texts; their layout is fixed (pinned by the static_asserts at the end of
 * this header) because stored data and callers rely on every offset. A decoder writes its
 * record only on success. Arguments named reserved are ignored. BER and DER are read.
 *
 * Untrusted bytes never overrun a record. Texts that are only shown (status text, TSA
 * name, the TAC's holder and issuer) are cut to their field at a UTF-8 character boundary;
 * a policy OID too long for its field keeps its start and ends with TTI_CUT_MARK, so it
 * can never equal an OID; any other value that does not fit its field gives
 * TTI_E_INTERNAL_BUFFER. See docs/tti.md for the code of every case.
 */
#ifndef MIVO_CORE_TTI_TTI_H
#define MIVO_CORE_TTI_TTI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
enum {
    TTI_OK = 0,
    TTI_E_INVALID_PARAMETER = -1,
    TTI_E_MEMORY = -2,
    TTI_E_BUFFER_TOO_SMALL = -3,
    TTI_E_INTERNAL_BUFFER = -4, /* a decoded value does not fit its record field */
    TTI_E_ASN_UNEXPECTED = -5,
    TTI_E_ASN_FORMAT = -6, /* the bytes are not the expected structure */
    TTI_E_INVALID_TOKEN = -7,
    TTI_E_SIGNATURE = -8,
    TTI_E_NOT_GRANTED = -9,
    TTI_E_NO_TOKEN = -10,
    TTI_E_LENGTH = -11,     /* framed reply: length disagrees with its header */
    TTI_E_TCP_HEADER = -12, /* framed reply: not a time-stamp response message */
    TTI_E_NOT_SUPPORTED = -13,
    TTI_E_NO_SIGNER_CERT = -14,
    TTI_E_NO_TAC = -15,
    TTI_E_TAC_IMPRINT = -16,
    TTI_E_TAC_NO_POLICY = -17
};

/* Message types of the RFC 3161 TCP framing (length, one-byte type, value). */
enum {
    TTI_MSG_TSA = 0,
    TTI_MSG_POLL_REP = 1,
    TTI_MSG_POLL_REQ = 2,
    TTI_MSG_NEG_POLL_REP = 3,
    TTI_MSG_PARTIAL_MSG_REP = 4,
    TTI_MSG_FINAL_MSG_REP = 5,
    TTI_MSG_ERROR_MSG_REP = 6
};

/* Ends a policy OID text that was cut to its field ("\u2026", the ellipsis, in UTF-8): a
 * dotted OID holds only digits and dots, so a marked text never matches one. */
#define TTI_CUT_MARK "\xE2\x80\xA6"

#define TTI_REQUEST_SIZE 440
#define TTI_TSTINFO_SIZE 1044
#define TTI_CERTINFO_SIZE 2556

/* Request record (440 bytes), zeroed before it is filled. */
typedef struct TTI_REQUEST {
    int32_t nSize;             /* 0: 440 */
    char szHashOid[128];       /* 4: hash algorithm OID, dotted text */
    unsigned char digest[128]; /* 132 */
    int32_t nDigestLen;        /* 260 */
    char szPolicyOid[128];     /* 264: all zero when no policy is requested */
    unsigned char nonce[40];   /* 392 */
    int32_t nNonceLen;         /* 432: 0 for no nonce */
    int32_t bCertReq;          /* 436 */
} TTI_REQUEST;

/* Status record (88 bytes), filled by TTI_GetTSR_Status. */
typedef struct TTI_STATUS {
    int32_t nStatus;       /* 0: 0 granted, 1 granted with modifications, other: refusal */
    char szStatusText[80]; /* 4 */
    int32_t nFailInfo;     /* 84 */
} TTI_STATUS;

/* TSTInfo record (1044 bytes); nSize must be 1044 on entry. */
typedef struct TTI_TSTINFO {
    int32_t nSize;             /* 0 */
    int32_t nVersion;          /* 4 */
    char szPolicyOid[128];     /* 8 */
    char szHashOid[128];       /* 136 */
    unsigned char digest[128]; /* 264 */
    int32_t nDigestLen;        /* 392 */
    unsigned char serial[40];  /* 396: big-endian */
    int32_t nSerialLen;        /* 436 */
    char szGenTime[32];        /* 440: GeneralizedTime text */
    int32_t nAccuracySec;      /* 472 */
    int32_t nAccuracyMillis;   /* 476 */
    int32_t nAccuracyMicros;   /* 480 */
    int32_t nOrdering;         /* 484 */
    unsigned char nonce[40];   /* 488 */
    int32_t nNonceLen;         /* 528: 0 when the token has no nonce */
    char szTsaName[512];       /* 532: UTF-8 */
} TTI_TSTINFO;

/* TAC timing metrics (72 bytes). */
typedef struct TTI_TIMING_METRICS {
    char szNtpTime[32];    /* 0 */
    float fOffset;         /* 32: seconds */
    float fDelay;          /* 36: seconds */
    char szExpiration[32]; /* 40 */
} TTI_TIMING_METRICS;

/* TAC timing policy (136 bytes). */
typedef struct TTI_TIMING_POLICY {
    char szPolicyOid[128]; /* 0 */
    float fMaxOffset;      /* 128: seconds */
    float fMaxDelay;       /* 132: seconds */
} TTI_TIMING_POLICY;

/* TAC certificate information (2556 bytes); nSize must be 2556 on entry. */
typedef struct TTI_CERT_INFO {
    int32_t nSize;                  /* 0 */
    int32_t nVersion;               /* 4 */
    char szHolder[640];             /* 8: UTF-8 */
    unsigned char holderThumb[128]; /* 648 */
    int32_t nHolderThumbLen;        /* 776 */
    char szIssuer[512];             /* 780 */
    unsigned char serial[40];       /* 1292: big-endian */
    int32_t nSerialLen;             /* 1332 */
    char szValidFrom[32];           /* 1336 */
    char szValidTo[32];             /* 1368 */
    char szSignatureAlgOid[128];    /* 1400 */
    unsigned char signature[1024];  /* 1528 */
    int32_t nSignatureLen;          /* 2552 */
} TTI_CERT_INFO;

/* Encodes the request record as a DER TimeStampReq (version 1): policy only when the
 * policy field is not empty, nonce only when its length is above 0. A record that is not
 * well formed (size, lengths, OID texts) gives TTI_E_INVALID_PARAMETER. */
int TTI_EncodeTimestampRequest(const TTI_REQUEST* request, unsigned char* out, int* outLen,
                               int reserved);

/* Checks a reply's framing. An RFC 3161 TCP-framed message of type 5 is unwrapped in place
 * (buffer and *len then hold the TimeStampResp); an unframed DER reply passes as it is.
 * TTI_E_LENGTH: the length disagrees with the header; *len then holds the expected length.
 * TTI_E_TCP_HEADER: another message type, in *msgType; type 6 leaves its error text 5 bytes
 * into the buffer. */
int TTI_CheckReply(unsigned char* buffer, int* len, int* msgType, int reserved);

/* The reply's status, its first status text and its failure bits (bit n is 1 << n).
 * TTI_E_ASN_FORMAT when the bytes are not a TimeStampResp (a bare token, for instance). */
int TTI_GetTSR_Status(TTI_STATUS* status, const unsigned char* resp, int respLen);

/* The token exactly as it stands in the reply. TTI_E_NOT_GRANTED for a refusal,
 * TTI_E_NO_TOKEN for a granted reply without one. */
int TTI_GetTSR_EncodedToken(unsigned char* out, int* outLen, const unsigned char* resp,
                            int respLen);

/* The TSTInfo of a token (CMS signed data carrying id-smime-ct-TSTInfo). */
int TTI_GetTST_TSTInfo(TTI_TSTINFO* info, const unsigned char* token, int tokenLen);

/* Prepares the token for the platform's signed-message check, in a buffer as long as the
 * token: its DER form when that still verifies, else the token as it is. */
int TTI_PrepareSignedMessage(const unsigned char* token, int tokenLen, unsigned char* out,
                             int* outLen);

/* The token's signature only: no chain, no validity dates. TTI_E_NO_SIGNER_CERT when the
 * signer's certificate is not in the token, TTI_E_SIGNATURE when it does not verify. */
int TTI_VerifyTST_Signature(const unsigned char* token, int tokenLen, int reserved1, int reserved2);

/* The DER of the signer's certificate in the token. */
int TTI_GetTST_TSACert(unsigned char* out, int* outLen, const unsigned char* token, int tokenLen);

/* The token's TAC (an attribute certificate, docs/tac.asn1). TTI_E_NO_TAC when there is
 * none, TTI_E_TAC_IMPRINT when its holder thumbprint is not the signer certificate's. */
int TTI_GetTST_TimeAttributeCert(unsigned char* out, int* outLen, const unsigned char* token,
                                 int tokenLen);

/* The TAC's records. A TAC without a timing policy gives TTI_E_TAC_NO_POLICY. */
int TTI_GetTAC_TimingMetrics(TTI_TIMING_METRICS* metrics, const unsigned char* tac, int tacLen);
int TTI_GetTAC_TimingPolicy(TTI_TIMING_POLICY* policy, const unsigned char* tac, int tacLen);
int TTI_GetTAC_CertInfo(TTI_CERT_INFO* info, const unsigned char* tac, int tacLen);

/* Digest triples: initialise returns a context (NULL: failure); finalise writes the digest
 * and frees the context. Nothing follows finalise on a context. */
typedef void* TTI_DIGEST_CTX;
TTI_DIGEST_CTX TTI_SHA1_Init(void);
void TTI_SHA1_Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count);
void TTI_SHA1_Final(TTI_DIGEST_CTX ctx, unsigned char* digest);
TTI_DIGEST_CTX TTI_SHA256_Init(void);
void TTI_SHA256_Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count);
void TTI_SHA256_Final(TTI_DIGEST_CTX ctx, unsigned char* digest);
TTI_DIGEST_CTX TTI_SHA384_Init(void);
void TTI_SHA384_Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count);
void TTI_SHA384_Final(TTI_DIGEST_CTX ctx, unsigned char* digest);
TTI_DIGEST_CTX TTI_SHA512_Init(void);
void TTI_SHA512_Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count);
void TTI_SHA512_Final(TTI_DIGEST_CTX ctx, unsigned char* digest);
TTI_DIGEST_CTX TTI_MD5_Init(void);
void TTI_MD5_Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count);
void TTI_MD5_Final(TTI_DIGEST_CTX ctx, unsigned char* digest);

#ifdef __cplusplus
}

/* The records are an interface: every offset and size is fixed. */
#include <cstddef>

#define TTI_PIN(type, field, offset)                                                               \
    static_assert(offsetof(type, field) == (offset), #type "." #field)
TTI_PIN(TTI_REQUEST, nSize, 0);
TTI_PIN(TTI_REQUEST, szHashOid, 4);
TTI_PIN(TTI_REQUEST, digest, 132);
TTI_PIN(TTI_REQUEST, nDigestLen, 260);
TTI_PIN(TTI_REQUEST, szPolicyOid, 264);
TTI_PIN(TTI_REQUEST, nonce, 392);
TTI_PIN(TTI_REQUEST, nNonceLen, 432);
TTI_PIN(TTI_REQUEST, bCertReq, 436);
static_assert(sizeof(TTI_REQUEST) == TTI_REQUEST_SIZE);

TTI_PIN(TTI_STATUS, nStatus, 0);
TTI_PIN(TTI_STATUS, szStatusText, 4);
TTI_PIN(TTI_STATUS, nFailInfo, 84);
static_assert(sizeof(TTI_STATUS) == 88);

TTI_PIN(TTI_TSTINFO, nSize, 0);
TTI_PIN(TTI_TSTINFO, nVersion, 4);
TTI_PIN(TTI_TSTINFO, szPolicyOid, 8);
TTI_PIN(TTI_TSTINFO, szHashOid, 136);
TTI_PIN(TTI_TSTINFO, digest, 264);
TTI_PIN(TTI_TSTINFO, nDigestLen, 392);
TTI_PIN(TTI_TSTINFO, serial, 396);
TTI_PIN(TTI_TSTINFO, nSerialLen, 436);
TTI_PIN(TTI_TSTINFO, szGenTime, 440);
TTI_PIN(TTI_TSTINFO, nAccuracySec, 472);
TTI_PIN(TTI_TSTINFO, nAccuracyMillis, 476);
TTI_PIN(TTI_TSTINFO, nAccuracyMicros, 480);
TTI_PIN(TTI_TSTINFO, nOrdering, 484);
TTI_PIN(TTI_TSTINFO, nonce, 488);
TTI_PIN(TTI_TSTINFO, nNonceLen, 528);
TTI_PIN(TTI_TSTINFO, szTsaName, 532);
static_assert(sizeof(TTI_TSTINFO) == TTI_TSTINFO_SIZE);

TTI_PIN(TTI_TIMING_METRICS, szNtpTime, 0);
TTI_PIN(TTI_TIMING_METRICS, fOffset, 32);
TTI_PIN(TTI_TIMING_METRICS, fDelay, 36);
TTI_PIN(TTI_TIMING_METRICS, szExpiration, 40);
static_assert(sizeof(TTI_TIMING_METRICS) == 72);

TTI_PIN(TTI_TIMING_POLICY, szPolicyOid, 0);
TTI_PIN(TTI_TIMING_POLICY, fMaxOffset, 128);
TTI_PIN(TTI_TIMING_POLICY, fMaxDelay, 132);
static_assert(sizeof(TTI_TIMING_POLICY) == 136);

TTI_PIN(TTI_CERT_INFO, nSize, 0);
TTI_PIN(TTI_CERT_INFO, nVersion, 4);
TTI_PIN(TTI_CERT_INFO, szHolder, 8);
TTI_PIN(TTI_CERT_INFO, holderThumb, 648);
TTI_PIN(TTI_CERT_INFO, nHolderThumbLen, 776);
TTI_PIN(TTI_CERT_INFO, szIssuer, 780);
TTI_PIN(TTI_CERT_INFO, serial, 1292);
TTI_PIN(TTI_CERT_INFO, nSerialLen, 1332);
TTI_PIN(TTI_CERT_INFO, szValidFrom, 1336);
TTI_PIN(TTI_CERT_INFO, szValidTo, 1368);
TTI_PIN(TTI_CERT_INFO, szSignatureAlgOid, 1400);
TTI_PIN(TTI_CERT_INFO, signature, 1528);
TTI_PIN(TTI_CERT_INFO, nSignatureLen, 2552);
static_assert(sizeof(TTI_CERT_INFO) == TTI_CERTINFO_SIZE);
static_assert(sizeof(float) == 4, "the records hold 32-bit floats");
#undef TTI_PIN
#endif

#endif
