// The main of every test executable.
//
// Widget tests need a QApplication; it is created on the offscreen platform
// (unless QT_QPA_PLATFORM names another), so tests run without a display.
// Listing the tests (CTest discovery at build time) only needs a
// QCoreApplication. Every test starts with the English locale conventions,
// Qt's standard paths in test mode and the help folder of the built program.

#include "platform/help.h"
#include "platform/locale.h"
#include "tests/support/fixtures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            listing = true;
    }
    if (::testing::GTEST_FLAG(list_tests))
        listing = true;

    std::unique_ptr<QCoreApplication> app;
    if (listing) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("MarlocketTests"));
    QCoreApplication::setApplicationName(QStringLiteral("MarlocketTests"));
    QStandardPaths::setTestModeEnabled(true);

    mk::Locale::setCurrent(mk::Locale::english());
    mk::setHelpDirectory(mk::test::programDir() + QStringLiteral("/help"));

    return RUN_ALL_TESTS();
}
