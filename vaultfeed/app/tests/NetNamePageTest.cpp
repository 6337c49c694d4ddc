// The network-name page over in-memory clusters: which of the cluster's resources it lists, which
// it selects, the network name it shows, and what Next does with it; and over a Pacemaker
// cluster that Pacemaker's own tools read from a CIB file.

#include "AppBench.h"
#include "TestClasses.h"
#include "WindowKinds.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace VaultfeedAppTests;
using testsupport::CibGroup;
using testsupport::CibPrimitive;
using testsupport::MemoryCluster;
using testsupport::MemoryResource;

Q_DECLARE_METATYPE(MemoryCluster)

namespace {

MemoryResource ResourceOfType(std::wstring strName, std::wstring strType)
{
    MemoryResource resource = ProductResource(std::move(strName), L"OTHERNODE");
    resource.strTypeName = std::move(strType);
    return resource;
}

MemoryResource ResourceWithoutNetworkName(std::wstring strName)
{
    MemoryResource resource = ProductResource(std::move(strName), L"");
    resource.privateProperties = {{L"Address", platform::Variant::String(L"10.1.2.3")}};
    return resource;
}

MemoryResource ResourceWithNumberAsNetworkName(std::wstring strName)
{
    MemoryResource resource = ProductResource(std::move(strName), L"");
    resource.privateProperties = {{L"NetworkName", platform::Variant::Int32(42)}};
    return resource;
}

MemoryCluster WithFailure(MemoryCluster cluster, const char* szCall)
{
    cluster.failures[szCall] = E_FAIL;
    return cluster;
}

// A cluster node's wizard, on its network-name page.
class CNetNamePage
{
public:
    explicit CNetNamePage(MemoryCluster cluster)
    {
        m_bench.InstallCluster(std::move(cluster));
        Show();
    }
    // On node1 of the cluster of that CIB file.
    explicit CNetNamePage(const std::filesystem::path& cib)
    {
        m_bench.ReadClusterFrom(cib, "node1");
        Show();
    }

    QWizard& Wizard() { return dynamic_cast<QWizard&>(*m_pWindow); }
    QComboBox& Instances() { return Child<QComboBox>(*m_pWindow, "instances"); }
    QString NetworkName() { return Child<QLineEdit>(*m_pWindow, "networkName").text(); }
    QStringList Listed()
    {
        QStringList names;
        for (int i = 0; i < Instances().count(); ++i)
            names.append(Instances().itemText(i));
        return names;
    }

    CAppBench m_bench;

private:
    void Show()
    {
        m_pWindow = m_bench.m_app.CreateMainWindow({"/srv/in"});
        m_pWindow->show();
        Wizard().next();
    }

    std::unique_ptr<QDialog> m_pWindow;
};

} // namespace

class NetNamePageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ListsAndSelectsTheProductsResources_data();
    void ListsAndSelectsTheProductsResources();
    void ChoosingAnotherInstanceShowsItsNetworkName();
    void NextTakesTheNetworkNameShown_data();
    void NextTakesTheNetworkNameShown();
    void APacemakerClustersResources();
};

void NetNamePageTest::ListsAndSelectsTheProductsResources_data()
{
    QTest::addColumn<MemoryCluster>("cluster");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("strSelected");
    QTest::addColumn<QString>("strNetworkName");

    QTest::newRow("one resource") << ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}) << QStringList{"Velmora"}
                                  << "Velmora"
                                  << "MAILNODE";
    QTest::newRow("types that differ in case or version only")
        << ClusterOf({ResourceOfType(L"Lower", L"velmora service 4.1.0.0"),
                      ResourceOfType(L"Older", L"Velmora service 4.0.0.0"), ProductResource(L"Velmora", L"MAILNODE"),
                      ResourceOfType(L"Disk", L"Physical Disk")})
        << QStringList{"Velmora"} << "Velmora"
        << "MAILNODE";
    QTest::newRow("no resource of the product")
        << ClusterOf({ResourceOfType(L"Disk", L"Physical Disk")}) << QStringList{} << ""
        << "";
    QTest::newRow("no network name") << ClusterOf({ResourceWithoutNetworkName(L"Velmora")}) << QStringList{"Velmora"}
                                     << "Velmora"
                                     << "";
    QTest::newRow("a network name that is no text")
        << ClusterOf({ResourceWithNumberAsNetworkName(L"Velmora")}) << QStringList{"Velmora"} << "Velmora"
        << "";
    // Listed by name; the first of the cluster's order is selected.
    QTest::newRow("several resources") << ClusterOf({ProductResource(L"Zeta", L"ZNODE"),
                                                     ProductResource(L"alpha", L"ANODE"),
                                                     ProductResource(L"Beta", L"BNODE")})
                                       << QStringList{"alpha", "Beta", "Zeta"} << "Zeta"
                                       << "ZNODE";
    QTest::newRow("the first without a network name")
        << ClusterOf({ResourceWithoutNetworkName(L"Zeta"), ProductResource(L"Beta", L"BNODE")})
        << QStringList{"Beta", "Zeta"} << "Beta"
        << "BNODE";
    QTest::newRow("resources that cannot be read")
        << WithFailure(ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}), "ISCluster->get_Resources")
        << QStringList{} << ""
        << "";
    QTest::newRow("type names that cannot be read")
        << WithFailure(ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}), "ISClusResource->get_TypeName")
        << QStringList{} << ""
        << "";
    QTest::newRow("names that cannot be read")
        << WithFailure(ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}), "ISClusResource->get_Name")
        << QStringList{} << ""
        << "";
    // A walk broken off keeps what it found, but chooses none of it: the list's first is selected.
    QTest::newRow("a resource that cannot be read after others") <<
        [] {
            MemoryResource broken = ProductResource(L"Broken", L"XNODE");
            broken.failures["ISClusResource->get_TypeName"] = E_FAIL;
            return ClusterOf({ProductResource(L"Zeta", L"ZNODE"), ProductResource(L"Alpha", L"ANODE"), broken});
        }() << QStringList{"Alpha", "Zeta"} << "Alpha"
                                                                 << "ANODE";
    QTest::newRow("properties that cannot be read")
        << WithFailure(ClusterOf({ProductResource(L"Zeta", L"ZNODE"), ProductResource(L"Beta", L"BNODE")}),
                       "ISClusResource->get_PrivateProperties")
        << QStringList{"Beta", "Zeta"} << "Beta"
        << "";
}

void NetNamePageTest::ListsAndSelectsTheProductsResources()
{
    QFETCH(MemoryCluster, cluster);
    CNetNamePage page(cluster);
    QCOMPARE(CurrentPageKind(page.Wizard()), QStringLiteral("network name"));
    QTEST(page.Listed(), "listed");
    QTEST(page.Instances().currentText(), "strSelected");
    QTEST(page.NetworkName(), "strNetworkName");
}

void NetNamePageTest::ChoosingAnotherInstanceShowsItsNetworkName()
{
    CNetNamePage page(ClusterOf({ProductResource(L"Alpha", L"ANODE"), ProductResource(L"Beta", L"BNODE"),
                                 ResourceWithoutNetworkName(L"Gamma")}));
    QCOMPARE(page.NetworkName(), QStringLiteral("ANODE"));
    QTest::keyClick(&page.Instances(), Qt::Key_Down);
    QCOMPARE(page.Instances().currentText(), QStringLiteral("Beta"));
    QCOMPARE(page.NetworkName(), QStringLiteral("BNODE"));
    // One whose network name cannot be read leaves the last one shown.
    QTest::keyClick(&page.Instances(), Qt::Key_Down);
    QCOMPARE(page.Instances().currentText(), QStringLiteral("Gamma"));
    QCOMPARE(page.NetworkName(), QStringLiteral("BNODE"));
}

void NetNamePageTest::NextTakesTheNetworkNameShown_data()
{
    QTest::addColumn<MemoryCluster>("cluster");
    QTest::addColumn<QString>("strPage");
    QTest::addColumn<QString>("strNetworkName");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("a network name") << ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}) << "progress"
                                    << "MAILNODE" << QStringList{};
    QTest::newRow("none") << ClusterOf({ResourceOfType(L"Disk", L"Physical Disk")}) << "network name"
                          << "" << QStringList{"exclamation: Please select a Network Name."};
}

void NetNamePageTest::NextTakesTheNetworkNameShown()
{
    QFETCH(MemoryCluster, cluster);
    CNetNamePage page(cluster);
    page.Wizard().next();
    QTEST(CurrentPageKind(page.Wizard()), "strPage");
    QTEST(QString::fromStdWString(page.m_bench.m_app.Parameters().strNetworkName), "strNetworkName");
    QTEST(page.m_bench.m_messageBoxes.shown, "shown");
}

void NetNamePageTest::APacemakerClustersResources()
{
    // The product's agent, with and without a network name, beside resources of other kinds.
    const testsupport::ScratchFolder folder;
    const auto cib = folder.Write(
        "cib.xml",
        testsupport::CibDocument(
            {"vcluster",
             {"node1", "node2"},
             CibGroup("rg-velmora", {CibPrimitive("velmora-svc", "ocf:vestrel:velmora", {{"NetworkName", "MAILNODE"}}),
                                     CibPrimitive("velmora-ip", "ocf:heartbeat:IPaddr2", {{"ip", "192.0.2.30"}})}) +
                 CibPrimitive("SQLFCI1", "ocf:mssql:fci") + CibPrimitive("velmora-c", "ocf:vestrel:velmora") +
                 CibPrimitive("velmora-b", "ocf:vestrel:velmora", {{"NetworkName", "BNODE"}})}));
    QCOMPARE(QString::fromStdString(testsupport::CrmVerify(cib)), QString());
    CNetNamePage page(cib);
    QCOMPARE(CurrentPageKind(page.Wizard()), QStringLiteral("network name"));
    QCOMPARE(page.Listed(), (QStringList{"velmora-b", "velmora-c", "velmora-svc"}));
    QCOMPARE(page.Instances().currentText(), QStringLiteral("velmora-svc"));
    QCOMPARE(page.NetworkName(), QStringLiteral("MAILNODE"));
    // One without a network name leaves the last one shown.
    QTest::keyClick(&page.Instances(), Qt::Key_Up);
    QCOMPARE(page.NetworkName(), QStringLiteral("MAILNODE"));
    QTest::keyClick(&page.Instances(), Qt::Key_Up);
    QCOMPARE(page.NetworkName(), QStringLiteral("BNODE"));
    page.Wizard().next();
    QCOMPARE(CurrentPageKind(page.Wizard()), QStringLiteral("progress"));
    QCOMPARE(QString::fromStdWString(page.m_bench.m_app.Parameters().strNetworkName), QStringLiteral("BNODE"));
}

VAULTFEED_TEST_CLASS(NetNamePageTest);

#include "NetNamePageTest.moc"
