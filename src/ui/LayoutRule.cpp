#include "ui/LayoutRule.h"

namespace vellumet
{

namespace
{

constexpr float Margin = 120;

std::optional<float> notNegative(float size)
{
    if (size < 0)
        return std::nullopt;
    return size;
}

} // namespace

LayoutSizes layoutFor(const LayoutInput &input)
{
    return {notNegative(input.clientHeight - input.listTop - Margin),
            notNegative(input.clientHeight - input.editorTop - Margin),
            notNegative(input.clientWidth - input.editorLeft - Margin)};
}

} // namespace vellumet
