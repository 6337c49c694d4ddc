#pragma once
// The objects of the substitute service, one per class of the product's service. The adaptors
// generated from the introspection files call their methods of the same names.

#include "ServiceObject.h"

#include <QDBusObjectPath>
#include <QString>
#include <QVariantList>
#include <cstdint>
#include <filesystem>

namespace Velmorasvc {

class CImportGate;
class CQuarantineDatabase;

// Makes the objects of the classes the service serves.
class CClassFactory : public CServiceObject
{
    Q_OBJECT

public:
    explicit CClassFactory(CInstanceTable& configs);
    QDBusObjectPath CreateInstance(const QString& strClsid);

private:
    CInstanceTable& m_configs;
};

class CServiceRoot : public CServiceObject
{
    Q_OBJECT

public:
    CServiceRoot();
    QDBusObjectPath GetConfigStore();
    QDBusObjectPath GetQuarantineImport();
};

class CConfigStore : public CServiceObject
{
    Q_OBJECT

public:
    CConfigStore();
    // Type 8 is the quarantine settings, whatever the keys; there is no other item.
    QDBusObjectPath GetConfigItem(int lItemType, short sKey1, short sKey2, short sKey3);
};

// The quarantine settings: the service's configuration text.
class CConfigItem : public CServiceObject
{
    Q_OBJECT

public:
    explicit CConfigItem(QString strText);
    QString GetConfigText();

private:
    QString m_strText;
};

// Made for one client: the quarantine folder of a configuration text it loads.
class CQuarantineConfig : public CServiceObject
{
    Q_OBJECT

public:
    explicit CQuarantineConfig(CInstanceTable& table);
    void Release() override;
    void LoadConfig(const QString& strText);
    QString GetQuarantineFolder();

private:
    CInstanceTable& m_table;
    bool m_bLoaded = false;
    QString m_strFolder;
};

// Made for one client and one run: the run's number in the database.
class CImportContext : public CServiceObject
{
    Q_OBJECT

public:
    CImportContext(CInstanceTable& table, std::int32_t lRunId);
    void Release() override;
    std::int32_t RunId() const { return m_lRunId; }

private:
    CInstanceTable& m_table;
    std::int32_t m_lRunId;
};

// Reads the files of the quarantine folder with the quarantine reader and records them, each
// after the gate when there is one.
class CQuarantineImport : public CServiceObject
{
    Q_OBJECT

public:
    CQuarantineImport(CQuarantineDatabase& database, std::filesystem::path quarantineFolder, CInstanceTable& contexts,
                      CImportGate* pGate);
    QDBusObjectPath CreateImportContext();
    // Empty (VT_EMPTY) when no file of that name is recorded, else the item's number.
    QVariantList IsFileKnown(const QString& strFileName);
    // Empty on success. A file whose header the reader refuses fails with VT_I4 1: it is damaged.
    QVariantList ImportFile(const QString& strFileName, const QString& strNetworkName, const QDBusObjectPath& context);

private:
    // The file's path in the quarantine folder. A name that is no bare file name (a path, "." or
    // "..") answers the call with E_INVALIDARG instead: nothing outside the folder is ever read.
    std::optional<std::filesystem::path> PathOf(const QString& strFileName);

    CQuarantineDatabase& m_database;
    std::filesystem::path m_quarantineFolder;
    CInstanceTable& m_contexts;
    CImportGate* m_pGate;
};

} // namespace Velmorasvc
