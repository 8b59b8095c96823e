#include "layouts/client_layouts.h"

const char* clientControlName(ClientControl c)
{
    static constexpr std::array<const char*, kClientControlCount> names = {
        "Lbl_InMess",  "Lbl_Time",    "Lbl_BlkTime", "Lbl_OldTime1", "Lbl_NowTime", "Lbl_Lap",
        "Lbl_OldTime1Sa", "Lbl_EndTime", "Btn_HostIP", "Cmb_CarNo", "Lbl_BestLap", "Lbl_AveLap",
        "Lbl_OutMess", "Label1",     "Lbl_Link",    "Lbl_LocalIP", "Btn_Start",  "Btn_End",
        "Btn_MessChg", "Btn_EditMess",
    };
    return names[std::size_t(c)];
}
