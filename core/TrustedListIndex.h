// The compact index of one verified list: what the qualified verdict needs, written when the
// list is stored and read at start-up instead of the list's XML.
//
// It keeps the list's facts (territory, sequence number, dates, who signed it and when we
// verified it, the digest of the XML it was made from), its providers and services with
// the type and status history of each, and one entry per certificate a service lists
// (digests of the certificate and of its public key, its key identifier, subject and
// public key) plus the key identifiers listed without a certificate. The index of the EU
// list of the lists keeps its pointers with the certificates that sign each list.
//
// The file is read as untrusted bytes: every length and count is checked against what is
// left, every cross-reference against its table, and a SHA-256 of the content closes it.
#pragma once

#include "core/TrustedListModel.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tl {

// One status of a service from its starting time on. The type and status are kept without
// their common prefixes ("TSA/QTST", "granted"); a value outside them is kept whole.
struct IndexInstance {
    std::string type;
    std::string status;
    uint64_t start = 0;
};

struct IndexService {
    uint32_t provider = 0;
    std::string name;
    std::vector<IndexInstance> instances; // by starting time, earliest first
};

// A certificate some instance of a service lists. Digests are SHA-256 (32 bytes); the key
// digest, key identifier, subject and key are empty when OpenSSL cannot read the
// certificate.
struct IndexCert {
    uint32_t service = 0;
    Blob certSha256;
    Blob keySha256; // of the DER SubjectPublicKeyInfo
    Blob ski;       // the certificate's subjectKeyIdentifier extension
    Blob subject;   // DER Name
    Blob key;       // DER SubjectPublicKeyInfo
};

// An X509SKI listed for a service.
struct IndexSki {
    uint32_t service = 0;
    Blob ski;
};

struct IndexPointer {
    std::string territory;
    std::string location;
    std::string tslType;
    std::string mimeType;
    std::vector<Blob> signers; // DER certificates
};

struct ListIndex {
    std::string territory;
    std::string tslType;
    std::string operatorName;
    uint64_t sequence = 0;
    uint64_t issued = 0;
    uint64_t nextUpdate = 0; // 0: none
    uint64_t verifiedAt = 0;
    uint64_t xmlSize = 0;
    Blob xmlSha256;
    Blob signerSha256; // of the certificate whose key verified the list
    std::string signerName;
    std::vector<std::string> providers;
    std::vector<IndexService> services;
    std::vector<IndexCert> certs;
    std::vector<IndexSki> skis;
    std::vector<IndexPointer> pointers;
};

// The index of `list`, read from `xml` and verified with the pinned certificate `signer`
// at `verifiedAt`.
ListIndex BuildIndex(const TrustedList& list, std::string_view xml, const Blob& signer,
                     uint64_t verifiedAt);

std::string SerializeIndex(const ListIndex& index);

// Reads what SerializeIndex wrote. False with a short English reason for anything else.
[[nodiscard]] bool ReadIndex(std::string_view bytes, ListIndex& index, std::string& error);

// The SHA-256 of `bytes`.
Blob Sha256(std::string_view bytes);
// The subject's common name of a DER certificate (else its whole subject); "" when unreadable.
std::string CertificateName(const Blob& der);

} // namespace tl
