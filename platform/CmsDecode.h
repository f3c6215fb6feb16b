// Decoding of CMS messages whose certificates are shared across the process.
//
// Reading a certificate costs more than checking a signature with it (the public key above
// all), and every stamp of one TSA carries the same certificates. DecodeCmsContentInfo
// decodes a ContentInfo exactly as d2i_CMS_ContentInfo does, but a certificate of a signed
// message is decoded once per process: later messages that carry the same bytes share the
// decoded certificate. Whatever the decoder cannot take apart by itself (BER indefinite
// lengths, other certificate choices, repeated certificates, ...) goes to
// d2i_CMS_ContentInfo unchanged, so that the result and the failures stay OpenSSL's.
#pragma once

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <cstddef>

// As d2i_CMS_ContentInfo(nullptr, pp, length): a new ContentInfo or null; on success *pp
// points after the structure.
[[nodiscard]] CMS_ContentInfo* DecodeCmsContentInfo(const unsigned char** pp, long length);

// The certificate of these DER bytes (which must be exactly one certificate) with a new
// reference, from the process's shared certificates when it is there; null when the bytes
// are not a certificate.
[[nodiscard]] X509* SharedCertificate(const unsigned char* der, std::size_t length);

// The number of certificates kept for sharing (for tests).
std::size_t SharedCertificateCount();
