// From option marks and issue text to the clip text.

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
    const QStringView issue(issueText);
    return extraction::extractColumn(
        std::u16string_view(issue.utf16(), static_cast<std::size_t>(issue.size())), options);
}

}  // namespace sorimba::import
