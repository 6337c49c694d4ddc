// Runs the bus tests with an application object: a service that a test serves from a thread of
// its own runs an event loop there, which Qt allows only in an application. The tests' own calls
// never run the main thread's loop.

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
