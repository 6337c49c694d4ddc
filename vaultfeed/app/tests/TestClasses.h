#pragma once
// The QtTest classes of the window tests, each registered by its own file, so that one executable
// runs any of them by name.

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace VaultfeedAppTests {

using TestClassFactory = std::function<std::unique_ptr<QObject>()>;

// By class name.
std::map<QString, TestClassFactory>& TestClasses();

struct CTestClassRegistration
{
    CTestClassRegistration(const char* szName, TestClassFactory factory)
    {
        TestClasses().emplace(QString::fromLatin1(szName), std::move(factory));
    }
};

} // namespace VaultfeedAppTests

#define VAULTFEED_TEST_CLASS(Class)                                                                                    \
    static const VaultfeedAppTests::CTestClassRegistration s_##Class##Registration(                                    \
        #Class, [] { return std::make_unique<Class>(); })
