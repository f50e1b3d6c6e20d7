#include "ui/LayoutRule.h"

namespace
{

constexpr float Margin = 120;

std::optional<float> NotNegative(float size)
{
    if (size < 0)
        return std::nullopt;
    return size;
}

} // namespace

LayoutSizes LayoutFor(const LayoutInput &input)
{
    return {NotNegative(input.ClientHeight - input.ListTop - Margin),
            NotNegative(input.ClientHeight - input.EditorTop - Margin),
            NotNegative(input.ClientWidth - input.EditorLeft - Margin)};
}
