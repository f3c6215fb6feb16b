// The signatures of the lists: the real chain from the Official Journal's certificates
// through the pivots to LOTL 332 and the six national lists, one changed byte in each, and
// synthetic lists signed the wrong ways (a part only, an XPath filter, a foreign key).
#include "core/TrustedListSignature.h"
#include "core/TrustedListChain.h"
#include "tools/TlTestSigner.h"

#include "TlTestSupport.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tl_test;
using mivo::test::BuildTlXml;
using mivo::test::MakeTlSigningKey;
using mivo::test::SignTlXml;
using mivo::test::TlListSpec;
using mivo::test::TlSigningKey;
using mivo::test::TlSignOptions;

namespace {

tl::ListDocument Load(const std::string& xml, const std::string& origin = "test") {
    tl::ListDocument document;
    std::string error;
    if (!tl::LoadListDocument(xml, origin, document, error))
        throw std::runtime_error("cannot load " + origin + ": " + error);
    return document;
}

bool Verifies(const std::string& xml, const std::vector<tl::Blob>& pins,
              std::string* why = nullptr) {
    tl::ListDocument document = Load(xml);
    tl::Blob signer;
    std::string reason;
    const bool ok = tl::VerifyListSignature(document.doc.get(), pins, signer, reason);
    if (why != nullptr)
        *why = reason;
    return ok;
}

// One digit of the sequence number changed: still a well-formed list, another content.
std::string WithOtherSequence(std::string xml) {
    const std::size_t at =
        xml.find("<TSLSequenceNumber>") + std::string("<TSLSequenceNumber>").size();
    xml[at] = xml[at] == '9' ? '8' : static_cast<char>(xml[at] + 1);
    return xml;
}

TEST(TlRealChain, OfficialJournalPivotsAndTheCurrentLotl) {
    const std::vector<tl::Blob> oj = OjPins();
    ASSERT_EQ(oj.size(), 8u);
    EXPECT_TRUE(Verifies(ReadFile(TlData("lotl/eu-lotl-248.xml")), oj));
    EXPECT_TRUE(Verifies(ReadFile(TlData("lotl/eu-lotl-pivot-282.xml")), oj));
    std::string why;
    EXPECT_FALSE(Verifies(ReadFile(TlData("lotl/eu-lotl-332.xml")), oj, &why));
    EXPECT_NE(why.find("does not verify"), std::string::npos) << why;

    const auto pivots = [](std::vector<std::string> names) {
        return [names] {
            std::vector<tl::ListDocument> documents;
            for (const std::string& name : names)
                documents.push_back(Load(ReadFile(TlData("lotl/" + name)), name));
            return documents;
        };
    };
    tl::ListDocument lotl = Load(ReadFile(TlData("lotl/eu-lotl-332.xml")));
    tl::LotlTrust trust;
    std::string reason;
    ASSERT_TRUE(tl::VerifyLotl(
        lotl, oj, pivots({"eu-lotl-pivot-300.xml", "eu-lotl-pivot-282.xml", "eu-lotl-248.xml"}),
        trust, reason))
        << reason;
    EXPECT_EQ(trust.pivots, (std::vector<uint64_t>{248, 282, 300}));
    EXPECT_EQ(trust.signer, SignerOf("eu-lotl-332"));
    // 248 does not name the key of 332; without pivots nothing does.
    EXPECT_FALSE(tl::VerifyLotl(lotl, oj, pivots({"eu-lotl-248.xml"}), trust, reason));
    EXPECT_FALSE(tl::VerifyLotl(lotl, oj, {}, trust, reason));
    // A pivot that was changed verifies with nothing and so passes no trust on.
    tl::ListDocument lotlAgain = Load(ReadFile(TlData("lotl/eu-lotl-332.xml")));
    EXPECT_FALSE(tl::VerifyLotl(
        lotlAgain, oj,
        [] {
            std::vector<tl::ListDocument> documents;
            documents.push_back(
                Load(WithOtherSequence(ReadFile(TlData("lotl/eu-lotl-pivot-300.xml")))));
            return documents;
        },
        trust, reason));
    // A changed LOTL fails even with the pivots.
    tl::ListDocument changed = Load(WithOtherSequence(ReadFile(TlData("lotl/eu-lotl-332.xml"))));
    EXPECT_FALSE(tl::VerifyLotl(changed, oj, pivots({"eu-lotl-pivot-300.xml"}), trust, reason));
}

TEST(TlRealChain, EachNationalListWithTheCertificatesTheLotlNamesForIt) {
    const tl::ListDocument lotl = Load(ReadFile(TlData("lotl/eu-lotl-332.xml")));
    for (const char* name : {"BE-66", "CZ-141", "ES-146", "IT-194", "PL-139", "SK-110"}) {
        SCOPED_TRACE(name);
        const std::string xml = ReadFile(TlData(std::string("tl/") + name + ".xml"));
        const tl::ListPointer* pointer = tl::PointerTo(lotl.list, std::string(name, 2));
        ASSERT_NE(pointer, nullptr);
        tl::ListDocument document = Load(xml);
        tl::Blob signer;
        std::string reason;
        ASSERT_TRUE(tl::VerifyListSignature(document.doc.get(), pointer->signers, signer, reason))
            << reason;
        EXPECT_EQ(signer, SignerOf(name));
        EXPECT_FALSE(Verifies(WithOtherSequence(xml), pointer->signers));
        // Another territory's signers do not verify it.
        const tl::ListPointer* other =
            tl::PointerTo(lotl.list, std::string(name, 2) == "CZ" ? "SK" : "CZ");
        EXPECT_FALSE(Verifies(xml, other->signers));
    }
}

class TlSyntheticSignature : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_key = new TlSigningKey(MakeTlSigningKey("Test scheme operator"));
        s_other = new TlSigningKey(MakeTlSigningKey("Someone else", true));
    }
    static void TearDownTestSuite() {
        delete s_key;
        delete s_other;
    }
    static std::string List() {
        TlListSpec spec;
        spec.territory = "CZ";
        spec.sequence = 7;
        spec.providers = {
            {"Provider", {mivo::test::TlService("Service A"), mivo::test::TlService("Service B")}}};
        return BuildTlXml(spec);
    }
    static std::vector<tl::Blob> Pin() { return {s_key->certDer}; }

    static TlSigningKey* s_key;
    static TlSigningKey* s_other;
};
TlSigningKey* TlSyntheticSignature::s_key = nullptr;
TlSigningKey* TlSyntheticSignature::s_other = nullptr;

TEST_F(TlSyntheticSignature, TheWayTheRealListsAreSignedVerifiesWithThePinOnly) {
    const std::string xml = SignTlXml(List(), *s_key);
    EXPECT_TRUE(Verifies(xml, Pin()));
    EXPECT_TRUE(Verifies(xml, {s_other->certDer, s_key->certDer})); // any pin may be the one
    EXPECT_FALSE(Verifies(xml, {s_other->certDer}));
    EXPECT_FALSE(Verifies(xml, {}));
    std::string changed = xml;
    changed.replace(changed.find("Service B"), 9, "Service C");
    EXPECT_FALSE(Verifies(changed, Pin()));
    // An ECDSA key, and no certificate in KeyInfo at all.
    EXPECT_TRUE(Verifies(SignTlXml(List(), *s_other), {s_key->certDer, s_other->certDer}));
    TlSignOptions bare;
    bare.keyInfoCertificate = false;
    EXPECT_TRUE(Verifies(SignTlXml(List(), *s_key, bare), {s_other->certDer, s_key->certDer}));
}

TEST_F(TlSyntheticSignature, TheCertificateInKeyInfoIsNeverTrustedOnItsOwn) {
    // Signed by a stranger who names himself in KeyInfo.
    EXPECT_FALSE(Verifies(SignTlXml(List(), *s_other), Pin()));
    // Signed by the pinned key with a stranger in KeyInfo: the pin decides.
    TlSignOptions foreign;
    foreign.keyInfoOverride = s_other->certDer;
    EXPECT_TRUE(Verifies(SignTlXml(List(), *s_key, foreign), Pin()));
}

TEST_F(TlSyntheticSignature, ASignatureOverAPartDoesNotVerifyTheList) {
    std::string why;
    TlSignOptions part;
    part.referenceUri = "#scheme";
    part.envelopedTransform = false;
    EXPECT_FALSE(Verifies(SignTlXml(List(), *s_key, part), Pin(), &why));
    EXPECT_NE(why.find("whole list"), std::string::npos) << why;
    TlSignOptions notEnveloped;
    notEnveloped.envelopedTransform = false;
    EXPECT_FALSE(Verifies(SignTlXml(List(), *s_key, notEnveloped), Pin(), &why));
    EXPECT_NE(why.find("whole list"), std::string::npos) << why;
    // The whole document, less what an XPath filter leaves out: the providers.
    TlSignOptions filtered;
    filtered.xpathExcludingProviders = true;
    const std::string xml = SignTlXml(List(), *s_key, filtered);
    EXPECT_FALSE(Verifies(xml, Pin(), &why));
    std::string changed = xml;
    changed.replace(changed.find("Service B"), 9, "Service C");
    EXPECT_FALSE(Verifies(changed, Pin()));
}

TEST_F(TlSyntheticSignature, ExactlyOneSignatureOfTheDocumentElement) {
    std::string why;
    const std::string unsigned_ = List();
    EXPECT_FALSE(Verifies(unsigned_, Pin(), &why));
    EXPECT_NE(why.find("not signed"), std::string::npos);
    std::string twice = SignTlXml(List(), *s_key);
    const std::size_t start = twice.find("<ds:Signature");
    const std::size_t end = twice.find("</ds:Signature>") + std::string("</ds:Signature>").size();
    twice.insert(end, twice.substr(start, end - start));
    EXPECT_FALSE(Verifies(twice, Pin(), &why));
    EXPECT_NE(why.find("more than one"), std::string::npos) << why;
}

// xmlsec1, the library's own command-line tool, agrees with us on our test lists.
TEST_F(TlSyntheticSignature, XmlsecCommandLineAcceptsOurTestLists) {
    if (std::system("command -v xmlsec1 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmlsec1 is not installed (scripts/setup-debian.sh installs it)";
    TempDir dir;
    const std::string list = dir.Write("list.xml", SignTlXml(List(), *s_key));
    const std::string pin = dir.Write("pin.der", s_key->certDer);
    const std::string other = dir.Write("other.der", s_other->certDer);
    const std::string command = "xmlsec1 --verify --enabled-key-data rsa,ec --id-attr:Id "
                                "http://uri.etsi.org/01903/v1.3.2#:SignedProperties "
                                "--pubkey-cert-der ";
    EXPECT_EQ(std::system((command + pin + " " + list + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system((command + other + " " + list + " >/dev/null 2>&1").c_str()), 0);
}

} // namespace
