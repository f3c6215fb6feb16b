// Writes the seed corpora of the trusted-list fuzz targets: a small signed list of the lists,
// a small signed national list, and the index of each (without its closing digest, as the
// index target seals its input itself).
//   make_tl_fuzz_seeds FUZZ_CORPUS_DIR
#include "core/TrustedListChain.h"
#include "core/TrustedListIndex.h"
#include "tools/TlTestSigner.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace mivo::test;

namespace {

void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_tl_fuzz_seeds FUZZ_CORPUS_DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path corpus = argv[1];
    const TlSigningKey key = MakeTlSigningKey("Seed signer", true);
    TlListSpec lotl;
    lotl.tslType = kTlTestLotlType;
    lotl.territory = "EU";
    lotl.schemeUris = {"https://example.org/eu-lotl-pivot-1.xml"};
    lotl.pointers = {TlPointer("CZ", "https://example.org/cz.xml", {key.certDer})};
    TlListSpec national;
    national.territory = "CZ";
    TlServiceSpec service = TlService("TSA");
    service.certificates = {key.certDer};
    service.skis = {"0123456789abcdefghij"};
    service.history = {{"http://uri.etsi.org/TrstSvc/Svctype/TSA",
                        "http://uri.etsi.org/TrstSvc/TrustedList/Svcstatus/accredited",
                        "2010-01-01T00:00:00Z"}};
    national.providers = {{"Provider", {service}}};
    int number = 0;
    for (const TlListSpec* spec : {&lotl, &national}) {
        const std::string xml = SignTlXml(BuildTlXml(*spec), key);
        Write(corpus / "tl_list_parser" / ("seed-" + std::to_string(++number) + ".xml"), xml);
        tl::ListDocument document;
        std::string error;
        if (!tl::LoadListDocument(xml, "seed", document, error)) {
            std::fprintf(stderr, "make_tl_fuzz_seeds: %s\n", error.c_str());
            return 1;
        }
        const std::string index =
            tl::SerializeIndex(tl::BuildIndex(document.list, xml, key.certDer, 1));
        Write(corpus / "tl_index_reader" / ("seed-" + std::to_string(number) + ".idx"),
              index.substr(0, index.size() - 32));
    }
    return 0;
}
