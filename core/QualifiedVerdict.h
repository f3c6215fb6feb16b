// Whether a time stamp is qualified: its TSA's service is in a verified EU trusted list as
// a qualified time-stamping service, granted at the stamp's time.
//
// The signer's certificate matches a service when a current or past identity of the service
// lists the same certificate (SHA-256), the same public key, or the signer's key identifier
// where that identifier is the SHA-1 of the signer's own key (so that a certificate cannot
// borrow a listed identifier). It also matches through its issuer: a listed certificate
// whose key identifier is the signer's authority key identifier and whose subject is the
// signer's issuer, and whose key verifies the signer's certificate; or the issuer's
// certificate given by the caller, when it issued and signed the signer's and itself
// matches a service.
//
// The status that applies at the stamp's time is the latest one that started at or before
// it. Qualified ("yes") when it is a service of type TSA/QTST with status granted, or,
// for a stamp made before 1 July 2016, a time-stamping service (TSA, TSA/QTST, TSA/TSS-QC,
// TSA/TSS-AdESQCandQES) accredited or under supervision. A certificate authority listed for
// qualified certificates (CA/QC) never makes its TSA qualified. Not qualified ("no")
// otherwise, except "unknown" when the signer comes from an EU/EEA territory (its subject's
// country, else its issuer's) whose list is not stored. A list past its next update still
// decides; the message then says that it is outdated.
#pragma once

#include "core/TrustedListSet.h"

#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

enum class Qualified { Yes, No, Unknown };

struct QualifiedVerdict {
    Qualified qualified = Qualified::No;
    std::string message;     // Czech, names the service, provider and territory
    std::string territory;   // of the list that decided, else the signer's ("" when none)
    std::string serviceName; // of the matching service ("" when none matched)
    std::string providerName;
    bool outdated = false; // the deciding list is past its next update
};

// The verdict for the stamp signed by `signer` (issued by `issuer`, which may be null) at
// `genTime`, with `now` deciding whether a list is outdated (file-time ticks).
QualifiedVerdict QualifyStamp(const tl::TrustedListSet& lists, X509* signer, X509* issuer,
                              uint64_t genTime, uint64_t now);

// The stored lists of this process, loaded from TrustedListDir() on first use.
std::shared_ptr<const tl::TrustedListSet> StoredTrustedLists();
// Loads them again (after an update).
void ReloadStoredTrustedLists();

// For the trust verdict: a signer that is qualified at `genTime` by the stored lists counts
// as vouched for. Answers the anchor's name ("kvalifikovaná služba …"), else nothing.
std::optional<std::string> QualifiedSignerAnchor(X509* signer, X509* issuer, uint64_t genTime);

// The territory code of a certificate's country (Greece is "EL" in the lists); "" when the
// certificate names none.
std::string TerritoryOfCountry(const std::string& country);
bool IsEuEeaTerritory(const std::string& territory);
