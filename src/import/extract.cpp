// From option marks and issue text to the clip text.

#include "files/files.h"
#include "import/import.h"

namespace sorimba::import {

extraction::Options extractionOptions(const std::function<bool(Option)>& marked) {
    extraction::Options options;
    options.withTitles = marked(WithTitles);
    options.withVotes = marked(WithVotes);
    options.withStaffWord = marked(WithStaffWord);
    options.withAbout = marked(WithAbout);
    options.joinLines = marked(JoinLines);
    return options;
}

std::optional<std::u16string> extractClip(const QString& issueText,
                                          const extraction::Options& options) {
    const std::u16string_view issue(reinterpret_cast<const char16_t*>(issueText.utf16()),
                                    static_cast<std::size_t>(issueText.size()));
    // The clip text is written once from start to end; room for the issue
    // and an eighth more (the blank lines and headings the extraction adds)
    // is plenty, and only the part written is ever touched.
    std::u16string storage;
    storage.reserve(std::min(issue.size() + issue.size() / 8 + 64, options.maxOutputUnits));
    files::preferLargePages(storage.data(), storage.capacity() * sizeof(char16_t));
    return extraction::extractColumn(issue, options, std::move(storage));
}

}  // namespace sorimba::import
