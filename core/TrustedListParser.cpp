#include "core/TrustedListParser.h"

#include "core/TrustedListXml.h"

namespace tl {

namespace {

// The name in Czech when the list has one, else in English, else the first.
std::string PickName(const xmlNode* names) {
    std::string first;
    std::string english;
    for (xmlNode* name = FirstChild(names, "Name"); name != nullptr;
         name = NextSibling(name, "Name")) {
        xmlChar* lang = xmlNodeGetLang(name);
        const std::string code = lang != nullptr ? reinterpret_cast<char*>(lang) : "";
        xmlFree(lang);
        const std::string text = TextOf(name);
        if (code == "cs")
            return text;
        if (code == "en" && english.empty())
            english = text;
        if (first.empty())
            first = text;
    }
    return english.empty() ? first : english;
}

bool ReadSequence(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

bool ReadTime(const xmlNode* node, uint64_t& time, const char* what, std::string& error) {
    if (ParseXsdDateTime(TextOf(node), time))
        return true;
    error = std::string("unreadable ") + what + " \"" + TextOf(node).substr(0, 40) + "\"";
    return false;
}

// Every DigitalId of one ServiceDigitalIdentity; Other and unknown kinds are passed over.
bool ReadIdentity(const xmlNode* identity, DigitalIdentity& out, std::string& error) {
    for (xmlNode* id = FirstChild(identity, "DigitalId"); id != nullptr;
         id = NextSibling(id, "DigitalId")) {
        for (xmlNode* value = id->children; value != nullptr; value = value->next) {
            Blob bytes;
            if (IsElement(value, "X509Certificate")) {
                if (!DecodeBase64(TextOf(value), bytes) || bytes.empty()) {
                    error = "unreadable X509Certificate";
                    return false;
                }
                out.certificates.push_back(std::move(bytes));
            } else if (IsElement(value, "X509SKI")) {
                if (!DecodeBase64(TextOf(value), bytes) || bytes.empty()) {
                    error = "unreadable X509SKI";
                    return false;
                }
                out.skis.push_back(std::move(bytes));
            } else if (IsElement(value, "X509SubjectName")) {
                out.subjectNames.push_back(TextOf(value));
            }
        }
    }
    return true;
}

// A ServiceInformation or a ServiceHistoryInstance: the same elements in both.
bool ReadInstance(const xmlNode* node, ServiceInstance& out, std::string& error) {
    out.type = TextOf(FirstChild(node, "ServiceTypeIdentifier"));
    out.status = TextOf(FirstChild(node, "ServiceStatus"));
    out.name = PickName(FirstChild(node, "ServiceName"));
    const xmlNode* start = FirstChild(node, "StatusStartingTime");
    if (out.type.empty() || out.status.empty() || start == nullptr) {
        error = "a service without type, status or starting time";
        return false;
    }
    for (xmlNode* identity = FirstChild(node, "ServiceDigitalIdentity"); identity != nullptr;
         identity = NextSibling(identity, "ServiceDigitalIdentity"))
        if (!ReadIdentity(identity, out.identity, error))
            return false;
    return ReadTime(start, out.start, "StatusStartingTime", error);
}

bool ReadService(const xmlNode* node, Service& out, std::string& error) {
    const xmlNode* information = FirstChild(node, "ServiceInformation");
    if (information == nullptr) {
        error = "a service without ServiceInformation";
        return false;
    }
    if (!ReadInstance(information, out.current, error))
        return false;
    const xmlNode* history = FirstChild(node, "ServiceHistory");
    for (xmlNode* instance = FirstChild(history, "ServiceHistoryInstance"); instance != nullptr;
         instance = NextSibling(instance, "ServiceHistoryInstance")) {
        ServiceInstance past;
        if (!ReadInstance(instance, past, error))
            return false;
        out.history.push_back(std::move(past));
    }
    return true;
}

bool ReadProviders(const xmlNode* root, TrustedList& list, std::string& error) {
    const xmlNode* providers = FirstChild(root, "TrustServiceProviderList");
    for (xmlNode* node = FirstChild(providers, "TrustServiceProvider"); node != nullptr;
         node = NextSibling(node, "TrustServiceProvider")) {
        Provider provider;
        provider.name = PickName(FirstChild(FirstChild(node, "TSPInformation"), "TSPName"));
        const xmlNode* services = FirstChild(node, "TSPServices");
        for (xmlNode* service = FirstChild(services, "TSPService"); service != nullptr;
             service = NextSibling(service, "TSPService")) {
            Service entry;
            if (!ReadService(service, entry, error))
                return false;
            provider.services.push_back(std::move(entry));
        }
        list.providers.push_back(std::move(provider));
    }
    return true;
}

// The facts of AdditionalInformation: type, territory and MIME type (in its own namespace).
void ReadPointerFacts(const xmlNode* additional, ListPointer& pointer) {
    for (xmlNode* info = FirstChild(additional, "OtherInformation"); info != nullptr;
         info = NextSibling(info, "OtherInformation")) {
        for (xmlNode* fact = info->children; fact != nullptr; fact = fact->next) {
            if (IsElement(fact, "TSLType"))
                pointer.tslType = TextOf(fact);
            else if (IsElement(fact, "SchemeTerritory"))
                pointer.territory = TextOf(fact);
            else if (IsElement(fact, "MimeType", nullptr))
                pointer.mimeType = TextOf(fact);
        }
    }
}

bool ReadPointers(const xmlNode* scheme, TrustedList& list, std::string& error) {
    const xmlNode* pointers = FirstChild(scheme, "PointersToOtherTSL");
    for (xmlNode* node = FirstChild(pointers, "OtherTSLPointer"); node != nullptr;
         node = NextSibling(node, "OtherTSLPointer")) {
        ListPointer pointer;
        pointer.location = TextOf(FirstChild(node, "TSLLocation"));
        ReadPointerFacts(FirstChild(node, "AdditionalInformation"), pointer);
        const xmlNode* identities = FirstChild(node, "ServiceDigitalIdentities");
        for (xmlNode* identity = FirstChild(identities, "ServiceDigitalIdentity");
             identity != nullptr; identity = NextSibling(identity, "ServiceDigitalIdentity")) {
            DigitalIdentity signers;
            if (!ReadIdentity(identity, signers, error))
                return false;
            for (auto& certificate : signers.certificates)
                pointer.signers.push_back(std::move(certificate));
        }
        list.pointers.push_back(std::move(pointer));
    }
    return true;
}

bool ReadScheme(const xmlNode* scheme, TrustedList& list, std::string& error) {
    if (!ReadSequence(TextOf(FirstChild(scheme, "TSLSequenceNumber")), list.sequence)) {
        error = "no readable TSLSequenceNumber";
        return false;
    }
    list.tslType = TextOf(FirstChild(scheme, "TSLType"));
    list.territory = TextOf(FirstChild(scheme, "SchemeTerritory"));
    list.operatorName = PickName(FirstChild(scheme, "SchemeOperatorName"));
    if (list.tslType.empty() || list.territory.empty()) {
        error = "no TSLType or SchemeTerritory";
        return false;
    }
    const xmlNode* uris = FirstChild(scheme, "SchemeInformationURI");
    for (xmlNode* uri = FirstChild(uris, "URI"); uri != nullptr; uri = NextSibling(uri, "URI"))
        list.schemeUris.push_back(TextOf(uri));
    const xmlNode* issued = FirstChild(scheme, "ListIssueDateTime");
    if (issued == nullptr) {
        error = "no ListIssueDateTime";
        return false;
    }
    if (!ReadTime(issued, list.issued, "ListIssueDateTime", error))
        return false;
    const xmlNode* next = FirstChild(FirstChild(scheme, "NextUpdate"), "dateTime");
    if (next != nullptr && !ReadTime(next, list.nextUpdate, "NextUpdate", error))
        return false;
    return ReadPointers(scheme, list, error);
}

} // namespace

bool ParseTrustedList(const xmlDoc* doc, TrustedList& list, std::string& error) {
    list = {};
    const xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
    if (!IsElement(root, "TrustServiceStatusList")) {
        error = "not a TrustServiceStatusList";
        return false;
    }
    const xmlNode* scheme = FirstChild(root, "SchemeInformation");
    if (scheme == nullptr) {
        error = "no SchemeInformation";
        return false;
    }
    return ReadScheme(scheme, list, error) && ReadProviders(root, list, error);
}

} // namespace tl
