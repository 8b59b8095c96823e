#include "platform/terminal.h"

void attachToTerminal() {}
