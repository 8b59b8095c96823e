#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

/// A 16-bit Boolean as the module state keeps it: True is -1, False is 0.
using VbBool = int16_t;
constexpr VbBool VbTrue = -1;
constexpr VbBool VbFalse = 0;

/// Module-wide state of the program, owned by main and handed to every window and procedure.
struct PublicConst {
    // Settings file
    QString Pub_IniPath;
    QString iniPreparedPath;  ///< Rivect.ini in the other folder, read while Pub_IniPath is missing; empty when none
    QString iniUnreadable;    ///< the settings file Ini_ReadHost could not read and why, one line each; empty when it read
    QString Pub_IniSection;
    QString Pub_IniKey;
    QString Pub_IniBuffer;  ///< fixed length 1024 once Ini_ReadHost has run
    int32_t Pub_IniBufLen = 0;
    int32_t Pub_IniResult = 0;
    QString Pub_HostIP;

    // Screen, in twips
    int32_t Pub_ScreenWidth = 0;
    int32_t Pub_ScreenHeight = 0;

    // Message file
    QString Pub_MessPath;
    QString messPreparedPath;  ///< OutMess.txt beside the program, read while Pub_MessPath is missing; empty when none
    QStringList Pub_MessList;  ///< indexes 0 to Pub_MessCount; entry 0 is the empty text
    int16_t Pub_MessCount = 0;
    int16_t Pub_MessIndex = 0;
    QString Pub_MessLine;
    int32_t Pub_MessFill = 0;

    int16_t Pub_Answer = 0;

    // Time measurement
    std::atomic<int32_t> Pub_TickCount{0};
    int32_t Pub_TimerId = 0;

    // Lap reports
    int32_t Pub_LastLap = 0;
    int32_t Pub_PrevLap = 0;
    int32_t Pub_BestLap = 0;
    int32_t Pub_AveLap = 0;
    QDateTime Pub_EndTime;
    VbBool Pub_EndTimeSet = VbFalse;
    QString Pub_InMess;
    int16_t Pub_InMessLen = 0;
    int16_t Pub_InMessPos = 0;
};

/// The tick callback: adds one to Pub_TickCount, stopping at its largest value.
void Tick_Proc(PublicConst& pub);
