#pragma once

#include <QStringList>

class QTextStream;

/// rivect-laps: reads a lap log and writes its chart as PNG or SVG, or prints its summary.
/// arguments[0] is the program; out takes --help and the summary, err every complaint. Returns the exit status.
int runLapsTool(const QStringList& arguments, QTextStream& out, QTextStream& err);
