#pragma once

#include <QString>
#include <QStringList>

/// The rules of an endurance race that the pit panel keeps an eye on, and the drivers who share
/// the car. A rule of 0 is off.
struct StintRules {
    int maxStintMin = 0;         ///< longest stint, minutes
    int minPitS = 0;             ///< shortest pit stop, seconds
    int pitsClosedStartMin = 0;  ///< the pits stay closed this long after the start, minutes
    int pitsClosedEndMin = 0;    ///< the pits close this long before the end, minutes
    int minDriverMin = 0;        ///< least driving time of each driver, minutes
    int maxDriverMin = 0;        ///< most driving time of each driver, minutes
    QStringList drivers;         ///< the roster in the order of its keys; empty when none
};

/// The stints file: [rules] with whole minutes and seconds, [drivers] with keys 1, 2, ... naming
/// the drivers (gaps allowed). Read as UTF-8, with or without a byte-order mark, or as CP932.
namespace StintsFile {

inline const QString kFileName = QStringLiteral("Stints.ini");
/// Highest driver key.
constexpr int kMaxDrivers = 99;

/// What reading the file gave.
struct Reading {
    StintRules rules;
    QStringList problems;  ///< one line per line not taken: "<file>, line <n>: <what is wrong>"
    bool missing = false;  ///< there was no file: the caller saves defaultText()
};

/// The file written where there is none: every rule off and an example roster, CR LF line ends.
QString defaultText();

/// The rules in text; fileName only names the file in the problems. A line that is not taken
/// leaves its rule off (or its driver out) and reading goes on. Blank lines and lines starting
/// with ';' or '#' are comments; the lines of an unknown section are passed over once the
/// section's name has been told.
Reading parse(const QString& text, const QString& fileName);

/// Reads the file at path. A missing file gives the rules of defaultText() with missing set; a
/// file that cannot be read gives every rule off and one problem, and is never to be replaced.
Reading read(const QString& path);

} // namespace StintsFile
