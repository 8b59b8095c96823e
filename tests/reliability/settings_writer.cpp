// Writes the host address into a settings file over and over, alternating two values, until it
// is killed. Usage: settings_writer FILE. Prints "ready" once the first write is complete.
#include "config/settings.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    PublicConst pub;
    pub.Pub_IniPath = QString::fromLocal8Bit(argv[1]);
    const QString values[] = {QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")};
    for (unsigned long i = 0;; ++i) {
        if (Ini_Write(pub, Settings::kSection, Settings::kKey, values[i % 2]) == 0)
            return 1;
        if (i == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
