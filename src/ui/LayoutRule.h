#pragma once

#include <optional>

namespace vellumet
{

// What the layout rule reads, in twips: the client area and the edges that stay put.
struct LayoutInput {
    float clientWidth = 0;
    float clientHeight = 0;
    float listTop = 0;
    float editorLeft = 0;
    float editorTop = 0;
};

// A size that would be negative is left out: that control keeps what it has.
struct LayoutSizes {
    std::optional<float> listHeight;
    std::optional<float> editorHeight;
    std::optional<float> editorWidth;
};

// The list and the editor fill the client area down to, and the editor across to, a
// 120-twip margin.
LayoutSizes layoutFor(const LayoutInput &input);

} // namespace vellumet
