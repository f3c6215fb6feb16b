// What a trusted list (ETSI TS 119 612) says, as read from its XML: the scheme information,
// the pointers to other lists (the EU list of the lists) and the trust service providers
// with their services and the history of each service.
//
// Times are file-time ticks (core/GenTime.h); 0 stands for "not given". Certificates and
// key identifiers are the bytes the list carries, base64 decoded; nothing here has been
// checked against a signature: that is the job of the list's signature check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tl {

using Blob = std::string; // binary bytes

inline constexpr char kTslNamespace[] = "http://uri.etsi.org/02231/v2#";
inline constexpr char kDsigNamespace[] = "http://www.w3.org/2000/09/xmldsig#";

inline constexpr char kTypeLotl[] =
    "http://uri.etsi.org/TrstSvc/TrustedList/TSLType/EUlistofthelists";
inline constexpr char kTypeGeneric[] = "http://uri.etsi.org/TrstSvc/TrustedList/TSLType/EUgeneric";
inline constexpr char kTslMimeType[] = "application/vnd.etsi.tsl+xml";

// The prefixes that the service types and statuses share; the index keeps what follows.
inline constexpr char kServiceTypePrefix[] = "http://uri.etsi.org/TrstSvc/Svctype/";
inline constexpr char kServiceStatusPrefix[] = "http://uri.etsi.org/TrstSvc/TrustedList/Svcstatus/";

// The territory of the EU list of the lists.
inline constexpr char kLotlTerritory[] = "EU";

// One ServiceDigitalIdentity: the certificates (DER), the key identifiers and subject names.
struct DigitalIdentity {
    std::vector<Blob> certificates;
    std::vector<Blob> skis;
    std::vector<std::string> subjectNames;
};

// The current ServiceInformation or one ServiceHistoryInstance.
struct ServiceInstance {
    std::string type;   // ServiceTypeIdentifier, the whole URI
    std::string status; // ServiceStatus, the whole URI
    uint64_t start = 0; // StatusStartingTime
    std::string name;
    DigitalIdentity identity;
};

struct Service {
    ServiceInstance current;
    std::vector<ServiceInstance> history;
};

struct Provider {
    std::string name;
    std::vector<Service> services;
};

// One OtherTSLPointer of the scheme information.
struct ListPointer {
    std::string territory;
    std::string location;
    std::string tslType;
    std::string mimeType;      // empty when the pointer names none
    std::vector<Blob> signers; // the certificates that may sign the list pointed to
};

struct TrustedList {
    uint64_t sequence = 0;
    std::string tslType;
    std::string territory;
    std::string operatorName;
    uint64_t issued = 0;
    uint64_t nextUpdate = 0;             // 0: the list names none (a closed list)
    std::vector<std::string> schemeUris; // SchemeInformationURI, in their order
    std::vector<ListPointer> pointers;
    std::vector<Provider> providers;
};

} // namespace tl
