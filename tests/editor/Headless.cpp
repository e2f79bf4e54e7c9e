// Editor tests draw into images and never show a window. The framework opens
// the display named by DISPLAY (":0" when unset) as it starts, so point it at
// one where nothing listens before main runs: no test can pop up on, or
// depend on, a desktop of the machine it runs on.

#include <cstdlib>

namespace
{
const bool headless = [] {
    setenv ("DISPLAY", ":4093", 1);
    return true;
}();
} // namespace
