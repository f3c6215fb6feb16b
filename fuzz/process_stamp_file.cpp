// The stamp reader on any bytes as a stamp file's content: a result with its message, a
// part that claims nothing it did not check, and records within their bounds.
#include "core/TimeStampPart.h"
#include "fuzz/FuzzCheck.h"
#include "support/IMessageBoxes.h"
#include "support/Messages.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

// The timing-policy box would stop the run: it is counted instead.
class CountingBoxes final : public IMessageBoxes {
public:
    MsgResult Show(const std::string& text, const std::string&, MsgButtons, MsgIcon) override {
        FUZZ_CHECK(!text.empty() && text.size() <= kFormattedTextLimit);
        ++shown;
        return MsgResult::Ok;
    }
    int shown = 0;
};

CountingBoxes g_boxes;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // No address book: a signer that the stamp does not carry is never found.
    setenv("MIVOKLIENT_CONFIG_DIR", "/nonexistent/mivo-fuzz", 1);
    SetMessageBoxes(&g_boxes);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTimeStampPart part;
    const int boxesBefore = g_boxes.shown;
    const int result = part.ProcessStampBytes(std::span(data, size));
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(part.ErrorText().size() <= kFormattedTextLimit);
    FUZZ_CHECK(g_boxes.shown - boxesBefore <= 1);
    if (result == 1) {
        FUZZ_CHECK(part.ErrorText().empty());
        FUZZ_CHECK(part.HasTstInfo());
        FUZZ_CHECK(!part.Token().empty() && part.Token().size() <= size);
        FUZZ_CHECK(part.LastTtiCode() == 0);
        FUZZ_CHECK(mivo::fuzz::Terminated(part.TstInfo().szGenTime));
        FUZZ_CHECK(mivo::fuzz::Terminated(part.TstInfo().szTsaName));
    } else {
        FUZZ_CHECK(!part.ErrorText().empty());
        FUZZ_CHECK(g_boxes.shown == boxesBefore || part.HasTac());
    }
    if (part.HasTac()) {
        FUZZ_CHECK(part.HasTstInfo());
        FUZZ_CHECK(!part.Tac().empty() && part.Tac().size() <= 4096);
        FUZZ_CHECK(part.SignerCertificate() != nullptr);
    }
    if (part.SignerCertificate() != nullptr)
        FUZZ_CHECK(part.HasTstInfo() && !part.SignerCertificateDer().empty());
    if (!part.HasTstInfo())
        FUZZ_CHECK(part.SignerCertificate() == nullptr && !part.HasTac());
    FUZZ_CHECK(!part.SourceMatches());
    // Once more on the same part: the outcome depends on the bytes alone.
    FUZZ_CHECK(part.ProcessStampBytes(std::span(data, size)) == result);
    return 0;
}
