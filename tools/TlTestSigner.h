// Synthetic trusted lists for tests: the XML of a list of the lists or a national list
// built from a few fields, signed with throwaway keys through xmlsec as the real lists are
// (enveloped signature over the whole document, exclusive canonicalisation, a XAdES
// SignedProperties reference, the certificate in KeyInfo), and the wrong ways to sign one
// (a part of the document only, an XPath filter, a foreign certificate in KeyInfo).
// Never shipped. Failures throw std::runtime_error.
#ifndef MIVO_TOOLS_TLTESTSIGNER_H
#define MIVO_TOOLS_TLTESTSIGNER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mivo::test {

using TlBytes = std::string; // DER bytes

// A signing key and its self-signed certificate.
struct TlSigningKey {
    std::string keyPem;
    TlBytes certDer;
    std::string certPem;
};
// A fresh key (RSA 2048 or EC P-256) with a self-signed certificate named `commonName`.
TlSigningKey MakeTlSigningKey(const std::string& commonName, bool ecdsa = false);
// A key and certificate from PEM files (the certificate may also be DER).
TlSigningKey LoadTlSigningKey(const std::string& keyPemPath, const std::string& certPath);

// A certificate for a service identity (a TSA, or a CA issuing TSAs) and its key (PEM).
struct TlTestCert {
    TlBytes der;
    std::string keyPem;
};
struct TlTestCertSpec {
    std::string commonName;
    std::string country;                // empty: no C
    const TlTestCert* issuer = nullptr; // null: self-signed
    std::optional<TlBytes> ski;         // default: the SHA-1 of the key
    std::string keyPem;                 // empty: a new P-256 key
};
// The certificate these settings describe (EC keys: quick to make), with the issuer's key
// identifier as its authority key identifier when it has an issuer.
TlTestCert MakeTlTestCert(const TlTestCertSpec& spec);

struct TlPointerSpec {
    std::string territory;
    std::string location;
    std::vector<TlBytes> signers;
    std::string tslType = "http://uri.etsi.org/TrstSvc/TrustedList/TSLType/EUgeneric";
    std::string mimeType = "application/vnd.etsi.tsl+xml";
};

struct TlHistorySpec {
    std::string type;
    std::string status;
    std::string start;
};

struct TlServiceSpec {
    std::string name;
    std::string type = "http://uri.etsi.org/TrstSvc/Svctype/TSA/QTST";
    std::string status = "http://uri.etsi.org/TrstSvc/TrustedList/Svcstatus/granted";
    std::string start = "2016-07-01T00:00:00Z";
    std::vector<TlBytes> certificates;
    std::vector<TlBytes> skis;
    std::vector<TlHistorySpec> history;
};

struct TlProviderSpec {
    std::string name;
    std::vector<TlServiceSpec> services;
};

struct TlListSpec {
    std::string tslType = "http://uri.etsi.org/TrstSvc/TrustedList/TSLType/EUgeneric";
    std::string territory;
    uint64_t sequence = 1;
    std::string issued = "2023-10-01T00:00:00Z";
    std::string nextUpdate = "2024-04-01T00:00:00Z"; // empty: a closed list
    std::vector<std::string> schemeUris;
    std::vector<TlPointerSpec> pointers;
    std::vector<TlProviderSpec> providers;
};

// Builders that leave the other fields at their defaults.
inline TlServiceSpec TlService(const std::string& name) {
    TlServiceSpec service;
    service.name = name;
    return service;
}
inline TlPointerSpec TlPointer(const std::string& territory, const std::string& location,
                               const std::vector<TlBytes>& signers) {
    TlPointerSpec pointer;
    pointer.territory = territory;
    pointer.location = location;
    pointer.signers = signers;
    return pointer;
}

inline constexpr char kTlTestLotlType[] =
    "http://uri.etsi.org/TrstSvc/TrustedList/TSLType/EUlistofthelists";

// The unsigned XML of the list (its SchemeInformation carries Id="scheme").
std::string BuildTlXml(const TlListSpec& spec);

struct TlSignOptions {
    std::string referenceUri; // "": the whole document; "#scheme": a part
    bool envelopedTransform = true;
    bool xpathExcludingProviders = false; // an XPath filter that leaves the providers out
    bool keyInfoCertificate = true;
    std::optional<TlBytes> keyInfoOverride; // this certificate in KeyInfo instead
    bool xades = true;
};

// `xml` signed with `key`.
std::string SignTlXml(const std::string& xml, const TlSigningKey& key,
                      const TlSignOptions& options = {});

} // namespace mivo::test

#endif
