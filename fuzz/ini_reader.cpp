// Fuzzes the INI parser and editor with arbitrary file contents: nothing may crash or read
// out of bounds, a written value must read back, and a write must leave every other key
// that a lookup can reach exactly as it was.
#include "fuzz/FuzzCheck.h"
#include "platform/Profile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool SameName(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        if (c != b[i]) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ProfileText original(text);
    const auto before = original.Entries();
    for (const auto& entry : before) {
        const auto found = original.Find(entry.section, entry.key);
        FUZZ_CHECK(found && *found == entry.value);
    }
    [[maybe_unused]] const auto missing = original.Find("zarn", "server_url");

    // Write a key that the file may or may not have, then check what changed.
    ProfileText edited(text);
    if (edited.Set("Zarn", "server_url", "https://tsa.example/x y")) {
        FUZZ_CHECK(edited.Find("zarn", "SERVER_URL") == std::string("https://tsa.example/x y"));
        for (const auto& entry : before) {
            if (!SameName(entry.section, "zarn") || !SameName(entry.key, "server_url")) {
                FUZZ_CHECK(edited.Find(entry.section, entry.key) == entry.value);
            }
        }
        // The edit survives a fresh parse of the text it produced.
        const ProfileText reparsed(edited.Text());
        FUZZ_CHECK(reparsed.Find("zarn", "server_url") == std::string("https://tsa.example/x y"));
    }

    // Deleting keeps the file parseable and removes what it says.
    ProfileText trimmed(text);
    if (trimmed.DeleteSection("time_stamped_files")) {
        FUZZ_CHECK(!trimmed.Find("time_stamped_files", "count"));
    }
    trimmed.DeleteKey("zarn", "proxy_type");
    [[maybe_unused]] const auto after = trimmed.Entries();
    return 0;
}
