// The published detail fields of a shown stamp, in one table: for each field its name (the
// id of its element on the stamp details page and its key in the command line's `show`),
// how its text is read from the checked stamp, and its place on the page. The document,
// the page fill and `show` all go by this table; a further published field is one more row.
// After the stamp's own fields come those of its verdicts (trust and qualification), each
// published where its row says: on the page, in `show`, in `show --json`.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CTimeStampPart;
struct StampVerdicts;

// The two texts of the shown entry that are published beside the detail fields: its stamp
// file path and its source file path.
inline constexpr std::string_view kStampFileField = "m_file_name";
inline constexpr std::string_view kSourceFileField = "m_doc_name";

// What a field's text is read from.
enum class FieldSource {
    Check, // the check of the stamp file against its source file
    Token, // the token's TSTInfo record
    Tac,   // the records of the token's TAC
    // The verdicts on the stamp's signer (core/StampVerdicts.h), judged after its checks
    // passed; empty while none were.
    Verdicts,
};

// The section of the stamp details page that shows a field, top to bottom; NotShown: the
// page has no element for it (the fill writes it all the same).
enum class PageSection { General, Token, Tac, NotShown };

// Where a field is published; the stamp's own fields are published everywhere.
enum FieldPlace : unsigned {
    kPageFill = 1, // the page fill writes it (under its name, where the page has it)
    kShowText = 2, // `show` prints it
    kShowJson = 4, // `show --json` has it
    kEverywhere = kPageFill | kShowText | kShowJson,
};

// The colour class that the page gives a verdict's cell.
enum class FieldTone { None, Good, Bad };

struct DetailField {
    std::string_view name;
    FieldSource source;
    // The text, read when the source is there: the check ran, the token's TSTInfo or its
    // TAC was decoded.
    std::string (*read)(const CTimeStampPart& part);
    // The text when the source is not there; null: empty.
    std::string (*absent)();
    PageSection section;
    // The field's place in the document's own order, in which the page fill writes the
    // fields: a new field takes the next number.
    std::size_t order;
    unsigned places = kEverywhere;
    // For FieldSource::Verdicts (whose `read` is null): the text from the verdicts.
    std::string (*readVerdicts)(const StampVerdicts& verdicts) = nullptr;
    // For a verdict's cell on the page: its colour class; null: none.
    FieldTone (*tone)(const StampVerdicts& verdicts) = nullptr;
};

// Every field: first the stamp's own, in the order the page shows them (sections top to
// bottom, rows top to bottom within a section), the fields the page does not show last;
// then the verdicts' fields. `show` prints them in this order.
std::span<const DetailField> DetailFields();

// The index in DetailFields() of the check's outcome ("in order" or why not), the cell that
// the page marks when the source file does not match.
inline constexpr std::size_t kCheckOutcomeField = 0;

// The index in DetailFields() of each field, in the document's own order.
std::span<const std::size_t> DetailFieldsInDocumentOrder();

// The index in DetailFields() of the field called `name` (exact, case-sensitive);
// DetailFields().size() for any other name.
std::size_t DetailFieldIndex(std::string_view name);

// The text of every field, in DetailFields() order, for the stamp that `part` holds;
// `checked`: the check of the stamp file against its source file was run on it;
// `verdicts`: what was judged of it (null: nothing).
std::vector<std::string> ReadDetailTexts(const CTimeStampPart& part, bool checked,
                                         const StampVerdicts* verdicts = nullptr);

// The colour of field `index`'s cell for `verdicts`; None for the stamp's own fields.
FieldTone DetailFieldTone(std::size_t index, const StampVerdicts& verdicts);
