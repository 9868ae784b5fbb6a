#pragma once
// The column extraction: cuts the reader-submission column out of one issue
// of the weekly newsletter and reshapes it into the clip text. A pure
// function of the issue text and the option switches; standard C++ only.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sorimba::extraction {

// The line that opens the reader-submission column; the column runs from
// its last occurrence to the end of the issue.
inline constexpr std::u16string_view kColumnMarker = u"■ぴこぴこＺＯＫ";

// The option switches the extraction reads.
struct Options {
    bool withTitles = false;     // "●" titles go in and group the entries
    bool withVotes = false;      // "◇これに一票" lines are taken like others
    bool withStaffWord = false;  // the staff section is taken
    bool withAbout = false;      // the service's self-description is taken
    bool joinLines = false;      // each paragraph becomes one line
    // A clip text longer than this (in UTF-16 code units) fails like a
    // missing column. Staff sections without an end can make the output grow
    // with the square of the input; no real issue comes near this bound. The
    // bound is checked on the text while it is built, at every stage, so a
    // runaway output never gets far past it in memory.
    std::size_t maxOutputUnits = std::size_t{32} * 1024 * 1024;  // 64 MiB of UTF-16
};

// The clip text: lines ended by CR LF. std::nullopt when the issue holds no
// column marker "■ぴこぴこＺＯＫ" (or the output would pass the bound); an empty
// string when the column holds nothing to take.
//
// The issue's lines are cut at CR (an LF is dropped, wherever it stands), so
// text whose lines end with LF alone needs CR LF first.
std::optional<std::u16string> extractColumn(std::u16string_view issueText, const Options& options);

}  // namespace sorimba::extraction
