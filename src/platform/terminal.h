#pragma once

/// Makes what the program prints reach the terminal it was started from. A Windows window
/// program has no console of its own: it borrows its parent's. Elsewhere there is nothing to do.
void attachToTerminal();
