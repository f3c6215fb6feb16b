// What the three pages show and what their forms do, free of any browser: the POST body
// helpers, the list of element fills of each page, and the decision taken for a form
// submit. The view (ui/ZarnView) only carries these out in the browser.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CClientSettings;
class CZarnDoc;

// Page paths as the view compares them (exact, case-sensitive).
inline constexpr std::string_view kStampPagePath = "/certif.htm";
inline constexpr std::string_view kSettingsPagePath = "/config.htm";
inline constexpr std::string_view kAboutPagePath = "/about.htm";

// The background colour of a source-file check that failed.
inline constexpr char kMismatchColour[] = "FF0000";

// ---- POST data ----------------------------------------------------------------------------

// The POST bytes as a text, byte for byte, without any decoding; a NUL byte ends the text
// (the body of a form post never carries one: it is percent-encoded).
std::string PostDataText(std::span<const unsigned char> post);
inline std::string PostDataText(std::string_view post) {
    return PostDataText(std::span<const unsigned char>(
        reinterpret_cast<const unsigned char*>(post.data()), post.size()));
}

// Looks for `key` (with its "=", e.g. "OK_ID=") anywhere in `text`, first occurrence. When
// found, `value` gets everything after it up to the next "&" (or the end), still
// form-encoded, and the answer is true; otherwise `value` is left alone.
[[nodiscard]] bool FindField(std::string_view text, std::string_view key, std::string& value);

// ---- Element fills ------------------------------------------------------------------------

// One change to an element of a loaded page, found by id or name (the first element in
// document order whose id or name equals `id`). A missing element is skipped.
struct PageFill {
    enum class Kind {
        Text,       // the element's inner text, as plain text
        Background, // its style background colour, `value` a hex colour like "FF0000"
        Value,      // the value of a text input
        Radio,      // selects the radio button (`value` unused)
        Tone,       // the element's verdict colour class: "verdict-good", "verdict-bad" or
                    // "" (neither)
    };
    Kind kind = Kind::Text;
    std::string id;
    std::string value;

    bool operator==(const PageFill&) const = default;
};
using PageFills = std::vector<PageFill>;

// The stamp details page: every published text of the document in the page's order, the
// check's cell red when the source file does not match, then the verdicts' texts and their
// colours. Null document: no fills.
PageFills StampPageFills(const CZarnDoc* doc);
// The settings form: hash, policy and server from the defaults when `showDefaults`, else
// from the stored values; proxy fields and connection type always the stored ones.
PageFills SettingsPageFills(const CClientSettings& settings, bool showDefaults);
// The about page for the executable at `executablePath`: its file name and its product
// version (the full path when the file has no version record).
PageFills AboutPageFills(const std::string& executablePath);
// The about page of the running program.
PageFills AboutPageFills();
// The fills of the page at `pagePath`; none for an unknown path.
PageFills FillsForPage(std::string_view pagePath, const CZarnDoc* doc,
                       const CClientSettings& settings, bool showDefaults);

// ---- Form submits -------------------------------------------------------------------------

// The page's inputs as they were when the form was submitted: for each id or name, the
// first element carrying it; nullopt when that element is not a text input.
class PageInputs {
public:
    void Add(const std::string& idOrName, std::optional<std::string> value) {
        m_values.emplace(idOrName, std::move(value));
    }
    // True, with the value, when the first element with this id or name is a text input.
    [[nodiscard]] bool GetInputValue(const std::string& idOrName, std::string& value) const;

private:
    std::map<std::string, std::optional<std::string>> m_values;
};

// What the view does after a form submit.
struct SubmitOutcome {
    bool cancel = false;          // stop the form's own navigation
    bool showAbout = false;       // load the about page instead
    bool showDefaults = false;    // the reloaded settings form shows the defaults
    bool showCertificate = false; // open the TSA's certificate outside the program
    bool trustAuthority = false;  // trust the shown stamp's authority (after a question)
    bool saved = false;           // the settings were written

    bool operator==(const SubmitOutcome&) const = default;
};

// The settings form's submit: "Uložit" takes the form over into `settings` (the free texts
// from `inputs`, which is null when the page could not be read) and saves when anything
// was taken; "Zpět" leaves everything; "Výchozí hodnoty" asks for the defaults.
SubmitOutcome SettingsSubmit(const std::string& postText, const PageInputs* inputs,
                             CClientSettings& settings);

// A submit to the page at `pagePath` with the POST bytes `post`.
SubmitOutcome HandleSubmit(std::string_view pagePath, std::span<const unsigned char> post,
                           const PageInputs* inputs, CClientSettings& settings);
