#pragma once

#include "layouts/layout_types.h"

#include <array>

/// One of the opening window's fixed captions with its layout.
struct OpenLabel {
    const char* caption;
    ControlLayout layout;
};

/// The opening window: client area, background, its one-shot timer and its three labels.
struct OpenLayout {
    int32_t clientWidth = 0;   ///< twips
    int32_t clientHeight = 0;  ///< twips
    LayoutColor background;
    int timer1IntervalMs = 0;
    std::array<OpenLabel, 3> labels{};  ///< Label1 indexes 0 to 2
};

namespace open_layout_detail {
constexpr ControlLayout italicLabel(int16_t left, int16_t top, int16_t width, int16_t height, double points,
                                    LayoutColor fore, Alignment align)
{
    return {ControlKind::Label, left, top, width, height, {FontFace::PGothic, points, true},
            fore, LayoutColor::transparent(), align, Border::None};
}
} // namespace open_layout_detail

/// The opening window shown for three seconds at start-up.
inline constexpr OpenLayout Fm_Open{
    4680, 1800, LayoutColor::fixed(0xFFFFFF), 3000,
    {{
        {"Murevo", open_layout_detail::italicLabel(0, 555, 4650, 720, 36, LayoutColor::fixed(0x0000FF),
                                                   Alignment::Center)},
        {"Ver1.00", open_layout_detail::italicLabel(2985, 1230, 1650, 360, 18,
                                                    LayoutColor::named(SystemColor::ButtonText),
                                                    Alignment::Center)},
        {"ChronelClient", open_layout_detail::italicLabel(165, 0, 2610, 435, 21.75,
                                                          LayoutColor::named(SystemColor::ButtonText),
                                                          Alignment::Left)},
    }}};
