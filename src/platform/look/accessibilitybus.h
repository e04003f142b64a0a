#pragma once

namespace vornex {

// Makes Qt's AT-SPI bridge follow the accessibility bus's state for the rest of the run, so that
// a screen reader started after the IDE hears it. Call once, after the application object is
// made and before any window.
void followAccessibilityBus();

} // namespace vornex
