// The HTTP layer runs local event loops, which want an application object.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    for (const char *v :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(v);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
