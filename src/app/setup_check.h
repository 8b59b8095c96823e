#pragma once

#include "config/config_folder.h"
#include "platform/setup_probe.h"

#include <QList>
#include <QString>

/// The folder of Rivect.ini and OutMess.txt: both can be read and written there, or created
/// when missing, and a copy in the other folder that a start would read can be read. Looks
/// without creating or changing anything.
SetupItem checkConfigFiles(const ConfigFolder& files);

/// The client's local ports (7001 and each car's) are free: each is bound and closed at once.
SetupItem checkClientPorts();

/// Every item of this PC's set-up: the OS's, then the files and the ports.
QList<SetupItem> runSetupCheck();

/// The checklist as printed: one line per item, ✓ or ✗, and under each ✗ what was found and the
/// command that mends it.
QString setupChecklistText(const QList<SetupItem>& items);

/// Prints the checklist on standard output; 0 when every item holds, else 1.
int printSetupChecklist(const QList<SetupItem>& items);
