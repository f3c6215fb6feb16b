// Reading trusted lists: the text values (base64, xsd:dateTime), the quick look at a file,
// the safe XML parse and the model read from the real lists of tests/data.
#include "core/TrustedListChain.h"
#include "core/TrustedListParser.h"
#include "core/TrustedListXml.h"

#include "TlTestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace tl_test;

namespace {

TEST(TlText, Base64AcceptsWhiteSpaceAndRefusesAnythingElse) {
    tl::Blob out;
    ASSERT_TRUE(tl::DecodeBase64(" TWl2\r\nbw==\t", out));
    EXPECT_EQ(out, "Mivo");
    ASSERT_TRUE(tl::DecodeBase64("TWl2bzE=", out));
    EXPECT_EQ(out, "Mivo1");
    ASSERT_TRUE(tl::DecodeBase64("", out));
    EXPECT_TRUE(out.empty());
    for (const char* bad : {"TWl2b", "TWl2bw=", "TW=2bw==", "TWl2bw===", "TWl2b!==", "TWl2bx==",
                            "=TWl2bw=", "TWl2bw==TWl2"})
        EXPECT_FALSE(tl::DecodeBase64(bad, out)) << bad;
}

TEST(TlText, DateTimesWithZonesAndFractions) {
    const uint64_t base = Utc("2023-09-27T09:00:29Z");
    uint64_t t = 0;
    ASSERT_TRUE(tl::ParseXsdDateTime("2023-09-27T09:00:29", t));
    EXPECT_EQ(t, base); // no zone: UTC
    ASSERT_TRUE(tl::ParseXsdDateTime("2023-09-27T11:00:29+02:00", t));
    EXPECT_EQ(t, base);
    ASSERT_TRUE(tl::ParseXsdDateTime("2023-09-27T04:30:29-04:30", t));
    EXPECT_EQ(t, base);
    ASSERT_TRUE(tl::ParseXsdDateTime(" 2023-09-27T09:00:29.2509Z\n", t));
    EXPECT_EQ(t, base + 2'500'000); // 250 ms; below a millisecond is dropped
    for (const char* bad :
         {"2023-09-27", "2023-09-27 09:00:29Z", "2023-13-01T00:00:00Z", "2023-02-29T00:00:00Z",
          "2023-09-27T24:00:00Z", "2023-09-27T09:00:29.Z", "2023-09-27T09:00:29+2:00",
          "2023-09-27T09:00:29+15:00", "2023-09-27T09:00:29ZZ", "1600-12-31T23:59:59Z"})
        EXPECT_FALSE(tl::ParseXsdDateTime(bad, t)) << bad;
    EXPECT_EQ(tl::UtcText(base), "27.09.2023 09:00 UTC");
    EXPECT_EQ(tl::UtcText(0), "");
}

TEST(TlXml, RefusesDocumentTypesAndBrokenXml) {
    tl::XmlDocPtr doc;
    std::string error;
    const std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaa\">"
                               "<!ENTITY b \"&a;&a;&a;&a;\">]><r>&b;</r>";
    EXPECT_FALSE(tl::ParseXml(laughs, doc, error));
    EXPECT_NE(error.find("document type"), std::string::npos) << error;
    const std::string external = "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM "
                                 "\"http://127.0.0.1:1/x.dtd\"><r/>";
    EXPECT_FALSE(tl::ParseXml(external, doc, error));
    EXPECT_FALSE(tl::ParseXml("<r><a></r>", doc, error));
    EXPECT_NE(error.find("line"), std::string::npos) << error;
    EXPECT_FALSE(tl::ParseXml("", doc, error));
}

TEST(TlXml, SniffTellsListsApartWithoutTheTree) {
    tl::TslHeader header;
    ASSERT_TRUE(tl::SniffTsl(ReadFile(TlData("lotl/eu-lotl-332.xml")), header));
    EXPECT_EQ(header.tslType, tl::kTypeLotl);
    EXPECT_EQ(header.territory, "EU");
    EXPECT_EQ(header.sequence, 332u);
    ASSERT_TRUE(tl::SniffTsl(ReadFile(TlData("tl/CZ-141.xml")), header));
    EXPECT_EQ(header.tslType, tl::kTypeGeneric);
    EXPECT_EQ(header.territory, "CZ");
    EXPECT_EQ(header.sequence, 141u);
    EXPECT_FALSE(tl::SniffTsl(ReadFile(TlData("README.md")), header));
    EXPECT_FALSE(tl::SniffTsl("<TrustServiceStatusList xmlns=\"urn:other\"><SchemeInformation>"
                              "<TSLSequenceNumber>1</TSLSequenceNumber></SchemeInformation>"
                              "</TrustServiceStatusList>",
                              header));
    // Facts nested deeper (a pointer's territory) are not the list's own.
    EXPECT_FALSE(tl::SniffTsl("<TrustServiceStatusList xmlns=\"http://uri.etsi.org/02231/v2#\">"
                              "<SchemeInformation><TSLSequenceNumber>7</TSLSequenceNumber>"
                              "<TSLType>t</TSLType><PointersToOtherTSL><SchemeTerritory>CZ"
                              "</SchemeTerritory></PointersToOtherTSL></SchemeInformation>"
                              "</TrustServiceStatusList>",
                              header));
}

struct RealList {
    const char* file;
    const char* territory;
    uint64_t sequence;
    const char* issued;
    const char* nextUpdate;
    std::size_t qtst; // services of type TSA/QTST
};

TEST(TlParser, RealNationalListsAsTheirReadmeCountsThem) {
    const RealList lists[] = {
        {"BE-66", "BE", 66, "2023-09-19T00:00:24Z", "2024-03-18T01:00:24Z", 15},
        {"CZ-141", "CZ", 141, "2023-10-13T08:30:00Z", "2024-04-10T08:30:07Z", 289},
        {"ES-146", "ES", 146, "2023-10-24T00:00:00Z", "2024-04-13T00:00:00Z", 78},
        {"IT-194", "IT", 194, "2023-09-26T01:00:00Z", "2024-03-26T00:00:00Z", 30},
        {"PL-139", "PL", 139, "2023-09-19T08:03:51Z", "2023-12-19T09:03:51Z", 34},
        {"SK-110", "SK", 110, "2023-10-19T12:00:00Z", "2024-03-07T01:00:10Z", 79},
    };
    for (const RealList& real : lists) {
        SCOPED_TRACE(real.file);
        tl::ListDocument document;
        std::string error;
        ASSERT_TRUE(tl::LoadListDocument(ReadFile(TlData(std::string("tl/") + real.file + ".xml")),
                                         real.file, document, error))
            << error;
        const tl::TrustedList& list = document.list;
        EXPECT_TRUE(tl::IsNationalList(list));
        EXPECT_EQ(list.territory, real.territory);
        EXPECT_EQ(list.sequence, real.sequence);
        EXPECT_EQ(list.issued, Utc(real.issued));
        EXPECT_EQ(list.nextUpdate, Utc(real.nextUpdate));
        std::size_t qtst = 0;
        for (const tl::Provider& provider : list.providers)
            for (const tl::Service& service : provider.services)
                qtst += service.current.type == "http://uri.etsi.org/TrstSvc/Svctype/TSA/QTST";
        EXPECT_EQ(qtst, real.qtst);
    }
}

TEST(TlParser, RealLotlNamesItsPivotsAndTheSignersOfEachList) {
    tl::ListDocument lotl;
    std::string error;
    ASSERT_TRUE(tl::LoadListDocument(ReadFile(TlData("lotl/eu-lotl-332.xml")), "332", lotl, error));
    EXPECT_TRUE(tl::IsLotl(lotl.list));
    EXPECT_EQ(tl::PivotUris(lotl.list),
              (std::vector<std::string>{"https://ec.europa.eu/tools/lotl/eu-lotl-pivot-300.xml",
                                        "https://ec.europa.eu/tools/lotl/eu-lotl-pivot-282.xml"}));
    const std::map<std::string, std::pair<const char*, std::size_t>> pointers = {
        {"BE", {"https://tsl.belgium.be/tsl-be.xml", 4}},
        {"CZ", {"https://tsl.gov.cz/publ/TSL_CZ.xtsl", 4}},
        {"ES", {"https://sedediatid.mineco.gob.es/Prestadores/TSL/TSL.xml", 2}},
        {"SK", {"http://tl.nbu.gov.sk/kca/tsl/tsl.xml", 4}},
    };
    for (const auto& [territory, expected] : pointers) {
        const tl::ListPointer* pointer = tl::PointerTo(lotl.list, territory);
        ASSERT_NE(pointer, nullptr) << territory;
        EXPECT_EQ(pointer->location, expected.first);
        EXPECT_EQ(pointer->signers.size(), expected.second);
        EXPECT_NE(std::find(pointer->signers.begin(), pointer->signers.end(),
                            SignerOf(territory == "BE"   ? "BE-66"
                                     : territory == "CZ" ? "CZ-141"
                                     : territory == "ES" ? "ES-146"
                                                         : "SK-110")),
                  pointer->signers.end());
    }
    const std::vector<std::string> territories = tl::PointedTerritories(lotl.list);
    EXPECT_EQ(std::count(territories.begin(), territories.end(), "CZ"), 1);
    EXPECT_EQ(std::count(territories.begin(), territories.end(), "EU"), 0);
    EXPECT_FALSE(tl::LotlSigners(lotl.list).empty());
}

TEST(TlParser, RefusesListsWithoutTheirFactsOrWithUnreadableValues) {
    const auto parse = [](const std::string& scheme, const std::string& rest = "") {
        const std::string xml = "<TrustServiceStatusList xmlns=\"http://uri.etsi.org/02231/v2#\">"
                                "<SchemeInformation>" +
                                scheme + "</SchemeInformation>" + rest +
                                "</TrustServiceStatusList>";
        tl::ListDocument document;
        std::string error;
        return tl::LoadListDocument(xml, "test", document, error) ? std::string("ok") : error;
    };
    const std::string good = "<TSLSequenceNumber>5</TSLSequenceNumber><TSLType>t</TSLType>"
                             "<SchemeTerritory>CZ</SchemeTerritory>"
                             "<ListIssueDateTime>2023-01-01T00:00:00Z</ListIssueDateTime>";
    EXPECT_EQ(parse(good), "ok");
    EXPECT_NE(parse(good.substr(good.find("<TSLType>"))), "ok");
    EXPECT_NE(
        parse("<TSLSequenceNumber>-5</TSLSequenceNumber>" + good.substr(good.find("<TSLType>"))),
        "ok");
    EXPECT_NE(parse(good.substr(0, good.find("<ListIssueDateTime>"))), "ok");
    EXPECT_NE(parse(good + "<NextUpdate><dateTime>soon</dateTime></NextUpdate>"), "ok");
    const std::string service =
        "<TrustServiceProviderList><TrustServiceProvider><TSPServices><TSPService>"
        "<ServiceInformation><ServiceTypeIdentifier>x</ServiceTypeIdentifier>"
        "<ServiceDigitalIdentity><DigitalId><X509Certificate>%%%</X509Certificate></DigitalId>"
        "</ServiceDigitalIdentity><ServiceStatus>s</ServiceStatus>"
        "<StatusStartingTime>2020-01-01T00:00:00Z</StatusStartingTime></ServiceInformation>"
        "</TSPService></TSPServices></TrustServiceProvider></TrustServiceProviderList>";
    EXPECT_EQ(parse(good, ""), "ok");
    EXPECT_NE(parse(good, service).find("X509Certificate"), std::string::npos);
    std::string noTime = service;
    noTime.replace(noTime.find("<StatusStartingTime>"),
                   noTime.find("</ServiceInformation>") - noTime.find("<StatusStartingTime>"), "");
    EXPECT_NE(parse(good, noTime), "ok");
}

} // namespace
