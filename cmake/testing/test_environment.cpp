// Linked into every test program: windows under test render offscreen unless
// the person running the test asks for a real display.
#include <cstdlib>

namespace {
const bool kOffscreen = [] { return setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0) == 0; }();
}  // namespace
