#pragma once

#include "layouts/layout_types.h"

#include <array>
#include <cstddef>

/// The visible controls of the client window, the index of every client layout table.
enum class ClientControl : uint8_t {
    Lbl_InMess,
    Lbl_Time,
    Lbl_BlkTime,
    Lbl_OldTime1,
    Lbl_NowTime,
    Lbl_Lap,
    Lbl_OldTime1Sa,
    Lbl_EndTime,
    Btn_HostIP,
    Cmb_CarNo,
    Lbl_BestLap,
    Lbl_AveLap,
    Lbl_OutMess,
    Label1,
    Lbl_Link,
    Lbl_LocalIP,
    Btn_Start,
    Btn_End,
    Btn_MessChg,
    Btn_EditMess,
};

/// Number of entries in a client layout table.
inline constexpr std::size_t kClientControlCount = std::size_t(ClientControl::Btn_EditMess) + 1;

/// The control's name as the window design gives it.
const char* clientControlName(ClientControl c);

/// One of the three client window layouts: window data plus one entry per control.
struct ClientLayout {
    const char* name = "";
    int32_t clientWidth = 0;   ///< twips
    int32_t clientHeight = 0;  ///< twips
    LayoutColor background;
    bool minMaxButtons = false;  ///< whether the frame offers minimise and maximise
    std::array<ControlLayout, kClientControlCount> controls{};

    /// The entry of control c.
    constexpr const ControlLayout& operator[](ClientControl c) const { return controls[std::size_t(c)]; }
};

namespace client_layout_detail {

/// Position, size and (where the control has a font of its own) point size of one control.
struct Placement {
    int16_t left, top, width, height;
    double points;
};

constexpr LayoutColor kBlack = LayoutColor::fixed(0x000000);
constexpr LayoutColor kWhite = LayoutColor::fixed(0xFFFFFF);
constexpr LayoutColor kCyan = LayoutColor::fixed(0x00FFFF);
constexpr LayoutColor kYellow = LayoutColor::fixed(0xFFFF00);
constexpr LayoutColor kRed = LayoutColor::fixed(0xFF0000);
constexpr LayoutColor kLightGreen = LayoutColor::fixed(0x80FF80);
constexpr LayoutColor kButtonFace = LayoutColor::named(SystemColor::ButtonFace);
constexpr LayoutColor kButtonText = LayoutColor::named(SystemColor::ButtonText);

/// A data display: fixed-pitch face on black.
constexpr ControlLayout data(LayoutColor fore, Alignment align = Alignment::Center)
{
    return {ControlKind::Label, 0, 0, 0, 0, {FontFace::Gothic, 0, false}, fore, kBlack, align, Border::None};
}

/// A command button in the window's default face at 9 pt.
constexpr ControlLayout button(LayoutColor fore = kButtonText)
{
    return {ControlKind::Button, 0, 0, 0, 0, {FontFace::PGothic, 9, false}, fore, kButtonFace, Alignment::Center,
            Border::None};
}

/// A label of the address box, in the window's default font.
constexpr ControlLayout boxLabel(LayoutColor fore, LayoutColor back, Border border)
{
    return {ControlKind::Label, 0, 0, 0, 0, {FontFace::PGothic, 9, false}, fore, back, Alignment::Center, border};
}

/// Builds a layout from what the three layouts share and what each one states for itself.
/// A placement's point size is used only where the control has a font of its own.
constexpr ClientLayout make(const char* name, int32_t width, int32_t height, LayoutColor background,
                            bool minMax, LayoutColor bestLapFore, LayoutColor linkFore,
                            const std::array<Placement, kClientControlCount>& at)
{
    using C = ClientControl;
    ClientLayout l{name, width, height, background, minMax, {}};
    auto set = [&](C c, ControlLayout props) { l.controls[std::size_t(c)] = props; };
    set(C::Lbl_InMess, data(kLightGreen, Alignment::Right));
    set(C::Lbl_Time, data(kWhite));
    set(C::Lbl_BlkTime, data(kYellow));
    set(C::Lbl_OldTime1, data(kCyan));
    set(C::Lbl_NowTime, data(kCyan));
    set(C::Lbl_Lap, data(kYellow, Alignment::Right));
    set(C::Lbl_OldTime1Sa, data(kRed));
    set(C::Lbl_EndTime, data(kCyan));
    set(C::Btn_HostIP, button());
    set(C::Cmb_CarNo, {ControlKind::ComboBox, 0, 0, 0, 0, {FontFace::PGothic, 0, false},
                       LayoutColor::named(SystemColor::WindowText), LayoutColor::named(SystemColor::Window),
                       Alignment::Left, Border::None});
    set(C::Lbl_BestLap, data(bestLapFore));
    set(C::Lbl_AveLap, data(kWhite));
    set(C::Lbl_OutMess, data(kCyan));
    set(C::Label1, boxLabel(kButtonText, kButtonFace, Border::FixedSingle));
    set(C::Lbl_Link, boxLabel(linkFore, LayoutColor::transparent(), Border::None));
    set(C::Lbl_LocalIP, boxLabel(kButtonText, kButtonFace, Border::FixedSingle));
    set(C::Btn_Start, button());
    set(C::Btn_End, button(kRed));
    set(C::Btn_MessChg, button());
    set(C::Btn_EditMess, button());
    for (std::size_t i = 0; i < kClientControlCount; ++i) {
        ControlLayout& c = l.controls[i];
        c.left = at[i].left;
        c.top = at[i].top;
        c.width = at[i].width;
        c.height = at[i].height;
        if (c.font.points == 0)
            c.font.points = at[i].points;
    }
    return l;
}

/// Marks a control without a font of its own in a placement list.
constexpr double kNoOwnFont = 0;

} // namespace client_layout_detail

/// The layout for screens 640 to 799 pixels wide.
inline constexpr ClientLayout Clt_640 = client_layout_detail::make(
    "Clt_640", 9585, 6210, client_layout_detail::kWhite, false, client_layout_detail::kWhite,
    client_layout_detail::kBlack,
    {{
        {60, 45, 9480, 900, 45.75},      // Lbl_InMess
        {60, 975, 9480, 1770, 95.25},    // Lbl_Time
        {9735, 1050, 9480, 1770, 95.25}, // Lbl_BlkTime
        {60, 2775, 3240, 690, 36},       // Lbl_OldTime1
        {3330, 2775, 3210, 690, 36},     // Lbl_NowTime
        {6585, 2775, 2955, 885, 48},     // Lbl_Lap
        {60, 3465, 3240, 660, 36},       // Lbl_OldTime1Sa
        {3330, 3465, 3210, 660, 36},     // Lbl_EndTime
        {6600, 3690, 1260, 420, client_layout_detail::kNoOwnFont},  // Btn_HostIP
        {7920, 3690, 1635, 435, 15.75},  // Cmb_CarNo
        {60, 4140, 4740, 660, 33.75},    // Lbl_BestLap
        {4845, 4140, 4710, 660, 33.75},  // Lbl_AveLap
        {60, 4830, 7815, 840, 38.25},    // Lbl_OutMess
        {7920, 4830, 1620, 240, client_layout_detail::kNoOwnFont},  // Label1
        {9300, 4875, 180, 180, client_layout_detail::kNoOwnFont},   // Lbl_Link
        {7920, 5085, 1620, 240, client_layout_detail::kNoOwnFont},  // Lbl_LocalIP
        {7920, 5385, 1020, 795, client_layout_detail::kNoOwnFont},  // Btn_Start
        {8985, 5385, 555, 795, client_layout_detail::kNoOwnFont},   // Btn_End
        {60, 5700, 6495, 480, client_layout_detail::kNoOwnFont},    // Btn_MessChg
        {6600, 5700, 1275, 480, client_layout_detail::kNoOwnFont},  // Btn_EditMess
    }});

/// The layout for screens 800 to 1023 pixels wide.
inline constexpr ClientLayout Clt_800 = client_layout_detail::make(
    "Clt_800", 11835, 7815, client_layout_detail::kButtonFace, true, client_layout_detail::kCyan,
    client_layout_detail::kYellow,
    {{
        {75, 30, 11730, 1185, 60},         // Lbl_InMess
        {75, 1245, 11730, 1965, 99.75},    // Lbl_Time
        {12000, 1320, 11730, 1965, 99.75}, // Lbl_BlkTime
        {75, 3240, 4500, 900, 42},         // Lbl_OldTime1
        {4635, 3255, 3480, 900, 36},       // Lbl_NowTime
        {8175, 3255, 3630, 1095, 48},      // Lbl_Lap
        {75, 4140, 4500, 870, 42},         // Lbl_OldTime1Sa
        {4635, 4140, 3480, 870, 36},       // Lbl_EndTime
        {8175, 4395, 1245, 615, client_layout_detail::kNoOwnFont},  // Btn_HostIP
        {9450, 4395, 2355, 615, 24},       // Cmb_CarNo
        {75, 5040, 5850, 870, 36},         // Lbl_BestLap
        {5955, 5040, 5850, 870, 36},       // Lbl_AveLap
        {75, 5940, 10035, 1005, 48},       // Lbl_OutMess
        {10155, 5940, 1635, 240, client_layout_detail::kNoOwnFont}, // Label1
        {11535, 5985, 180, 180, client_layout_detail::kNoOwnFont},  // Lbl_Link
        {10155, 6180, 1635, 240, client_layout_detail::kNoOwnFont}, // Lbl_LocalIP
        {10170, 6480, 1035, 1290, client_layout_detail::kNoOwnFont}, // Btn_Start
        {11250, 6480, 555, 1290, client_layout_detail::kNoOwnFont},  // Btn_End
        {45, 6975, 8385, 795, client_layout_detail::kNoOwnFont},     // Btn_MessChg
        {8490, 6975, 1635, 795, client_layout_detail::kNoOwnFont},   // Btn_EditMess
    }});

/// The layout for screens 1024 pixels wide and wider, and for screens narrower than 640.
inline constexpr ClientLayout Clt_1024 = client_layout_detail::make(
    "Clt_1024", 15135, 9945, client_layout_detail::kButtonFace, false, client_layout_detail::kCyan,
    client_layout_detail::kYellow,
    {{
        {75, 60, 14985, 1455, 72},          // Lbl_InMess
        {75, 1560, 14985, 2820, 155.25},    // Lbl_Time
        {15720, 1590, 14985, 2820, 155.25}, // Lbl_BlkTime
        {75, 4440, 4935, 1140, 56.25},      // Lbl_OldTime1
        {5100, 4440, 4935, 1140, 56.25},    // Lbl_NowTime
        {10125, 4440, 4935, 1335, 69.75},   // Lbl_Lap
        {75, 5580, 4935, 1080, 56.25},      // Lbl_OldTime1Sa
        {5100, 5580, 4935, 1080, 56.25},    // Lbl_EndTime
        {10125, 5895, 1260, 690, client_layout_detail::kNoOwnFont},  // Btn_HostIP
        {11475, 5895, 3585, 675, 27.75},    // Cmb_CarNo
        {75, 6720, 7455, 1080, 56.25},      // Lbl_BestLap
        {7605, 6720, 7455, 1080, 56.25},    // Lbl_AveLap
        {75, 7845, 13050, 1215, 60},        // Lbl_OutMess
        {13215, 7845, 1800, 240, client_layout_detail::kNoOwnFont},  // Label1
        {14760, 7890, 180, 180, client_layout_detail::kNoOwnFont},   // Lbl_Link
        {13215, 8100, 1800, 240, client_layout_detail::kNoOwnFont},  // Lbl_LocalIP
        {13215, 8415, 1020, 1440, client_layout_detail::kNoOwnFont}, // Btn_Start
        {14295, 8415, 720, 1425, client_layout_detail::kNoOwnFont},  // Btn_End
        {60, 9120, 11115, 735, client_layout_detail::kNoOwnFont},    // Btn_MessChg
        {11265, 9120, 1860, 735, client_layout_detail::kNoOwnFont},  // Btn_EditMess
    }});
