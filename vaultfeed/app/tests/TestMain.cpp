// Runs the window tests, on no screen: vaultfeed_app_tests [CLASS [QtTest options...]]. Without a
// class every class runs.

#include "TestClasses.h"

#include <QApplication>
#include <QTest>

#include <vector>

namespace VaultfeedAppTests {

std::map<QString, TestClassFactory>& TestClasses()
{
    static std::map<QString, TestClassFactory> classes;
    return classes;
}

} // namespace VaultfeedAppTests

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int iQtArgc = 1;
    const QApplication application(iQtArgc, argv);
    const auto& classes = VaultfeedAppTests::TestClasses();
    std::vector<char*> options{argv[0]};
    QString strClass;
    for (int i = 1; i < argc; ++i) {
        if (i == 1 && argv[i][0] != '-')
            strClass = QString::fromLocal8Bit(argv[i]);
        else
            options.push_back(argv[i]);
    }
    int iFailures = 0;
    for (const auto& [strName, factory] : classes) {
        if (!strClass.isEmpty() && strName != strClass)
            continue;
        const std::unique_ptr<QObject> pTests = factory();
        iFailures += QTest::qExec(pTests.get(), static_cast<int>(options.size()), options.data());
    }
    if (!strClass.isEmpty() && !classes.contains(strClass)) {
        qWarning("no test class %s", qPrintable(strClass));
        return 1;
    }
    return iFailures == 0 ? 0 : 1;
}
