#include "resizerule.h"

namespace vornex {

namespace {

std::optional<float> size(double value)
{
    const auto single = static_cast<float>(value);
    if (single < 0)
        return std::nullopt;
    return single;
}

} // namespace

ResizeResult resizeRule(double outerWidth, double outerHeight)
{
    ResizeResult result;
    result.editorWidth = size(outerWidth - 370);
    result.editorHeight = size(((outerHeight - 1000) - 100) - 300);
    result.listWidth = size(((outerWidth - 2000) + 500) - 100);
    return result;
}

} // namespace vornex
