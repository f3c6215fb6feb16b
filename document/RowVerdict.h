// How a stamp's verdicts reach the user outside its details page: the short form that the
// list shows per row (a badge with a tooltip) and the lines that the verification's
// outcome adds after "in order".
#pragma once

#include "core/StampVerdicts.h"

#include <string>

// The row's badge, from worst to best. None: not judged yet.
enum class RowBadge { None, Failed, Untrusted, Trusted, TrustedQualified };

struct RowVerdict {
    RowBadge badge = RowBadge::None;
    std::string tooltip;

    bool operator==(const RowVerdict&) const = default;
};

// The trust verdict's message (with the TAC's note after it), then the qualified verdict's
// message on a line of its own; "" when nothing was judged.
std::string VerdictLines(const StampVerdicts& verdicts);

// The badge of a stamp: Failed with `failure` as its tooltip when its checks failed (nothing
// judged), else by the verdicts with VerdictLines as the tooltip.
RowVerdict RowVerdictOf(const StampVerdicts& verdicts, const std::string& failure);

// Reads the stamp file at `stampPath`, checks it (not against its source file) and judges it
// without looking anything up on line, showing nothing to anyone: for the list's rows,
// which are judged away from the window's thread. Safe to call from several threads.
RowVerdict JudgeListEntry(const std::string& stampPath);
