#include "tools/TlTestSigner.h"

#include "core/TrustedListXml.h"
#include "platform/OpenSslPtr.h"

#include <libxml/parser.h>
#include <libxml/valid.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <xmlsec/crypto.h>
#include <xmlsec/openssl/evp.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmltree.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mivo::test {

namespace {

using PkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free>;
using ExtPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;

constexpr char kTslNs[] = "http://uri.etsi.org/02231/v2#";
constexpr char kXadesNs[] = "http://uri.etsi.org/01903/v1.3.2#";

void Check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("TlTestSigner: ") + what);
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string KeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    Check(bio &&
              PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "PEM key");
    return BioText(bio.get());
}

PkeyPtr KeyFromPem(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    Check(key != nullptr, "reading a private key");
    return key;
}

TlBytes DerOf(X509* cert) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(cert, &bytes);
    Check(length > 0, "DER certificate");
    TlBytes der(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

X509Ptr CertOf(const TlBytes& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr cert(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    Check(cert != nullptr, "reading a certificate");
    return cert;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    ExtPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    Check(extension && X509_add_ext(cert, extension.get(), -1) == 1, "extension");
}

// A certificate for `key`, signed by `issuerKey` as `issuer` (itself when null).
X509Ptr MakeCert(EVP_PKEY* key, const std::string& cn, const std::string& country, X509* issuer,
                 EVP_PKEY* issuerKey, const std::optional<TlBytes>& ski) {
    X509Ptr cert(X509_new());
    Check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    static long serial = 1000;
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400L * 365 * 15);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400L * 365 * 15);
    X509_NAME* name = X509_get_subject_name(cert.get());
    if (!country.empty())
        X509_NAME_add_entry_by_txt(name, "C", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(country.c_str()), -1, -1,
                                   0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
    Check(X509_set_pubkey(cert.get(), key) == 1, "public key");
    if (ski) {
        ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
        ASN1_OCTET_STRING_set(value, reinterpret_cast<const unsigned char*>(ski->data()),
                              static_cast<int>(ski->size()));
        X509_add1_ext_i2d(cert.get(), NID_subject_key_identifier, value, 0, 0);
        ASN1_OCTET_STRING_free(value);
    } else {
        AddExtension(cert.get(), nullptr, NID_subject_key_identifier, "hash");
    }
    if (issuer != nullptr)
        AddExtension(cert.get(), issuer, NID_authority_key_identifier, "keyid:always");
    Check(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Base64(const TlBytes& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::string Element(const std::string& name, const std::string& content) {
    return "<" + name + ">" + content + "</" + name + ">";
}

std::string EnglishName(const std::string& wrapper, const std::string& name) {
    return Element(wrapper, "<Name xml:lang=\"en\">" + Escape(name) + "</Name>");
}

std::string Identity(const std::vector<TlBytes>& certs, const std::vector<TlBytes>& skis) {
    std::string ids;
    for (const TlBytes& cert : certs)
        ids += Element("DigitalId", Element("X509Certificate", Base64(cert)));
    for (const TlBytes& ski : skis)
        ids += Element("DigitalId", Element("X509SKI", Base64(ski)));
    return Element("ServiceDigitalIdentity", ids);
}

std::string Pointer(const TlPointerSpec& pointer) {
    std::string ids;
    for (const TlBytes& cert : pointer.signers)
        ids += Element("ServiceDigitalIdentity",
                       Element("DigitalId", Element("X509Certificate", Base64(cert))));
    std::string facts =
        Element("OtherInformation", Element("TSLType", Escape(pointer.tslType))) +
        Element("OtherInformation", Element("SchemeTerritory", Escape(pointer.territory)));
    if (!pointer.mimeType.empty())
        facts += Element("OtherInformation", Element("ns3:MimeType", Escape(pointer.mimeType)));
    return Element("OtherTSLPointer", Element("ServiceDigitalIdentities", ids) +
                                          Element("TSLLocation", Escape(pointer.location)) +
                                          Element("AdditionalInformation", facts));
}

std::string Service(const TlServiceSpec& service) {
    std::string information = Element("ServiceTypeIdentifier", Escape(service.type)) +
                              EnglishName("ServiceName", service.name) +
                              Identity(service.certificates, service.skis) +
                              Element("ServiceStatus", Escape(service.status)) +
                              Element("StatusStartingTime", Escape(service.start));
    std::string history;
    for (const TlHistorySpec& past : service.history)
        history +=
            Element("ServiceHistoryInstance",
                    Element("ServiceTypeIdentifier", Escape(past.type)) +
                        EnglishName("ServiceName", service.name) + Identity({}, service.skis) +
                        Element("ServiceStatus", Escape(past.status)) +
                        Element("StatusStartingTime", Escape(past.start)));
    return Element("TSPService", Element("ServiceInformation", information) +
                                     (history.empty() ? "" : Element("ServiceHistory", history)));
}

std::string Providers(const std::vector<TlProviderSpec>& providers) {
    std::string out;
    for (const TlProviderSpec& provider : providers) {
        std::string services;
        for (const TlServiceSpec& service : provider.services)
            services += Service(service);
        out += Element("TrustServiceProvider",
                       Element("TSPInformation", EnglishName("TSPName", provider.name)) +
                           Element("TSPServices", services));
    }
    return out;
}

// The signing key for xmlsec (owned by the caller until handed to a context).
xmlSecKeyPtr XmlSecKey(const TlSigningKey& key) {
    PkeyPtr pkey = KeyFromPem(key.keyPem);
    xmlSecKeyDataPtr data = xmlSecOpenSSLEvpKeyAdopt(pkey.get());
    Check(data != nullptr, "xmlsec key data");
    pkey.release();
    xmlSecKeyPtr xmlKey = xmlSecKeyCreate();
    Check(xmlKey != nullptr && xmlSecKeySetValue(xmlKey, data) == 0, "xmlsec key");
    return xmlKey;
}

void AddXades(xmlDocPtr doc, xmlNodePtr signature) {
    xmlNodePtr object = xmlSecTmplSignatureAddObject(signature, nullptr, nullptr, nullptr);
    xmlNodePtr qualifying = xmlNewChild(object, nullptr, BAD_CAST "QualifyingProperties", nullptr);
    xmlNsPtr ns = xmlNewNs(qualifying, BAD_CAST kXadesNs, BAD_CAST "xades");
    xmlSetNs(qualifying, ns);
    xmlSetProp(qualifying, BAD_CAST "Target", BAD_CAST "#sig-1");
    xmlNodePtr signedProperties = xmlNewChild(qualifying, ns, BAD_CAST "SignedProperties", nullptr);
    xmlAttrPtr id = xmlSetProp(signedProperties, BAD_CAST "Id", BAD_CAST "xades-sig-1");
    xmlAddID(nullptr, doc, BAD_CAST "xades-sig-1", id);
    xmlNodePtr properties =
        xmlNewChild(signedProperties, ns, BAD_CAST "SignedSignatureProperties", nullptr);
    xmlNewChild(properties, ns, BAD_CAST "SigningTime", BAD_CAST "2023-10-01T00:00:00Z");
    xmlNodePtr reference = xmlSecTmplSignatureAddReference(
        signature, xmlSecTransformSha256Id, nullptr, BAD_CAST "#xades-sig-1",
        BAD_CAST "http://uri.etsi.org/01903#SignedProperties");
    Check(reference != nullptr &&
              xmlSecTmplReferenceAddTransform(reference, xmlSecTransformExclC14NId) != nullptr,
          "XAdES reference");
}

void AddMainReference(xmlDocPtr doc, xmlNodePtr signature, const TlSignOptions& options) {
    if (!options.referenceUri.empty()) {
        xmlNodePtr scheme = xmlDocGetRootElement(doc)->children;
        while (scheme != nullptr && scheme->type != XML_ELEMENT_NODE)
            scheme = scheme->next;
        xmlAttrPtr id = xmlHasProp(scheme, BAD_CAST "Id");
        Check(id != nullptr, "the scheme information has no Id");
        xmlAddID(nullptr, doc, BAD_CAST "scheme", id);
    }
    xmlNodePtr reference =
        xmlSecTmplSignatureAddReference(signature, xmlSecTransformSha256Id, BAD_CAST "ref-1",
                                        BAD_CAST options.referenceUri.c_str(), nullptr);
    Check(reference != nullptr, "reference");
    if (options.envelopedTransform)
        Check(xmlSecTmplReferenceAddTransform(reference, xmlSecTransformEnvelopedId) != nullptr,
              "enveloped transform");
    if (options.xpathExcludingProviders) {
        xmlNodePtr transform = xmlSecTmplReferenceAddTransform(reference, xmlSecTransformXPathId);
        const xmlChar* namespaces[] = {BAD_CAST "tsl", BAD_CAST kTslNs, nullptr};
        Check(transform != nullptr &&
                  xmlSecTmplTransformAddXPath(
                      transform, BAD_CAST "not(ancestor-or-self::tsl:TrustServiceProviderList)",
                      namespaces) == 0,
              "XPath transform");
    }
    Check(xmlSecTmplReferenceAddTransform(reference, xmlSecTransformExclC14NId) != nullptr,
          "c14n transform");
}

// KeyInfo is not signed: it goes in after the signature value.
void AddKeyInfo(xmlNodePtr signature, const TlBytes& cert) {
    xmlNodePtr value = xmlSecFindChild(signature, xmlSecNodeSignatureValue, xmlSecDSigNs);
    Check(value != nullptr, "SignatureValue");
    xmlNodePtr keyInfo = xmlNewNode(signature->ns, BAD_CAST "KeyInfo");
    xmlAddNextSibling(value, keyInfo);
    xmlNodePtr data = xmlNewChild(keyInfo, signature->ns, BAD_CAST "X509Data", nullptr);
    xmlNewChild(data, signature->ns, BAD_CAST "X509Certificate", BAD_CAST Base64(cert).c_str());
}

struct DocFree {
    void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};
struct DsigFree {
    void operator()(xmlSecDSigCtx* context) const noexcept { xmlSecDSigCtxDestroy(context); }
};

} // namespace

TlSigningKey MakeTlSigningKey(const std::string& commonName, bool ecdsa) {
    PkeyPtr key(ecdsa ? EVP_EC_gen("P-256") : EVP_RSA_gen(2048));
    Check(key != nullptr, "key generation");
    X509Ptr cert = MakeCert(key.get(), commonName, "", nullptr, nullptr, std::nullopt);
    TlSigningKey signing;
    signing.keyPem = KeyPem(key.get());
    signing.certDer = DerOf(cert.get());
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), cert.get());
    signing.certPem = BioText(bio.get());
    return signing;
}

TlSigningKey LoadTlSigningKey(const std::string& keyPemPath, const std::string& certPath) {
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        Check(in.good(), "cannot read a file");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    TlSigningKey signing;
    signing.keyPem = read(keyPemPath);
    const std::string cert = read(certPath);
    BioPtr bio(BIO_new_mem_buf(cert.data(), static_cast<int>(cert.size())));
    X509Ptr parsed(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    signing.certDer = parsed ? DerOf(parsed.get()) : DerOf(CertOf(cert).get());
    return signing;
}

TlTestCert MakeTlTestCert(const TlTestCertSpec& spec) {
    PkeyPtr key = spec.keyPem.empty() ? PkeyPtr(EVP_EC_gen("P-256")) : KeyFromPem(spec.keyPem);
    Check(key != nullptr, "key generation");
    X509Ptr issuer;
    PkeyPtr issuerKey;
    if (spec.issuer != nullptr) {
        issuer = CertOf(spec.issuer->der);
        issuerKey = KeyFromPem(spec.issuer->keyPem);
    }
    X509Ptr cert =
        MakeCert(key.get(), spec.commonName, spec.country, issuer.get(), issuerKey.get(), spec.ski);
    return {DerOf(cert.get()), KeyPem(key.get())};
}

std::string BuildTlXml(const TlListSpec& spec) {
    std::string uris;
    for (const std::string& uri : spec.schemeUris)
        uris += "<URI xml:lang=\"en\">" + Escape(uri) + "</URI>";
    std::string pointers;
    for (const TlPointerSpec& pointer : spec.pointers)
        pointers += Pointer(pointer);
    const std::string scheme =
        Element("TSLVersionIdentifier", "5") +
        Element("TSLSequenceNumber", std::to_string(spec.sequence)) +
        Element("TSLType", Escape(spec.tslType)) +
        EnglishName("SchemeOperatorName", "Test scheme operator " + spec.territory) +
        (uris.empty() ? "" : Element("SchemeInformationURI", uris)) +
        Element("SchemeTerritory", Escape(spec.territory)) +
        (pointers.empty() ? "" : Element("PointersToOtherTSL", pointers)) +
        Element("ListIssueDateTime", Escape(spec.issued)) +
        (spec.nextUpdate.empty() ? "<NextUpdate/>"
                                 : Element("NextUpdate", Element("dateTime", spec.nextUpdate)));
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
           "<TrustServiceStatusList xmlns=\"" + kTslNs +
           "\" xmlns:ns3=\"http://uri.etsi.org/02231/v2/additionaltypes#\" "
           "TSLTag=\"http://uri.etsi.org/19612/TSLTag\" Id=\"TSL\">\n" +
           "<SchemeInformation Id=\"scheme\">" + scheme + "</SchemeInformation>\n" +
           (spec.providers.empty()
                ? ""
                : Element("TrustServiceProviderList", Providers(spec.providers)) + "\n") +
           "</TrustServiceStatusList>\n";
}

std::string SignTlXml(const std::string& xml, const TlSigningKey& key,
                      const TlSignOptions& options) {
    Check(tl::InitXmlSecurity(), "xmlsec set-up");
    std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET));
    Check(doc != nullptr, "the XML to sign does not parse");
    const bool ecdsa = KeyFromPem(key.keyPem) != nullptr &&
                       EVP_PKEY_get_base_id(KeyFromPem(key.keyPem).get()) == EVP_PKEY_EC;
    xmlNodePtr signature = xmlSecTmplSignatureCreateNsPref(doc.get(), xmlSecTransformExclC14NId,
                                                           ecdsa ? xmlSecTransformEcdsaSha256Id
                                                                 : xmlSecTransformRsaSha256Id,
                                                           BAD_CAST "sig-1", BAD_CAST "ds");
    Check(signature != nullptr, "signature template");
    xmlAddChild(xmlDocGetRootElement(doc.get()), signature);
    AddMainReference(doc.get(), signature, options);
    if (options.xades)
        AddXades(doc.get(), signature);
    std::unique_ptr<xmlSecDSigCtx, DsigFree> context(xmlSecDSigCtxCreate(nullptr));
    Check(context != nullptr, "xmlsec context");
    context->signKey = XmlSecKey(key);
    Check(xmlSecDSigCtxSign(context.get(), signature) == 0, "signing");
    if (options.keyInfoCertificate)
        AddKeyInfo(signature, options.keyInfoOverride ? *options.keyInfoOverride : key.certDer);
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc.get(), &out, &size, "UTF-8");
    Check(out != nullptr, "serialising");
    std::string signedXml(reinterpret_cast<char*>(out), static_cast<std::size_t>(size));
    xmlFree(out);
    return signedXml;
}

} // namespace mivo::test
