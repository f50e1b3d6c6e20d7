#pragma once

#include <optional>

// What the layout rule reads, in twips: the client area and the edges that stay put.
struct LayoutInput {
    float ClientWidth = 0;
    float ClientHeight = 0;
    float ListTop = 0;
    float EditorLeft = 0;
    float EditorTop = 0;
};

// A size that would be negative is left out: that control keeps what it has.
struct LayoutSizes {
    std::optional<float> ListHeight;
    std::optional<float> EditorHeight;
    std::optional<float> EditorWidth;
};

// The list and the editor fill the client area down to, and the editor across to, a
// 120-twip margin.
LayoutSizes LayoutFor(const LayoutInput &input);
