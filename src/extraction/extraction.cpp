#include "extraction/extraction.h"

namespace sorimba::extraction {

std::optional<std::u16string> extractColumn(std::u16string_view, const Options&) {
    return std::nullopt;  // placeholder until the scan lands
}

}  // namespace sorimba::extraction
