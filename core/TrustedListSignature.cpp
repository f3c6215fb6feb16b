#include "core/TrustedListSignature.h"

#include "core/TrustedListXml.h"
#include "platform/OpenSslPtr.h"

#include <libxml/valid.h>
#include <openssl/x509.h>
#include <xmlsec/crypto.h>
#include <xmlsec/openssl/evp.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>

#include <algorithm>

namespace tl {

namespace {

using X509Ptr = OpenSslPtr<X509, X509_free>;

inline constexpr char kEnvelopedTransform[] =
    "http://www.w3.org/2000/09/xmldsig#enveloped-signature";

struct DsigCtxFree {
    void operator()(xmlSecDSigCtx* context) const noexcept { xmlSecDSigCtxDestroy(context); }
};

X509Ptr CertificateOf(const Blob& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr cert(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    if (cert && bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size())
        cert.reset(); // bytes after the certificate
    return cert;
}

// The one ds:Signature child of the document element; null when there is none or more.
xmlNode* TheSignature(xmlDoc* doc, std::string& reason) {
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlNode* signature = FirstChild(root, "Signature", kDsigNamespace);
    if (signature == nullptr) {
        reason = "the list is not signed";
        return nullptr;
    }
    if (NextSibling(signature, "Signature", kDsigNamespace) != nullptr) {
        reason = "the list has more than one signature";
        return nullptr;
    }
    return signature;
}

// A Reference with URI="" whose transforms include the enveloped-signature transform.
bool CoversWholeDocument(const xmlNode* signature) {
    const xmlNode* signedInfo = FirstChild(signature, "SignedInfo", kDsigNamespace);
    for (xmlNode* reference = FirstChild(signedInfo, "Reference", kDsigNamespace);
         reference != nullptr; reference = NextSibling(reference, "Reference", kDsigNamespace)) {
        std::string uri;
        if (!AttributeOf(reference, "URI", uri) || !uri.empty())
            continue;
        const xmlNode* transforms = FirstChild(reference, "Transforms", kDsigNamespace);
        for (xmlNode* transform = FirstChild(transforms, "Transform", kDsigNamespace);
             transform != nullptr;
             transform = NextSibling(transform, "Transform", kDsigNamespace)) {
            std::string algorithm;
            if (AttributeOf(transform, "Algorithm", algorithm) && algorithm == kEnvelopedTransform)
                return true;
        }
    }
    return false;
}

// The XAdES reference names its SignedProperties by an Id attribute, which the parser does
// not know as an ID without a schema. Two equal Ids would make the reference ambiguous.
bool RegisterIds(xmlDoc* doc, xmlNode* node) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        xmlAttr* id = xmlHasProp(node, BAD_CAST "Id");
        if (id != nullptr && id->ns == nullptr) {
            xmlChar* value = xmlNodeListGetString(doc, id->children, 1);
            const xmlAttr* known = value != nullptr ? xmlGetID(doc, value) : nullptr;
            const bool registered =
                value != nullptr &&
                (known == id || (known == nullptr && xmlAddID(nullptr, doc, value, id) != nullptr));
            xmlFree(value);
            if (!registered)
                return false;
        }
        if (!RegisterIds(doc, node->children))
            return false;
    }
    return true;
}

void RestrictTransforms(xmlSecDSigCtx* context) {
    const xmlSecTransformId canonical[] = {
        xmlSecTransformInclC14NId,   xmlSecTransformInclC14NWithCommentsId,
        xmlSecTransformInclC14N11Id, xmlSecTransformInclC14N11WithCommentsId,
        xmlSecTransformExclC14NId,   xmlSecTransformExclC14NWithCommentsId};
    const xmlSecTransformId digests[] = {xmlSecTransformSha256Id, xmlSecTransformSha384Id,
                                         xmlSecTransformSha512Id};
    const xmlSecTransformId signatures[] = {
        xmlSecTransformRsaSha256Id,   xmlSecTransformRsaSha384Id,   xmlSecTransformRsaSha512Id,
        xmlSecTransformEcdsaSha256Id, xmlSecTransformEcdsaSha384Id, xmlSecTransformEcdsaSha512Id};
    for (const auto id : canonical) {
        (void)xmlSecDSigCtxEnableReferenceTransform(context, id);
        (void)xmlSecDSigCtxEnableSignatureTransform(context, id);
    }
    for (const auto id : digests)
        (void)xmlSecDSigCtxEnableReferenceTransform(context, id);
    for (const auto id : signatures)
        (void)xmlSecDSigCtxEnableSignatureTransform(context, id);
    (void)xmlSecDSigCtxEnableReferenceTransform(context, xmlSecTransformEnvelopedId);
}

// The signature checked with the public key of `pin` alone.
bool VerifiesWith(xmlNode* signature, const Blob& pin) {
    const X509Ptr cert = CertificateOf(pin);
    EVP_PKEY* publicKey = cert ? X509_get_pubkey(cert.get()) : nullptr;
    if (publicKey == nullptr)
        return false;
    xmlSecKeyDataPtr data = xmlSecOpenSSLEvpKeyAdopt(publicKey);
    if (data == nullptr) {
        EVP_PKEY_free(publicKey);
        return false;
    }
    xmlSecKeyPtr key = xmlSecKeyCreate();
    if (key == nullptr || xmlSecKeySetValue(key, data) < 0) {
        xmlSecKeyDataDestroy(data);
        if (key != nullptr)
            xmlSecKeyDestroy(key);
        return false;
    }
    std::unique_ptr<xmlSecDSigCtx, DsigCtxFree> context(xmlSecDSigCtxCreate(nullptr));
    if (!context) {
        xmlSecKeyDestroy(key);
        return false;
    }
    context->signKey = key; // owned by the context from here on
    context->flags |= XMLSEC_DSIG_FLAGS_IGNORE_MANIFESTS;
    context->enabledReferenceUris =
        xmlSecTransformUriTypeEmpty | xmlSecTransformUriTypeSameDocument;
    RestrictTransforms(context.get());
    return xmlSecDSigCtxVerify(context.get(), signature) >= 0 &&
           context->status == xmlSecDSigStatusSucceeded;
}

// The DER of the SubjectPublicKeyInfo of a certificate; empty when it cannot be read.
Blob KeyOf(const Blob& der) {
    const X509Ptr cert = CertificateOf(der);
    unsigned char* bytes = nullptr;
    const int length = cert ? i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &bytes) : -1;
    Blob key = length > 0 ? Blob(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length))
                          : Blob();
    OPENSSL_free(bytes);
    return key;
}

// The pins in the order to try them: first those with the key of the KeyInfo certificate.
std::vector<const Blob*> PinsInOrder(const xmlNode* signature, const std::vector<Blob>& pins) {
    const xmlNode* data =
        FirstChild(FirstChild(signature, "KeyInfo", kDsigNamespace), "X509Data", kDsigNamespace);
    Blob hint;
    if (!DecodeBase64(TextOf(FirstChild(data, "X509Certificate", kDsigNamespace)), hint))
        hint.clear();
    const Blob hintKey = hint.empty() ? Blob() : KeyOf(hint);
    std::vector<const Blob*> ordered;
    for (const Blob& pin : pins)
        ordered.push_back(&pin);
    if (!hintKey.empty())
        std::stable_partition(ordered.begin(), ordered.end(),
                              [&hintKey](const Blob* pin) { return KeyOf(*pin) == hintKey; });
    return ordered;
}

} // namespace

bool VerifyListSignature(xmlDoc* doc, const std::vector<Blob>& pins, Blob& signer,
                         std::string& reason) {
    signer.clear();
    if (!InitXmlSecurity()) {
        reason = "xmlsec could not be initialised";
        return false;
    }
    xmlNode* signature = doc != nullptr ? TheSignature(doc, reason) : nullptr;
    if (signature == nullptr)
        return false;
    if (!CoversWholeDocument(signature)) {
        reason = "the signature does not cover the whole list";
        return false;
    }
    if (!RegisterIds(doc, signature)) {
        reason = "the signature has duplicate Id attributes";
        return false;
    }
    if (pins.empty()) {
        reason = "no certificate to verify the signature with";
        return false;
    }
    (void)TakeXmlSecMessage();
    for (const Blob* pin : PinsInOrder(signature, pins)) {
        if (VerifiesWith(signature, *pin)) {
            signer = *pin;
            (void)TakeXmlSecMessage();
            return true;
        }
    }
    const std::string detail = TakeXmlSecMessage();
    reason = "the signature does not verify with any of the " + std::to_string(pins.size()) +
             " certificates" + (detail.empty() ? "" : " (" + detail + ")");
    return false;
}

} // namespace tl
