// The network layers run local event loops, which want an application object.
#include "TestHttpServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    kz::test::ClearProxyEnvironment();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    kz::test::StopSharedServer();
    return result;
}
