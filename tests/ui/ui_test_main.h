#pragma once

#include "ui/appearance.h"

#include <QApplication>
#include <QByteArray>
#include <QtTest>

/// main() for a widget test: an offscreen screen described by screenFile (JSON), the
/// program's fonts and fixed look, then the test object.
#define RIVECT_UI_TEST_MAIN(TestClass, screenFile)                                        \
    int main(int argc, char** argv)                                                      \
    {                                                                                    \
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + (screenFile));  \
        QApplication app(argc, argv);                                                    \
        Appearance::installFontSubstitutions();                                          \
        Appearance::applyFixedLook();                                                    \
        TestClass test;                                                                  \
        return QTest::qExec(&test, argc, argv);                                          \
    }
