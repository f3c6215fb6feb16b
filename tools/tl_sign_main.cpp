// mivo-tl-sign: signs a trusted list as the real ones are signed (enveloped signature over the
// whole document with a XAdES reference), for test lists of one's own. Never shipped.
#include "tools/TlTestSigner.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: mivo-tl-sign KEY.pem CERT.pem|CERT.der IN.xml OUT.xml\n", stderr);
        return 2;
    }
    try {
        const mivo::test::TlSigningKey key = mivo::test::LoadTlSigningKey(argv[1], argv[2]);
        std::ifstream in(argv[3], std::ios::binary);
        std::stringstream xml;
        xml << in.rdbuf();
        if (!in.good()) {
            std::fprintf(stderr, "mivo-tl-sign: cannot read %s\n", argv[3]);
            return 1;
        }
        std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
        out << mivo::test::SignTlXml(xml.str(), key);
        if (!out.good()) {
            std::fprintf(stderr, "mivo-tl-sign: cannot write %s\n", argv[4]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mivo-tl-sign: %s\n", e.what());
        return 1;
    }
    return 0;
}
