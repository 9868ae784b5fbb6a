#pragma once
// sorimba-clip's words: every failure the core reports, in English. The
// only place where sorimba-clip puts a failure into words.

#include <QString>

#include "files/failure.h"

namespace sorimba {

// Why it failed, in English words (without the path).
QString inEnglish(const Failure& failure);

}  // namespace sorimba
