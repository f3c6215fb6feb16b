#include "core/QualifiedVerdict.h"

#include "core/IClock.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListXml.h"
#include "platform/FileTime.h"
#include "platform/OpenSslPtr.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <utility>

using tl::Blob;
using tl::IndexCert;
using tl::IndexInstance;
using tl::IndexService;
using tl::ListIndex;
using tl::TrustedListSet;

namespace {

using Ref = TrustedListSet::Ref; // list number and service number
using NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;

// Ordered: a later outcome is a better answer for the stamp. Of the answers "no", one about a
// time-stamping service tells more than one about a certificate authority.
enum class Outcome { NotTsa, NotYet, NotQualified, QualifiedBefore2016, Qualified };

struct Match {
    Ref service;
    Outcome outcome = Outcome::NotYet;
    const IndexInstance* instance = nullptr;
};

Blob BytesOf(const ASN1_OCTET_STRING* octets) {
    return octets != nullptr ? Blob(reinterpret_cast<const char*>(ASN1_STRING_get0_data(octets)),
                                    static_cast<std::size_t>(ASN1_STRING_length(octets)))
                             : Blob();
}

// What a certificate can be found by in the lists.
struct CertFacts {
    explicit CertFacts(X509* cert) {
        unsigned char* der = nullptr;
        int length = i2d_X509(cert, &der);
        certSha256 = length > 0 ? tl::Sha256(std::string_view(reinterpret_cast<char*>(der),
                                                              static_cast<std::size_t>(length)))
                                : Blob();
        OPENSSL_free(der);
        der = nullptr;
        length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
        keySha256 = length > 0 ? tl::Sha256(std::string_view(reinterpret_cast<char*>(der),
                                                             static_cast<std::size_t>(length)))
                               : Blob();
        OPENSSL_free(der);
        ski = BytesOf(X509_get0_subject_key_id(cert));
        aki = BytesOf(X509_get0_authority_key_id(cert));
        unsigned char sha1[EVP_MAX_MD_SIZE];
        unsigned int sha1Length = 0;
        skiBound = !ski.empty() && X509_pubkey_digest(cert, EVP_sha1(), sha1, &sha1Length) == 1 &&
                   ski == Blob(reinterpret_cast<char*>(sha1), sha1Length);
    }

    Blob certSha256;
    Blob keySha256;
    Blob ski;
    Blob aki;
    bool skiBound = false; // the key identifier is the SHA-1 of the certificate's own key
};

uint64_t July2016() {
    static const uint64_t time = [] {
        uint64_t ticks = 0;
        SystemTime fields;
        fields.year = 2016;
        fields.month = 7;
        fields.day = 1;
        return SystemTimeToFileTime(fields, ticks) ? ticks : 0;
    }();
    return time;
}

bool IsTimeStampingType(const std::string& type) {
    return type == "TSA" || type == "TSA/QTST" || type == "TSA/TSS-QC" ||
           type == "TSA/TSS-AdESQCandQES";
}

void AddService(std::vector<Ref>& services, uint32_t list, uint32_t service) {
    const bool known = std::any_of(services.begin(), services.end(), [&](const Ref& ref) {
        return ref.list == list && ref.item == service;
    });
    if (!known)
        services.push_back({list, service});
}

// The services whose identities list the certificate with `facts`.
void DirectServices(const TrustedListSet& lists, const CertFacts& facts, std::vector<Ref>& out) {
    const auto addCerts = [&](const std::vector<Ref>& refs) {
        for (const Ref& ref : refs)
            AddService(out, ref.list, lists.Lists()[ref.list].certs[ref.item].service);
    };
    addCerts(lists.CertsByDigest(facts.certSha256));
    addCerts(lists.CertsByKeyDigest(facts.keySha256));
    if (!facts.skiBound)
        return;
    addCerts(lists.CertsBySki(facts.ski));
    for (const Ref& ref : lists.SkisByValue(facts.ski))
        AddService(out, ref.list, lists.Lists()[ref.list].skis[ref.item].service);
}

bool SubjectIsIssuerOf(const Blob& subject, X509* signer) {
    const X509_NAME* issuer = X509_get_issuer_name(signer);
    unsigned char* der = nullptr;
    const int length = i2d_X509_NAME(issuer, &der);
    const bool same = length > 0 && subject.size() == static_cast<std::size_t>(length) &&
                      subject.compare(0, subject.size(), reinterpret_cast<char*>(der),
                                      static_cast<std::size_t>(length)) == 0;
    OPENSSL_free(der);
    if (same)
        return true;
    // The same name may be encoded differently (string types, spacing).
    const auto* bytes = reinterpret_cast<const unsigned char*>(subject.data());
    const NamePtr name(d2i_X509_NAME(nullptr, &bytes, static_cast<long>(subject.size())));
    return name && X509_NAME_cmp(name.get(), issuer) == 0;
}

Match Evaluate(const TrustedListSet& lists, const Ref& ref, uint64_t genTime) {
    Match match;
    match.service = ref;
    for (const IndexInstance& instance : lists.Lists()[ref.list].services[ref.item].instances)
        if (instance.start <= genTime)
            match.instance = &instance;
    if (match.instance == nullptr)
        return match;
    const std::string& type = match.instance->type;
    const std::string& status = match.instance->status;
    if (type == "TSA/QTST" && status == "granted")
        match.outcome = Outcome::Qualified;
    else if (genTime < July2016() && IsTimeStampingType(type) &&
             (status == "accredited" || status == "undersupervision"))
        match.outcome = Outcome::QualifiedBefore2016;
    else
        match.outcome = IsTimeStampingType(type) ? Outcome::NotQualified : Outcome::NotTsa;
    return match;
}

// The best match found so far for one stamp; of two equal ones the first stays.
struct Search {
    Search(const TrustedListSet& set, uint64_t time) : lists(set), genTime(time) {}

    const TrustedListSet& lists;
    uint64_t genTime = 0;
    Match best;
    bool matched = false;

    // A service whose outcome would change the answer: only then is its proof worth checking.
    bool WouldImprove(const Match& match) const { return !matched || match.outcome > best.outcome; }
    void Take(const Match& match) {
        if (WouldImprove(match)) {
            best = match;
            matched = true;
        }
    }
    bool Done() const { return matched && best.outcome == Outcome::Qualified; }
};

// The services that list the issuer of `signer`: a listed certificate whose key identifier
// is the signer's authority key identifier and whose subject is the signer's issuer, when
// its key verifies the signer's certificate (each key checked once, and only for a service
// that could change the answer); and the services of `issuer`, when given, issued and
// signed the signer's certificate.
void SearchIssuer(Search& search, X509* signer, const CertFacts& facts, X509* issuer) {
    std::vector<std::pair<Blob, bool>> checked; // key, whether it signed the signer's certificate
    for (const Ref& ref : search.lists.CertsBySki(facts.aki)) {
        const IndexCert& cert = search.lists.Lists()[ref.list].certs[ref.item];
        const Match match = Evaluate(search.lists, {ref.list, cert.service}, search.genTime);
        if (!search.WouldImprove(match) || !SubjectIsIssuerOf(cert.subject, signer))
            continue;
        auto known = std::find_if(checked.begin(), checked.end(),
                                  [&cert](const auto& entry) { return entry.first == cert.key; });
        if (known == checked.end()) {
            EVP_PKEY* key = search.lists.KeyOf(ref);
            known = checked.insert(checked.end(),
                                   {cert.key, key != nullptr && X509_verify(signer, key) == 1});
        }
        if (known->second)
            search.Take(match);
    }
    if (issuer == nullptr || search.Done() || X509_check_issued(issuer, signer) != X509_V_OK ||
        X509_verify(signer, X509_get0_pubkey(issuer)) != 1)
        return;
    std::vector<Ref> services;
    DirectServices(search.lists, CertFacts(issuer), services);
    for (const Ref& ref : services)
        search.Take(Evaluate(search.lists, ref, search.genTime));
}

// The Czech name of a status the lists use; other statuses as the list writes them.
std::string StatusText(const std::string& status) {
    static constexpr std::pair<const char*, uint32_t> kNames[] = {
        {"granted", IDS_TL_SERVICE_GRANTED},
        {"withdrawn", IDS_TL_SERVICE_WITHDRAWN},
        {"accredited", IDS_TL_SERVICE_ACCREDITED},
        {"undersupervision", IDS_TL_SERVICE_UNDER_SUPERVISION},
        {"supervisionincessation", IDS_TL_SERVICE_SUPERVISION_ENDING},
        {"supervisionceased", IDS_TL_SERVICE_SUPERVISION_CEASED},
        {"supervisionrevoked", IDS_TL_SERVICE_SUPERVISION_REVOKED},
        {"accreditationceased", IDS_TL_SERVICE_ACCREDITATION_CEASED},
        {"accreditationrevoked", IDS_TL_SERVICE_ACCREDITATION_REVOKED},
        {"recognisedatnationallevel", IDS_TL_SERVICE_RECOGNISED_NATIONALLY},
        {"deprecatedatnationallevel", IDS_TL_SERVICE_DEPRECATED_NATIONALLY},
    };
    for (const auto& [name, id] : kNames)
        if (status == name)
            return LoadResString(id);
    return status;
}

std::string MatchMessage(const Match& match, const std::string& service,
                         const std::string& provider, const std::string& territory) {
    switch (match.outcome) {
    case Outcome::Qualified:
        return FormatRes(IDS_TL_QUALIFIED, service, provider, territory);
    case Outcome::QualifiedBefore2016:
        return FormatRes(IDS_TL_QUALIFIED_BEFORE_2016, service, provider, territory,
                         StatusText(match.instance->status));
    case Outcome::NotQualified:
        return FormatRes(IDS_TL_NOT_QUALIFIED_STATUS, service, provider, territory,
                         match.instance->type, StatusText(match.instance->status));
    case Outcome::NotTsa:
        return FormatRes(IDS_TL_NOT_QUALIFIED_NOT_TSA, territory, service, provider,
                         match.instance->type);
    case Outcome::NotYet:
        break;
    }
    return FormatRes(IDS_TL_NOT_QUALIFIED_NOT_YET, service, provider, territory);
}

void NoteOutdated(const ListIndex* list, uint64_t now, QualifiedVerdict& verdict) {
    if (list == nullptr || list->nextUpdate == 0 || now <= list->nextUpdate)
        return;
    verdict.outdated = true;
    verdict.message +=
        FormatRes(IDS_TL_OUTDATED_NOTE, list->territory, tl::UtcText(list->nextUpdate));
}

std::string CountryOf(const X509_NAME* name) {
    char text[8] = {};
    const int length = X509_NAME_get_text_by_NID(name, NID_countryName, text, sizeof text);
    std::string country = length == 2 ? std::string(text, 2) : std::string();
    std::transform(country.begin(), country.end(), country.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return country;
}

QualifiedVerdict FromMatch(const TrustedListSet& lists, const Match& match, uint64_t now) {
    const ListIndex& list = lists.Lists()[match.service.list];
    const IndexService& service = list.services[match.service.item];
    QualifiedVerdict verdict;
    verdict.qualified =
        match.outcome >= Outcome::QualifiedBefore2016 ? Qualified::Yes : Qualified::No;
    verdict.territory = list.territory;
    verdict.serviceName = service.name;
    verdict.providerName = list.providers[service.provider];
    verdict.message =
        MatchMessage(match, verdict.serviceName, verdict.providerName, list.territory);
    NoteOutdated(&list, now, verdict);
    return verdict;
}

} // namespace

std::string TerritoryOfCountry(const std::string& country) {
    return country == "GR" ? "EL" : country;
}

bool IsEuEeaTerritory(const std::string& territory) {
    static constexpr std::array<const char*, 30> kTerritories = {
        "AT", "BE", "BG", "CY", "CZ", "DE", "DK", "EE", "EL", "ES", "FI", "FR", "HR", "HU", "IE",
        "IS", "IT", "LI", "LT", "LU", "LV", "MT", "NL", "NO", "PL", "PT", "RO", "SE", "SI", "SK"};
    return std::any_of(kTerritories.begin(), kTerritories.end(),
                       [&territory](const char* code) { return territory == code; });
}

QualifiedVerdict QualifyStamp(const TrustedListSet& lists, X509* signer, X509* issuer,
                              uint64_t genTime, uint64_t now) {
    QualifiedVerdict verdict;
    if (signer == nullptr) {
        verdict.message = LoadResString(IDS_TL_NOT_LISTED);
        return verdict;
    }
    const CertFacts facts(signer);
    Search search(lists, genTime);
    std::vector<Ref> direct;
    DirectServices(lists, facts, direct);
    for (const Ref& ref : direct)
        search.Take(Evaluate(lists, ref, genTime));
    if (!search.Done())
        SearchIssuer(search, signer, facts, issuer);
    const bool matched = search.matched;
    const Match& best = search.best;
    if (matched && best.outcome >= Outcome::QualifiedBefore2016)
        return FromMatch(lists, best, now);
    std::string country = CountryOf(X509_get_subject_name(signer));
    if (country.empty())
        country = CountryOf(X509_get_issuer_name(signer));
    const std::string territory = TerritoryOfCountry(country);
    if (IsEuEeaTerritory(territory) && lists.Find(territory) == nullptr) {
        verdict.qualified = Qualified::Unknown;
        verdict.territory = territory;
        verdict.message = FormatRes(IDS_TL_QUALIFIED_UNKNOWN, territory);
        return verdict;
    }
    if (matched)
        return FromMatch(lists, best, now);
    verdict.territory = territory;
    verdict.message = LoadResString(IDS_TL_NOT_LISTED);
    NoteOutdated(lists.Find(territory), now, verdict);
    return verdict;
}

namespace {

std::mutex g_storedMutex;
std::shared_ptr<const TrustedListSet> g_stored;

} // namespace

std::shared_ptr<const TrustedListSet> StoredTrustedLists() {
    const std::lock_guard<std::mutex> lock(g_storedMutex);
    if (!g_stored)
        g_stored =
            std::make_shared<const TrustedListSet>(TrustedListSet::Load(tl::TrustedListDir()));
    return g_stored;
}

void ReloadStoredTrustedLists() {
    auto fresh = std::make_shared<const TrustedListSet>(TrustedListSet::Load(tl::TrustedListDir()));
    const std::lock_guard<std::mutex> lock(g_storedMutex);
    g_stored = std::move(fresh);
}

std::optional<std::string> QualifiedSignerAnchor(X509* signer, X509* issuer, uint64_t genTime) {
    const std::shared_ptr<const TrustedListSet> lists = StoredTrustedLists();
    const QualifiedVerdict verdict =
        QualifyStamp(*lists, signer, issuer, genTime, Clock().NowFileTime());
    if (verdict.qualified != Qualified::Yes)
        return std::nullopt;
    return FormatRes(IDS_TL_ANCHOR_NAME, verdict.serviceName, verdict.providerName,
                     verdict.territory);
}
