// ASN.1 templates of the types OpenSSL does not provide (tti_internal.h): OpenSSL's own
// macros, kept in the layout of the ASN.1 they describe.
// clang-format off
#include "core/tti/tti_internal.h"

namespace mivo::tti {

ASN1_SEQUENCE(PkiStatusInfo) = {
    ASN1_SIMPLE(PkiStatusInfo, status, ASN1_INTEGER),
    ASN1_SEQUENCE_OF_OPT(PkiStatusInfo, text, ASN1_UTF8STRING),
    ASN1_OPT(PkiStatusInfo, failInfo, ASN1_BIT_STRING),
} ASN1_SEQUENCE_END(PkiStatusInfo)

ASN1_SEQUENCE(TimeStampResp) = {
    ASN1_SIMPLE(TimeStampResp, status, PkiStatusInfo),
    ASN1_OPT(TimeStampResp, token, ASN1_ANY),
} ASN1_SEQUENCE_END(TimeStampResp)

ASN1_SEQUENCE(ObjectDigestInfo) = {
    ASN1_SIMPLE(ObjectDigestInfo, type, ASN1_ENUMERATED),
    ASN1_OPT(ObjectDigestInfo, otherType, ASN1_OBJECT),
    ASN1_SIMPLE(ObjectDigestInfo, algorithm, X509_ALGOR),
    ASN1_SIMPLE(ObjectDigestInfo, digest, ASN1_BIT_STRING),
} ASN1_SEQUENCE_END(ObjectDigestInfo)

ASN1_SEQUENCE(IssuerSerial) = {
    ASN1_SEQUENCE_OF(IssuerSerial, issuer, GENERAL_NAME),
    ASN1_SIMPLE(IssuerSerial, serial, ASN1_INTEGER),
    ASN1_OPT(IssuerSerial, issuerUid, ASN1_BIT_STRING),
} ASN1_SEQUENCE_END(IssuerSerial)

// Holder and V2Form use IMPLICIT tags (the RFC 5755 module is IMPLICIT TAGS).
ASN1_SEQUENCE(AcHolder) = {
    ASN1_IMP_OPT(AcHolder, baseCertificateId, IssuerSerial, 0),
    ASN1_IMP_SEQUENCE_OF_OPT(AcHolder, entityName, GENERAL_NAME, 1),
    ASN1_IMP_OPT(AcHolder, objectDigestInfo, ObjectDigestInfo, 2),
} ASN1_SEQUENCE_END(AcHolder)

ASN1_SEQUENCE(AcV2Form) = {
    ASN1_SEQUENCE_OF_OPT(AcV2Form, issuerName, GENERAL_NAME),
    ASN1_IMP_OPT(AcV2Form, baseCertificateId, IssuerSerial, 0),
    ASN1_IMP_OPT(AcV2Form, objectDigestInfo, ObjectDigestInfo, 1),
} ASN1_SEQUENCE_END(AcV2Form)

ASN1_CHOICE(AcIssuer) = {
    ASN1_SEQUENCE_OF(AcIssuer, d.v1Form, GENERAL_NAME),
    ASN1_IMP(AcIssuer, d.v2Form, AcV2Form, 0),
} ASN1_CHOICE_END(AcIssuer)

ASN1_SEQUENCE(AcValidity) = {
    ASN1_SIMPLE(AcValidity, notBefore, ASN1_GENERALIZEDTIME),
    ASN1_SIMPLE(AcValidity, notAfter, ASN1_GENERALIZEDTIME),
} ASN1_SEQUENCE_END(AcValidity)

ASN1_SEQUENCE(AcInfo) = {
    ASN1_SIMPLE(AcInfo, version, ASN1_INTEGER),
    ASN1_SIMPLE(AcInfo, holder, AcHolder),
    ASN1_SIMPLE(AcInfo, issuer, AcIssuer),
    ASN1_SIMPLE(AcInfo, signature, X509_ALGOR),
    ASN1_SIMPLE(AcInfo, serial, ASN1_INTEGER),
    ASN1_SIMPLE(AcInfo, validity, AcValidity),
    ASN1_SEQUENCE_OF(AcInfo, attributes, X509_ATTRIBUTE),
    ASN1_OPT(AcInfo, issuerUid, ASN1_BIT_STRING),
    ASN1_SEQUENCE_OF_OPT(AcInfo, extensions, X509_EXTENSION),
} ASN1_SEQUENCE_END(AcInfo)

ASN1_SEQUENCE(AttributeCertificate) = {
    ASN1_SIMPLE(AttributeCertificate, info, AcInfo),
    ASN1_SIMPLE(AttributeCertificate, signatureAlgorithm, X509_ALGOR),
    ASN1_SIMPLE(AttributeCertificate, signature, ASN1_BIT_STRING),
} ASN1_SEQUENCE_END(AttributeCertificate)

ASN1_SEQUENCE(TimingMetrics) = {
    ASN1_SIMPLE(TimingMetrics, ntpTime, ASN1_GENERALIZEDTIME),
    ASN1_SIMPLE(TimingMetrics, offset, ASN1_INTEGER),
    ASN1_SIMPLE(TimingMetrics, delay, ASN1_INTEGER),
    ASN1_SIMPLE(TimingMetrics, expiration, ASN1_GENERALIZEDTIME),
} ASN1_SEQUENCE_END(TimingMetrics)

ASN1_SEQUENCE(TimingPolicy) = {
    ASN1_SIMPLE(TimingPolicy, policy, ASN1_OBJECT),
    ASN1_SIMPLE(TimingPolicy, maxOffset, ASN1_INTEGER),
    ASN1_SIMPLE(TimingPolicy, maxDelay, ASN1_INTEGER),
} ASN1_SEQUENCE_END(TimingPolicy)

} // namespace mivo::tti
