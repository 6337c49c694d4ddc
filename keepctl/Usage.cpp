#include "Usage.h"

namespace Keepctl {

const wchar_t* const kUsageText =
    L"\n"
    L"IMPORTANT: using this tool can alter the Velmora databases and delete data. Before using it make sure you "
    L"understand the risks, make a backup and understand how to restore it if a problem occurs.\n"
    L"\n"
    L"Usage:\n"
    L"------\n"
    L"Backup existing database:\n"
    L" keepctl BACKUP <RPRT|QUAR|DIR|CNFG> [-b backupfile] -s server [-cn connection_timeout] [-cm command_timeout] "
    L"[-u user] [-p password]\n"
    L"Restore database:\n"
    L" keepctl RESTORE <RPRT|QUAR|DIR|CNFG> [-b backupfile] -s server [-cn connection_timeout] [-cm command_timeout] "
    L"[-u user] [-p password]\n"
    L"Delete database:\n"
    L" keepctl DELETE <RPRT|QUAR|DIR|CNFG> -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    L"[-p password]\n"
    L"Setup database:\n"
    L" keepctl SETUP <RPRT|QUAR|DIR|CNFG> -s server -a account [-cn connection_timeout] [-cm command_timeout] "
    L"[-u user] [-p password]\n"
    L"Display database version:\n"
    L" keepctl VERSION <RPRT|QUAR|DIR|CNFG> -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    L"[-p password]\n"
    L"Display SQL Servers visible on the network:\n"
    L" keepctl BROWSESQLSERVERS [-o output file-path] [-t server-type (1=remote, 2=local, 4=clustered)] [-d domain]\n"
    L"Basic SQL Server check:\n"
    L" keepctl SQLSERVERCHECK -s server [-cn connection_timeout] [-cm command_timeout] [-u user] [-p password]\n"
    L"SQL Server role membership check:\n"
    L" keepctl SQLSERVERCHECKSVRROLE -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    L"[-p password] -sr server_role\n"
    L"Check the type of the local SQL database:\n"
    L" keepctl LOCALSQLSERVERTYPE <short-server-name>\n"
    L"Check whether or not a given server-name would be valid:\n"
    L" keepctl VALIDATESQLSERVERNAME -s server -t server-type (1=remote, 2=local, 4=clustered)\n";

} // namespace Keepctl
