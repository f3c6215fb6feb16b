#include "document/RowVerdict.h"

#include "core/TimeStampPart.h"
#include "support/IMessageBoxes.h"

std::string VerdictLines(const StampVerdicts& verdicts) {
    if (!verdicts.Judged())
        return {};
    std::string text = verdicts.trust->message;
    if (!verdicts.trust->tacNote.empty())
        text += " (" + verdicts.trust->tacNote + ")";
    if (verdicts.qualified)
        text += "\n" + verdicts.qualified->message;
    return text;
}

RowVerdict RowVerdictOf(const StampVerdicts& verdicts, const std::string& failure) {
    if (!verdicts.Judged())
        return {RowBadge::Failed, failure};
    RowBadge badge = RowBadge::Untrusted;
    if (verdicts.trust->IsTrusted())
        badge = verdicts.qualified && verdicts.qualified->qualified == Qualified::Yes
                    ? RowBadge::TrustedQualified
                    : RowBadge::Trusted;
    return {badge, VerdictLines(verdicts)};
}

RowVerdict JudgeListEntry(const std::string& stampPath) {
    SilentMessageBoxes silent;
    const ScopedThreadMessageBoxes quiet(&silent);
    CTimeStampPart part;
    if (part.ProcessStampFile(stampPath) != 1)
        return RowVerdictOf({}, part.ErrorText());
    return RowVerdictOf(JudgeStamp(part, WithQualifiedVoucher(TrustOptions{})), {});
}
