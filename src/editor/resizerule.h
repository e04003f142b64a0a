#pragma once

#include <optional>

namespace vornex {

// The sizes the main window's resize handler gives its controls, in twips; an assignment that
// would be negative is left out and that control keeps its size.
struct ResizeResult
{
    std::optional<float> editorWidth;
    std::optional<float> editorHeight;
    std::optional<float> listWidth;

    bool operator==(const ResizeResult &) const = default;
};

// The layout rule for a main window of the given outer size in twips.
ResizeResult resizeRule(double outerWidth, double outerHeight);

} // namespace vornex
