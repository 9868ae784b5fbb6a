// Every test program learns where the built programs and the sources are
// from its build, unless the environment already says otherwise.

#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        setenv("SORIMBA_CLIP", SORIMBA_CLIP_PATH, 0);
        setenv("SORIMBA_APP", SORIMBA_APP_PATH, 0);
        setenv("SORIMBA_SOURCE", SORIMBA_SOURCE_PATH, 0);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
} const environment;

}  // namespace
