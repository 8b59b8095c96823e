#pragma once

#include <QString>

#include <cstdio>

/// Makes what the program prints reach the terminal it was started from. A Windows window
/// program has no console of its own: it borrows its parent's. Elsewhere there is nothing to do.
void attachToTerminal();

/// Writes text to stream exactly as given (the caller adds the line end) and flushes it: to a
/// Windows console as UTF-16, so that ✓, ✗ and Japanese show whatever its code page; to a file,
/// a pipe or any Linux terminal as UTF-8 bytes.
void writeToTerminal(FILE* stream, const QString& text);
