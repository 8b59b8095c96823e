#pragma once

#include <cstdint>

/// The named colours of the system palette a control can keep instead of a fixed colour.
enum class SystemColor : uint8_t { ButtonFace, ButtonText, Window, WindowText };

/// A colour as a layout states it: a fixed #RRGGBB, a named system colour, or transparent.
struct LayoutColor {
    enum class Kind : uint8_t { Fixed, System, Transparent };
    Kind kind = Kind::Transparent;
    uint32_t rgb = 0;  ///< 0xRRGGBB when kind is Fixed
    SystemColor system = SystemColor::ButtonFace;

    /// A fixed colour 0xRRGGBB.
    static constexpr LayoutColor fixed(uint32_t rgb) { return {Kind::Fixed, rgb, SystemColor::ButtonFace}; }
    /// One of the system's named colours.
    static constexpr LayoutColor named(SystemColor c) { return {Kind::System, 0, c}; }
    /// No colour: what lies below shows through.
    static constexpr LayoutColor transparent() { return {}; }

    constexpr bool operator==(const LayoutColor&) const = default;
};

/// The two font faces of the windows.
namespace FontFace {
/// Fixed-pitch Japanese Gothic, used for the data displays.
inline constexpr const char* Gothic = "ＭＳ ゴシック";
/// Proportional Japanese Gothic, used for buttons, the combo box and as the windows' default.
inline constexpr const char* PGothic = "ＭＳ Ｐゴシック";
} // namespace FontFace

/// A font as face name and size in points; weight is always normal.
struct LayoutFont {
    const char* face = FontFace::PGothic;
    double points = 9;
    bool italic = false;
};

/// Horizontal alignment of a caption.
enum class Alignment : uint8_t { Left, Center, Right };

/// The border drawn around a control.
enum class Border : uint8_t { None, FixedSingle };

/// The kind of widget a control is built as.
enum class ControlKind : uint8_t { Label, Button, ComboBox };

/// Everything fixed about one control when its window is created. Geometry is in twips,
/// measured from the top-left corner of the window's client area.
struct ControlLayout {
    ControlKind kind = ControlKind::Label;
    int16_t left = 0;
    int16_t top = 0;
    int16_t width = 0;
    int16_t height = 0;
    LayoutFont font;
    LayoutColor foreColor;
    LayoutColor backColor;
    Alignment alignment = Alignment::Left;
    Border border = Border::None;
};
