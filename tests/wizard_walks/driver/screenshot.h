// Screenshots of what the walk desktop shows, as PNG files.
#ifndef TESTS_WIZARD_WALKS_DRIVER_SCREENSHOT_H_
#define TESTS_WIZARD_WALKS_DRIVER_SCREENSHOT_H_

#include <windows.h>

#include <string>

namespace wizard_walks_test {

// Copies the screen area `area` (screen coordinates; clipped to the screen)
// of the calling thread's desktop into a 24-bit PNG file at `path`.
bool SaveScreenArea(const RECT& area, const std::string& path);

}  // namespace wizard_walks_test

#endif  // TESTS_WIZARD_WALKS_DRIVER_SCREENSHOT_H_
