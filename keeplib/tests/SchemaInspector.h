#pragma once
// Reads the structure of a schema script for the schema tests: the tables with their columns, the
// keys and indexes, the procedures with their parameters, the fixed rows, the grants and the role
// statements. The script is loaded and cut into batches by the library itself (LoadScript,
// GetNextBatch); each batch is cut into tokens without comments, brackets or layout, so that the
// tests compare what a statement means, not how it is written. This is test support, not a SQL
// parser: it knows the statements the schema scripts use and nothing more.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SchemaInspector {

// One token of T-SQL text: a word, an identifier (the brackets or double quotes dropped), a
// string literal (as written, with its quotes and N prefix) or one punctuation character.
struct Token
{
    std::wstring strText;
    bool bQuotedIdentifier = false;
    bool bString = false;
};

// The tokens of the text; comments and white space are dropped.
std::vector<Token> Tokenize(const std::wstring& strText);

struct Column
{
    std::wstring strName;
    std::wstring strType;        // lower case, no blanks: "nvarchar(64)"
    std::wstring strIdentity;    // "(1,1)" for an identity column, else empty
    std::wstring strNullability; // "NOT NULL", "NULL", or empty when the script leaves it open
    std::wstring strDefault;     // the default's expression without outer parentheses, else empty

    // "ID smallint IDENTITY(1,1) NOT NULL", "Direction smallint NOT NULL DEFAULT 1".
    std::wstring Describe() const;
};

struct Table
{
    std::wstring strName;
    std::vector<Column> columns;
    std::size_t nBatch = 0; // from 1

    std::vector<std::wstring> ColumnDescriptions() const;
};

// A primary key, unique constraint, foreign key, check constraint or index of a table.
struct Constraint
{
    std::wstring strTable;
    std::wstring strName;
    std::wstring strKind;              // "PRIMARY KEY", "UNIQUE", "FOREIGN KEY", "CHECK" or "INDEX"
    bool bUniqueIndex = false;         // CREATE UNIQUE INDEX
    std::wstring strClustering;        // "CLUSTERED" or "NONCLUSTERED", the server's default filled in
    std::vector<std::wstring> columns; // with " DESC" for a descending column
    std::wstring strReferencedTable;
    std::vector<std::wstring> referencedColumns;
    std::wstring strOnDelete; // "CASCADE", "SET NULL", ...; empty for no action
    std::wstring strOnUpdate;
    bool bInline = false;      // written inside CREATE TABLE
    bool bWithNoCheck = false; // added by ALTER TABLE ... WITH NOCHECK
    std::size_t nBatch = 0;

    // "PK_QuarItems PRIMARY KEY CLUSTERED (ID)", "IX_QuarThreats CLUSTERED INDEX (ItemID)",
    // "FK_QuarAddresses_QuarItems FOREIGN KEY (ItemID) REFERENCES QuarItems (ID) ON DELETE CASCADE".
    std::wstring Describe() const;
};

struct Parameter
{
    std::wstring strName;
    std::wstring strType; // lower case, no blanks
    std::wstring strDefault;
    bool bOutput = false;

    // "@ID_in int", "@ID_out int OUTPUT", "@Flag_in bit = 0".
    std::wstring Describe() const;
};

// A table named in a statement ([dbo].[Name]), with the lock hints written on it.
struct TableReference
{
    std::wstring strTable;
    std::vector<std::wstring> hints; // upper case: "UPDLOCK", "HOLDLOCK"
    bool bWritten = false;           // the target of INSERT, UPDATE, DELETE or TRUNCATE TABLE

    bool HasHint(const std::wstring& strHint) const;
    // Whether the locks taken on the table stay until the transaction ends: those of a write, and
    // those of a read WITH TABLOCKX, XLOCK, UPDLOCK, HOLDLOCK, SERIALIZABLE or REPEATABLEREAD.
    bool HoldsLocks() const;
};

// One statement of a procedure's body. An IF is its condition alone, a label ("Fail :") a
// statement of its own.
struct Statement
{
    std::wstring strText;               // tokens joined as in Procedure::strText: "SET @ID_out = NULL"
    std::size_t nTransaction = 0;       // 0 outside a transaction, else which BEGIN TRANSACTION (from 1)
    std::vector<TableReference> tables; // in the order they are written
};

struct Procedure
{
    std::wstring strName;
    bool bAlter = false; // ALTER PROCEDURE rather than CREATE PROCEDURE
    std::vector<Parameter> parameters;
    // Everything after the procedure's name: parameters and body, one blank between tokens. Two
    // procedures with equal text are the same procedure, however they are laid out or commented.
    std::wstring strText;
    std::vector<Statement> statements; // of the body, in order
    std::size_t nBatch = 0;

    std::vector<std::wstring> ParameterDescriptions() const;
};

// INSERT INTO table (columns) VALUES (values): one fixed row.
struct Row
{
    std::wstring strTable;
    std::vector<std::wstring> columns;
    std::vector<std::wstring> values; // each value's tokens without blanks: "0", "N'x'", "-1"
    std::size_t nBatch = 0;
};

// EXEC of a system procedure outside any procedure, for example "sp_addrole VestrelQuarUser"
// (arguments without quotes or N prefix, separated by blanks).
struct Execution
{
    std::wstring strText;
    std::size_t nBatch = 0;
};

// A CREATE TABLE or CREATE PROCEDURE, written out or run as the text of an EXEC, with the IF that
// makes it happen only when the object is missing.
struct Creation
{
    std::wstring strKind; // "TABLE" or "PROCEDURE"
    std::wstring strName;
    // The object whose absence the IF right before the statement tests (IF OBJECT_ID(N'name')
    // IS NULL, IF NOT EXISTS (... OBJECT_ID(N'name') ...)); empty when no such IF guards it.
    std::wstring strGuard;
    bool bExecuted = false; // EXEC (N'CREATE PROCEDURE ...')
    std::size_t nBatch = 0;
};

struct Schema
{
    std::size_t nBatches = 0;
    std::vector<Table> tables;
    std::vector<Constraint> constraints;
    std::vector<Procedure> procedures;
    std::vector<Row> rows;
    std::vector<std::wstring> grants; // "SELECT ON QuarItems TO VestrelQuarUser", one per right
    std::vector<Execution> executions;
    std::vector<Creation> creations;

    // Null when the script has no such object.
    const Table* FindTable(const std::wstring& strName) const;
    const Procedure* FindProcedure(const std::wstring& strName) const;

    std::vector<std::wstring> TableNames() const;
    std::vector<std::wstring> ProcedureNames() const;
    // Constraint descriptions of the table, in script order.
    std::vector<std::wstring> ConstraintsOf(const std::wstring& strTable) const;
    std::vector<std::vector<std::wstring>> RowsOf(const std::wstring& strTable) const;
    std::vector<std::wstring> ExecutionTexts() const;
};

// The structure of a script text; GetNextBatch cuts it into batches.
Schema InspectText(const std::wstring& strScript);

// The structure of an embedded script, loaded with LoadScript. Adds a test failure if the script
// cannot be loaded.
Schema InspectScript(std::int32_t lScriptID);

// Checks shared by the schema tests; each adds a test failure for every difference.

struct ExpectedTable
{
    std::wstring strName;
    std::vector<std::wstring> columns;     // Column::Describe, in order
    std::vector<std::wstring> constraints; // Constraint::Describe, in any order
};

// The script creates exactly these tables, in this order, each with exactly these columns and
// keys.
void ExpectTables(const Schema& schema, const std::vector<ExpectedTable>& tables);

struct ExpectedProcedure
{
    std::wstring strName;
    std::vector<std::wstring> parameters; // Parameter::Describe, in order
};

// The script creates or alters exactly these procedures, in any order, each with exactly these
// parameters.
void ExpectProcedures(const Schema& schema, const std::vector<ExpectedProcedure>& procedures);

// The script grants exactly these rights (GRANT lines as the schema lists them), in any order.
void ExpectGrants(const Schema& schema, std::vector<std::wstring> grants);

// The version procedure sets these values ("1", "2", "'20090918 09:00'") into its three output
// parameters, named as in its parameter list.
void ExpectVersion(const Schema& schema, const std::wstring& strProcedure, const std::wstring& strMajor,
                   const std::wstring& strMinor, const std::wstring& strBuild);

// No procedure but strVersionProcedure hands back a value the caller bound to an OUTPUT
// parameter, nor one a rolled-back transaction assigned: each output is set to NULL before the
// body does anything but declare its variables, and again after every ROLLBACK when a
// transaction assigns it.
void ExpectNoOutputOnFailure(const Schema& schema, const std::wstring& strVersionProcedure);

// Every batch of the upgrade script can run again after a run that stopped anywhere: each table
// and procedure it creates is guarded by an IF on that object's absence (a procedure is created
// empty through EXEC and given its body by ALTER in a later batch), it adds no key outside a
// CREATE TABLE, no row and no role, and every procedure it alters either existed before the
// upgrade (existingProcedures) or is created in an earlier batch.
void ExpectRerunnable(const Schema& upgrade, const std::vector<std::wstring>& existingProcedures);

// The procedure of the upgrade script has the same parameters and body as that of the creation
// script, so an upgraded database and a new one hold the same procedure.
void ExpectSameProcedure(const Schema& upgrade, const Schema& creation, const std::wstring& strProcedure);

// The table of the upgrade script has the same columns and keys as that of the creation script.
void ExpectSameTable(const Schema& upgrade, const Schema& creation, const std::wstring& strTable);

} // namespace SchemaInspector
