#include "SchemaInspector.h"

#include "database/DBScriptHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <utility>

namespace SchemaInspector {

namespace {

bool IsWordChar(wchar_t c)
{
    return std::iswalnum(static_cast<wint_t>(c)) || c == L'_' || c == L'@' || c == L'#' || c == L'$';
}

std::wstring Lower(std::wstring str)
{
    for (wchar_t& c : str)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return str;
}

std::wstring Upper(std::wstring str)
{
    for (wchar_t& c : str)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return str;
}

std::wstring Join(const std::vector<Token>& tokens, const wchar_t* wszSeparator)
{
    std::wstring strJoined;
    for (const Token& token : tokens) {
        if (!strJoined.empty())
            strJoined += wszSeparator;
        strJoined += token.strText;
    }
    return strJoined;
}

std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* wszSeparator)
{
    std::wstring strJoined;
    for (const std::wstring& strPart : parts) {
        if (!strJoined.empty())
            strJoined += wszSeparator;
        strJoined += strPart;
    }
    return strJoined;
}

// The content of a string literal: N'O''Neil' gives O'Neil. Other tokens are returned as they are.
std::wstring Unquote(const Token& token)
{
    if (!token.bString)
        return token.strText;
    const std::size_t start = token.strText.find(L'\'') + 1;
    std::wstring strValue;
    for (std::size_t i = start; i + 1 < token.strText.size(); ++i) {
        strValue += token.strText[i];
        if (token.strText[i] == L'\'')
            ++i;
    }
    return strValue;
}

// Drops parentheses that enclose the whole expression: "((0))" gives "0".
std::wstring StripOuterParentheses(std::wstring str)
{
    while (str.size() >= 2 && str.front() == L'(' && str.back() == L')') {
        int depth = 0;
        bool bEnclosesAll = true;
        for (std::size_t i = 0; i < str.size(); ++i) {
            depth += str[i] == L'(' ? 1 : str[i] == L')' ? -1 : 0;
            if (depth == 0 && i + 1 < str.size()) {
                bEnclosesAll = false;
                break;
            }
        }
        if (!bEnclosesAll)
            break;
        str = str.substr(1, str.size() - 2);
    }
    return str;
}

// A keyword is a word outside brackets and quotes, in any case; wszKeyword is upper case.
bool IsKeyword(const Token& token, const wchar_t* wszKeyword)
{
    if (token.bQuotedIdentifier || token.bString)
        return false;
    const std::wstring strKeyword = wszKeyword;
    if (token.strText.size() != strKeyword.size())
        return false;
    for (std::size_t i = 0; i < strKeyword.size(); ++i) {
        if (std::towupper(static_cast<wint_t>(token.strText[i])) != static_cast<wint_t>(strKeyword[i]))
            return false;
    }
    return true;
}

bool IsAnyKeyword(const Token& token, std::initializer_list<const wchar_t*> keywords)
{
    return std::any_of(keywords.begin(), keywords.end(),
                       [&token](const wchar_t* wszKeyword) { return IsKeyword(token, wszKeyword); });
}

// Walks the tokens of one batch or of one part of a statement.
class Cursor
{
public:
    explicit Cursor(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    bool AtEnd() const { return m_pos >= m_tokens.size(); }
    std::size_t Position() const { return m_pos; }

    const Token& Peek(std::size_t ahead = 0) const
    {
        static const Token end;
        return m_pos + ahead < m_tokens.size() ? m_tokens[m_pos + ahead] : end;
    }

    bool IsKeyword(const wchar_t* wszKeyword, std::size_t ahead = 0) const
    {
        return SchemaInspector::IsKeyword(Peek(ahead), wszKeyword);
    }

    bool IsPunctuation(wchar_t c, std::size_t ahead = 0) const
    {
        const Token& token = Peek(ahead);
        return !token.bQuotedIdentifier && !token.bString && token.strText == std::wstring(1, c);
    }

    bool Accept(const wchar_t* wszKeyword)
    {
        if (!IsKeyword(wszKeyword))
            return false;
        ++m_pos;
        return true;
    }

    bool AcceptPunctuation(wchar_t c)
    {
        if (!IsPunctuation(c))
            return false;
        ++m_pos;
        return true;
    }

    Token Next() { return AtEnd() ? Token{} : m_tokens[m_pos++]; }

    // A name, owner-qualified or not: [dbo].[QuarItems] and QuarItems both give QuarItems.
    std::wstring Name()
    {
        std::wstring strName = Next().strText;
        while (IsPunctuation(L'.')) {
            ++m_pos;
            strName = Next().strText;
        }
        return strName;
    }

    // The tokens inside the parentheses that start here, without them; empty if no parenthesis
    // starts here.
    std::vector<Token> Group()
    {
        std::vector<Token> inside;
        if (!AcceptPunctuation(L'('))
            return inside;
        int depth = 1;
        while (!AtEnd()) {
            if (IsPunctuation(L'('))
                ++depth;
            else if (IsPunctuation(L')') && --depth == 0) {
                ++m_pos;
                break;
            }
            inside.push_back(Next());
        }
        return inside;
    }

    // The tokens from here up to the first one outside parentheses at which endsPart(*this)
    // holds, parentheses kept.
    template <typename EndsPart> std::vector<Token> TakeUntil(EndsPart endsPart)
    {
        std::vector<Token> part;
        while (!AtEnd() && !endsPart(*this)) {
            if (IsPunctuation(L'(')) {
                part.push_back(Token{L"(", false, false});
                for (const Token& token : Group())
                    part.push_back(token);
                part.push_back(Token{L")", false, false});
            } else {
                part.push_back(Next());
            }
        }
        return part;
    }

    // The rest of the tokens.
    std::vector<Token> Rest()
    {
        std::vector<Token> rest(m_tokens.begin() + static_cast<std::ptrdiff_t>(std::min(m_pos, m_tokens.size())),
                                m_tokens.end());
        m_pos = m_tokens.size();
        return rest;
    }

private:
    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
};

// Splits a list at the commas outside parentheses.
std::vector<std::vector<Token>> SplitAtCommas(const std::vector<Token>& tokens)
{
    std::vector<std::vector<Token>> parts(1);
    int depth = 0;
    for (const Token& token : tokens) {
        const bool bPunctuation = !token.bQuotedIdentifier && !token.bString;
        if (bPunctuation && token.strText == L"(")
            ++depth;
        else if (bPunctuation && token.strText == L")")
            --depth;
        else if (bPunctuation && token.strText == L"," && depth == 0) {
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(token);
    }
    if (parts.size() == 1 && parts.back().empty())
        parts.clear();
    return parts;
}

// A type name with its length or precision: "nvarchar(64)", "decimal(10,2)".
std::wstring ReadType(Cursor& cursor)
{
    std::wstring strType = Lower(cursor.Name());
    if (cursor.IsPunctuation(L'('))
        strType += L"(" + Lower(Join(cursor.Group(), L"")) + L")";
    return strType;
}

// The column list of a key or index: names, " DESC" kept, ASC (the default) dropped.
std::vector<std::wstring> ReadKeyColumns(Cursor& cursor)
{
    std::vector<std::wstring> columns;
    for (const std::vector<Token>& part : SplitAtCommas(cursor.Group())) {
        Cursor column(part);
        std::wstring strColumn = column.Name();
        if (column.Accept(L"DESC"))
            strColumn += L" DESC";
        columns.push_back(strColumn);
    }
    return columns;
}

// ON DELETE / ON UPDATE action; NO ACTION, the default, gives an empty text.
std::wstring ReadAction(Cursor& cursor)
{
    if (cursor.Accept(L"CASCADE"))
        return L"CASCADE";
    if (cursor.Accept(L"SET"))
        return L"SET " + cursor.Next().strText;
    cursor.Accept(L"NO");
    cursor.Accept(L"ACTION");
    return {};
}

// Skips the storage options that may follow a key: WITH FILLFACTOR = n, WITH (...), ON filegroup.
void SkipStorageOptions(Cursor& cursor)
{
    for (;;) {
        if (cursor.IsKeyword(L"WITH") && !cursor.IsKeyword(L"CHECK", 1) && !cursor.IsKeyword(L"NOCHECK", 1)) {
            cursor.Next();
            if (cursor.IsPunctuation(L'('))
                cursor.Group();
            else {
                cursor.Next();
                if (cursor.AcceptPunctuation(L'='))
                    cursor.Next();
            }
        } else if (cursor.IsKeyword(L"ON") && !cursor.IsKeyword(L"DELETE", 1) && !cursor.IsKeyword(L"UPDATE", 1)) {
            cursor.Next();
            cursor.Next();
        } else {
            return;
        }
    }
}

bool StartsTableConstraint(const Cursor& cursor)
{
    return cursor.IsKeyword(L"CONSTRAINT") || cursor.IsKeyword(L"PRIMARY") || cursor.IsKeyword(L"UNIQUE") ||
           cursor.IsKeyword(L"FOREIGN") || cursor.IsKeyword(L"CHECK");
}

// The body of a key after its name: PRIMARY KEY ..., UNIQUE ..., FOREIGN KEY ..., REFERENCES ...
// or CHECK .... For a constraint written on a column, strColumn names that column.
bool ReadConstraintBody(Cursor& cursor, Constraint& constraint, const std::wstring& strColumn)
{
    if (cursor.Accept(L"PRIMARY") || cursor.Accept(L"UNIQUE")) {
        const bool bPrimary = cursor.Accept(L"KEY");
        constraint.strKind = bPrimary ? L"PRIMARY KEY" : L"UNIQUE";
        if (cursor.Accept(L"CLUSTERED"))
            constraint.strClustering = L"CLUSTERED";
        else if (cursor.Accept(L"NONCLUSTERED"))
            constraint.strClustering = L"NONCLUSTERED";
        if (cursor.IsPunctuation(L'('))
            constraint.columns = ReadKeyColumns(cursor);
        else
            constraint.columns = {strColumn};
        SkipStorageOptions(cursor);
        return true;
    }
    if (cursor.Accept(L"FOREIGN") || cursor.IsKeyword(L"REFERENCES")) {
        constraint.strKind = L"FOREIGN KEY";
        cursor.Accept(L"KEY");
        if (cursor.IsPunctuation(L'('))
            constraint.columns = ReadKeyColumns(cursor);
        else
            constraint.columns = {strColumn};
        cursor.Accept(L"REFERENCES");
        constraint.strReferencedTable = cursor.Name();
        if (cursor.IsPunctuation(L'('))
            constraint.referencedColumns = ReadKeyColumns(cursor);
        while (cursor.IsKeyword(L"ON")) {
            cursor.Next();
            if (cursor.Accept(L"DELETE"))
                constraint.strOnDelete = ReadAction(cursor);
            else if (cursor.Accept(L"UPDATE"))
                constraint.strOnUpdate = ReadAction(cursor);
        }
        if (cursor.Accept(L"NOT")) {
            cursor.Accept(L"FOR");
            cursor.Accept(L"REPLICATION");
        }
        return true;
    }
    if (cursor.Accept(L"CHECK")) {
        constraint.strKind = L"CHECK";
        constraint.columns = {Join(cursor.Group(), L" ")};
        return true;
    }
    return false;
}

// [CONSTRAINT name] followed by a key: one element of a CREATE TABLE or of ALTER TABLE ... ADD.
Constraint ReadTableConstraint(Cursor& cursor, const std::wstring& strTable)
{
    Constraint constraint;
    constraint.strTable = strTable;
    if (cursor.Accept(L"CONSTRAINT"))
        constraint.strName = cursor.Name();
    ReadConstraintBody(cursor, constraint, {});
    return constraint;
}

// One column definition; keys written on the column go to constraints.
Column ReadColumn(Cursor& cursor, const std::wstring& strTable, std::vector<Constraint>& constraints)
{
    Column column;
    column.strName = cursor.Name();
    column.strType = ReadType(cursor);
    std::wstring strConstraintName;
    std::vector<std::wstring> others;
    while (!cursor.AtEnd()) {
        if (cursor.Accept(L"IDENTITY")) {
            const std::wstring strSeed = Join(cursor.Group(), L"");
            column.strIdentity = L"(" + (strSeed.empty() ? L"1,1" : strSeed) + L")";
        } else if (cursor.IsKeyword(L"NOT") && cursor.IsKeyword(L"NULL", 1)) {
            cursor.Next();
            cursor.Next();
            column.strNullability = L"NOT NULL";
        } else if (cursor.Accept(L"NULL")) {
            column.strNullability = L"NULL";
        } else if (cursor.Accept(L"CONSTRAINT")) {
            strConstraintName = cursor.Name();
        } else if (cursor.Accept(L"DEFAULT")) {
            // The default's own name is of no interest: only its value is.
            std::wstring strValue;
            if (cursor.IsPunctuation(L'('))
                strValue = L"(" + Join(cursor.Group(), L"") + L")";
            else {
                strValue = cursor.Next().strText;
                if (cursor.IsPunctuation(L'('))
                    strValue += L"(" + Join(cursor.Group(), L"") + L")";
            }
            column.strDefault = StripOuterParentheses(strValue);
            strConstraintName.clear();
        } else if (cursor.Accept(L"COLLATE")) {
            others.push_back(L"COLLATE " + cursor.Next().strText);
        } else {
            Constraint constraint;
            constraint.strTable = strTable;
            constraint.strName = strConstraintName;
            if (ReadConstraintBody(cursor, constraint, column.strName)) {
                constraints.push_back(constraint);
                strConstraintName.clear();
            } else {
                others.push_back(cursor.Next().strText);
            }
        }
    }
    // Anything not understood stays visible in the column's description.
    if (!others.empty())
        column.strType += L" " + Join(others, L" ");
    return column;
}

bool IsPunctuationToken(const Token& token, wchar_t c)
{
    return !token.bQuotedIdentifier && !token.bString && token.strText == std::wstring(1, c);
}

// "Fail :" in a procedure's body: the target of a GOTO.
bool IsLabel(const std::vector<Token>& tokens, std::size_t i)
{
    const Token& token = tokens[i];
    return i + 1 < tokens.size() && !token.bString && !token.bQuotedIdentifier && IsWordChar(token.strText[0]) &&
           token.strText[0] != L'@' && IsPunctuationToken(tokens[i + 1], L':');
}

// Cuts a procedure's body into statements at the words that begin one, outside parentheses and
// CASE expressions. INSERT ... SELECT (or VALUES) and UPDATE ... SET stay one statement; an IF is
// its condition alone; a label is a statement of its own.
std::vector<std::vector<Token>> SplitStatements(const std::vector<Token>& body)
{
    std::vector<std::vector<Token>> statements;
    int depth = 0;
    int caseDepth = 0;
    bool bClauseSeen = false; // the INSERT's SELECT or VALUES, the UPDATE's SET
    for (std::size_t i = 0; i < body.size(); ++i) {
        const Token& token = body[i];
        bool bStarts = statements.empty();
        if (!bStarts && depth == 0 && caseDepth == 0) {
            const Token& first = statements.back().front();
            const bool bInsertClause = IsKeyword(first, L"INSERT") && !bClauseSeen &&
                                       IsAnyKeyword(token, {L"SELECT", L"VALUES", L"EXEC", L"EXECUTE"});
            const bool bUpdateClause = IsKeyword(first, L"UPDATE") && !bClauseSeen && IsKeyword(token, L"SET");
            bStarts = IsLabel(body, i) || IsPunctuationToken(statements.back().back(), L':') ||
                      (!bInsertClause && !bUpdateClause &&
                       IsAnyKeyword(token, {L"SELECT", L"INSERT", L"UPDATE", L"DELETE", L"SET", L"DECLARE", L"EXEC",
                                            L"EXECUTE", L"IF", L"ELSE", L"WHILE", L"BEGIN", L"END", L"COMMIT",
                                            L"ROLLBACK", L"RETURN", L"GOTO", L"TRUNCATE", L"DBCC"}));
            bClauseSeen = bClauseSeen || bInsertClause || bUpdateClause;
        }
        if (bStarts) {
            statements.emplace_back();
            bClauseSeen = false;
        }
        statements.back().push_back(token);
        if (IsPunctuationToken(token, L'('))
            ++depth;
        else if (IsPunctuationToken(token, L')'))
            --depth;
        else if (IsKeyword(token, L"CASE"))
            ++caseDepth;
        else if (IsKeyword(token, L"END") && caseDepth > 0)
            --caseDepth;
    }
    return statements;
}

// The tables a statement names as dbo.Name, each with the hints of its WITH (...); the target of
// INSERT, UPDATE, DELETE or TRUNCATE TABLE, named itself or by its alias, is marked written.
std::vector<TableReference> ReadTableReferences(const std::vector<Token>& statement)
{
    std::vector<TableReference> references;
    std::vector<std::size_t> positions;
    std::vector<std::wstring> aliases;
    const std::size_t size = statement.size();
    for (std::size_t i = 0; i + 2 < size; ++i) {
        if (statement[i].bString || Lower(statement[i].strText) != L"dbo" ||
            !IsPunctuationToken(statement[i + 1], L'.'))
            continue;
        TableReference reference;
        reference.strTable = statement[i + 2].strText;
        std::size_t next = i + 3;
        std::wstring strAlias;
        if (next + 1 < size && IsKeyword(statement[next], L"AS")) {
            strAlias = statement[next + 1].strText;
            next += 2;
        }
        if (next + 1 < size && IsKeyword(statement[next], L"WITH") && IsPunctuationToken(statement[next + 1], L'(')) {
            for (next += 2; next < size && !IsPunctuationToken(statement[next], L')'); ++next) {
                if (!IsPunctuationToken(statement[next], L','))
                    reference.hints.push_back(Upper(statement[next].strText));
            }
        }
        references.push_back(reference);
        positions.push_back(i);
        aliases.push_back(strAlias);
    }

    std::size_t target = 1;
    if (IsAnyKeyword(statement.front(), {L"INSERT", L"DELETE"})) {
        if (target < size && IsAnyKeyword(statement[target], {L"INTO", L"FROM"}))
            ++target;
    } else if (IsKeyword(statement.front(), L"TRUNCATE")) {
        ++target;
    } else if (!IsKeyword(statement.front(), L"UPDATE")) {
        return references;
    }
    for (std::size_t k = 0; k < references.size() && target < size; ++k) {
        if (positions[k] == target || (!aliases[k].empty() && aliases[k] == statement[target].strText)) {
            references[k].bWritten = true;
            break;
        }
    }
    return references;
}

// Fills in the statements of a procedure's body, each with the transaction it runs in.
// Transactions are followed in the order they are written, which is the order they run in for
// the scripts' procedures: each ends at the COMMIT or ROLLBACK after it.
void ReadBody(Procedure& procedure, const std::vector<Token>& body)
{
    std::size_t nTransactions = 0;
    std::size_t nTransaction = 0;
    for (const std::vector<Token>& tokens : SplitStatements(body)) {
        if (tokens.size() > 1 && IsKeyword(tokens[0], L"BEGIN") && IsAnyKeyword(tokens[1], {L"TRAN", L"TRANSACTION"}))
            nTransaction = ++nTransactions;
        procedure.statements.push_back({Join(tokens, L" "), nTransaction, ReadTableReferences(tokens)});
        if (IsAnyKeyword(tokens[0], {L"COMMIT", L"ROLLBACK"}))
            nTransaction = 0;
    }
}

class BatchReader
{
public:
    BatchReader(Schema& schema, std::size_t nBatch) : m_schema(schema), m_nBatch(nBatch) {}

    void Read(const std::wstring& strBatch)
    {
        Cursor cursor(Tokenize(strBatch));
        // A procedure is the whole of its batch; the statements of its body are not schema.
        if ((cursor.IsKeyword(L"CREATE") || cursor.IsKeyword(L"ALTER")) &&
            (cursor.IsKeyword(L"PROCEDURE", 1) || cursor.IsKeyword(L"PROC", 1))) {
            ReadProcedure(cursor);
            return;
        }
        std::wstring strGuard;
        while (!cursor.AtEnd()) {
            if (cursor.IsKeyword(L"IF")) {
                strGuard = ReadGuard(cursor);
                continue;
            }
            // A guard covers the one statement after it.
            const std::wstring strGuarded = std::exchange(strGuard, {});
            if (cursor.IsKeyword(L"CREATE") && cursor.IsKeyword(L"TABLE", 1))
                ReadCreateTable(cursor, strGuarded);
            else if (cursor.IsKeyword(L"CREATE") && IsCreateIndex(cursor))
                ReadCreateIndex(cursor);
            else if (cursor.IsKeyword(L"ALTER") && cursor.IsKeyword(L"TABLE", 1))
                ReadAlterTable(cursor);
            else if (cursor.IsKeyword(L"GRANT"))
                ReadGrant(cursor);
            else if (cursor.IsKeyword(L"EXEC") || cursor.IsKeyword(L"EXECUTE"))
                ReadExecution(cursor, strGuarded);
            else if (cursor.IsKeyword(L"INSERT"))
                ReadInsert(cursor);
            else
                cursor.Next();
        }
    }

private:
    static bool IsCreateIndex(const Cursor& cursor)
    {
        for (std::size_t ahead = 1; ahead <= 3; ++ahead) {
            if (cursor.IsKeyword(L"INDEX", ahead))
                return true;
            if (!cursor.IsKeyword(L"UNIQUE", ahead) && !cursor.IsKeyword(L"CLUSTERED", ahead) &&
                !cursor.IsKeyword(L"NONCLUSTERED", ahead))
                return false;
        }
        return false;
    }

    void AddConstraint(Constraint constraint)
    {
        constraint.nBatch = m_nBatch;
        m_schema.constraints.push_back(std::move(constraint));
    }

    // IF condition [BEGIN]: the object whose absence the condition tests, or empty when it tests
    // something else.
    static std::wstring ReadGuard(Cursor& cursor)
    {
        cursor.Next();
        const std::vector<Token> condition =
            cursor.TakeUntil([](const Cursor& at) { return at.IsKeyword(L"BEGIN") || IsStatementStart(at); });
        cursor.Accept(L"BEGIN");
        const std::size_t size = condition.size();
        const bool bTestsAbsence =
            size >= 2 && ((IsKeyword(condition[0], L"NOT") && IsKeyword(condition[1], L"EXISTS")) ||
                          (IsKeyword(condition[size - 2], L"IS") && IsKeyword(condition[size - 1], L"NULL")));
        for (std::size_t i = 0; bTestsAbsence && i + 2 < size; ++i) {
            if (IsKeyword(condition[i], L"OBJECT_ID") && IsPunctuationToken(condition[i + 1], L'(') &&
                condition[i + 2].bString)
                return Cursor(Tokenize(Unquote(condition[i + 2]))).Name();
        }
        return {};
    }

    void ReadCreateTable(Cursor& cursor, const std::wstring& strGuard)
    {
        cursor.Next();
        cursor.Next();
        Table table;
        table.strName = cursor.Name();
        table.nBatch = m_nBatch;
        m_schema.creations.push_back({L"TABLE", table.strName, strGuard, false, m_nBatch});
        for (const std::vector<Token>& part : SplitAtCommas(cursor.Group())) {
            Cursor element(part);
            std::vector<Constraint> constraints;
            if (StartsTableConstraint(element))
                constraints.push_back(ReadTableConstraint(element, table.strName));
            else
                table.columns.push_back(ReadColumn(element, table.strName, constraints));
            for (Constraint& constraint : constraints) {
                constraint.bInline = true;
                AddConstraint(constraint);
            }
        }
        m_schema.tables.push_back(table);
    }

    void ReadCreateIndex(Cursor& cursor)
    {
        cursor.Next();
        Constraint index;
        index.strKind = L"INDEX";
        while (!cursor.Accept(L"INDEX")) {
            const std::wstring strWord = cursor.Next().strText;
            if (cursor.AtEnd())
                return;
            if (Lower(strWord) == L"unique")
                index.bUniqueIndex = true;
            else
                index.strClustering = Lower(strWord) == L"clustered" ? L"CLUSTERED" : L"NONCLUSTERED";
        }
        index.strName = cursor.Name();
        cursor.Accept(L"ON");
        index.strTable = cursor.Name();
        index.columns = ReadKeyColumns(cursor);
        SkipStorageOptions(cursor);
        AddConstraint(index);
    }

    void ReadAlterTable(Cursor& cursor)
    {
        cursor.Next();
        cursor.Next();
        const std::wstring strTable = cursor.Name();
        bool bWithNoCheck = false;
        if (cursor.IsKeyword(L"WITH")) {
            cursor.Next();
            bWithNoCheck = cursor.Accept(L"NOCHECK");
            cursor.Accept(L"CHECK");
        }
        if (!cursor.Accept(L"ADD"))
            return;
        do {
            if (StartsTableConstraint(cursor)) {
                Constraint constraint = ReadTableConstraint(cursor, strTable);
                constraint.bWithNoCheck = bWithNoCheck;
                AddConstraint(constraint);
            } else {
                ReadAddedColumn(cursor, strTable);
            }
        } while (cursor.AcceptPunctuation(L','));
    }

    // ALTER TABLE ... ADD column: the column joins its table.
    void ReadAddedColumn(Cursor& cursor, const std::wstring& strTable)
    {
        std::vector<Token> definition;
        while (!cursor.AtEnd() && !cursor.IsPunctuation(L',') && !IsStatementStart(cursor))
            definition.push_back(cursor.Next());
        Cursor element(definition);
        std::vector<Constraint> constraints;
        Column column = ReadColumn(element, strTable, constraints);
        for (Table& table : m_schema.tables) {
            if (table.strName == strTable)
                table.columns.push_back(column);
        }
        for (const Constraint& constraint : constraints)
            AddConstraint(constraint);
    }

    static bool IsStatementStart(const Cursor& cursor)
    {
        for (const wchar_t* wszKeyword : {L"CREATE", L"ALTER", L"GRANT", L"EXEC", L"EXECUTE", L"INSERT", L"IF",
                                          L"UPDATE", L"DELETE", L"DROP", L"DECLARE", L"SET", L"SELECT"}) {
            if (cursor.IsKeyword(wszKeyword))
                return true;
        }
        return false;
    }

    // GRANT right[, right] [ON object] TO principal[, principal]: one entry per right and
    // principal.
    void ReadGrant(Cursor& cursor)
    {
        cursor.Next();
        std::vector<std::wstring> rights(1);
        while (!cursor.AtEnd() && !cursor.IsKeyword(L"ON") && !cursor.IsKeyword(L"TO")) {
            if (cursor.AcceptPunctuation(L','))
                rights.emplace_back();
            else
                rights.back() += (rights.back().empty() ? L"" : L" ") + cursor.Next().strText;
        }
        std::wstring strObject;
        if (cursor.Accept(L"ON")) {
            strObject = cursor.Name();
            if (cursor.IsPunctuation(L'('))
                strObject += L" (" + Join(cursor.Group(), L" ") + L")";
        }
        cursor.Accept(L"TO");
        std::vector<std::wstring> principals = {cursor.Name()};
        while (cursor.AcceptPunctuation(L','))
            principals.push_back(cursor.Name());
        std::wstring strOption;
        if (cursor.IsKeyword(L"WITH") && cursor.IsKeyword(L"GRANT", 1)) {
            cursor.Next();
            cursor.Next();
            cursor.Next();
            strOption = L" WITH GRANT OPTION";
        }
        for (const std::wstring& strRight : rights) {
            for (const std::wstring& strPrincipal : principals) {
                m_schema.grants.push_back(strRight + (strObject.empty() ? L"" : L" ON " + strObject) + L" TO " +
                                          strPrincipal + strOption);
            }
        }
    }

    // EXEC procedure argument[, argument]: "sp_addrole VestrelQuarUser"; or EXEC (N'text'), which
    // counts only for the object the text creates.
    void ReadExecution(Cursor& cursor, const std::wstring& strGuard)
    {
        cursor.Next();
        if (cursor.IsPunctuation(L'(')) {
            std::wstring strText;
            for (const Token& token : cursor.Group()) {
                if (token.bString)
                    strText += Unquote(token);
            }
            Cursor executed(Tokenize(strText));
            std::wstring strKind;
            if (executed.Accept(L"CREATE")) {
                if (executed.Accept(L"TABLE"))
                    strKind = L"TABLE";
                else if (executed.Accept(L"PROCEDURE") || executed.Accept(L"PROC"))
                    strKind = L"PROCEDURE";
            }
            if (!strKind.empty())
                m_schema.creations.push_back({strKind, executed.Name(), strGuard, true, m_nBatch});
            return;
        }
        if (cursor.Peek(0).strText.starts_with(L"@") && cursor.IsPunctuation(L'=', 1)) {
            cursor.Next();
            cursor.Next();
        }
        std::wstring strText = cursor.Name();
        if (!cursor.AtEnd() && !IsStatementStart(cursor)) {
            do {
                if (cursor.Peek(0).strText.starts_with(L"@") && cursor.IsPunctuation(L'=', 1)) {
                    strText += L" " + cursor.Next().strText + L"=";
                    cursor.Next();
                } else {
                    strText += L" ";
                }
                strText += Unquote(cursor.Next());
            } while (cursor.AcceptPunctuation(L','));
        }
        m_schema.executions.push_back({strText, m_nBatch});
    }

    // INSERT [INTO] table (columns) VALUES (values).
    void ReadInsert(Cursor& cursor)
    {
        cursor.Next();
        cursor.Accept(L"INTO");
        Row row;
        row.strTable = cursor.Name();
        row.nBatch = m_nBatch;
        for (const std::vector<Token>& part : SplitAtCommas(cursor.Group()))
            row.columns.push_back(Join(part, L" "));
        if (cursor.Accept(L"VALUES")) {
            for (const std::vector<Token>& part : SplitAtCommas(cursor.Group()))
                row.values.push_back(Join(part, L""));
        }
        m_schema.rows.push_back(row);
    }

    void ReadProcedure(Cursor& cursor)
    {
        Procedure procedure;
        procedure.bAlter = cursor.IsKeyword(L"ALTER");
        procedure.nBatch = m_nBatch;
        cursor.Next();
        cursor.Next();
        procedure.strName = cursor.Name();
        const std::vector<Token> rest = cursor.Rest();
        procedure.strText = Join(rest, L" ");

        // The parameters end at the AS (or WITH) outside parentheses; they may be in parentheses.
        Cursor body(rest);
        std::vector<Token> parameterTokens = body.TakeUntil(
            [](const Cursor& at) { return at.IsKeyword(L"AS") || at.IsKeyword(L"WITH") || at.IsKeyword(L"FOR"); });
        if (!parameterTokens.empty() && parameterTokens.front().strText == L"(" &&
            !parameterTokens.front().bQuotedIdentifier && !parameterTokens.front().bString) {
            Cursor enclosed(parameterTokens);
            parameterTokens = enclosed.Group();
        }
        for (const std::vector<Token>& part : SplitAtCommas(parameterTokens)) {
            Cursor parameter(part);
            Parameter param;
            param.strName = parameter.Next().strText;
            parameter.Accept(L"AS");
            param.strType = ReadType(parameter);
            std::vector<std::wstring> others;
            while (!parameter.AtEnd()) {
                if (parameter.Accept(L"OUTPUT") || parameter.Accept(L"OUT")) {
                    param.bOutput = true;
                } else if (parameter.AcceptPunctuation(L'=')) {
                    std::vector<Token> value;
                    while (!parameter.AtEnd() && !parameter.IsKeyword(L"OUTPUT") && !parameter.IsKeyword(L"OUT"))
                        value.push_back(parameter.Next());
                    param.strDefault = Join(value, L"");
                } else {
                    others.push_back(parameter.Next().strText);
                }
            }
            if (!others.empty())
                param.strType += L" " + Join(others, L" ");
            procedure.parameters.push_back(param);
        }
        // The body follows the AS, after any WITH or FOR options.
        while (!body.AtEnd() && !body.Accept(L"AS"))
            body.Next();
        ReadBody(procedure, body.Rest());
        if (!procedure.bAlter)
            m_schema.creations.push_back({L"PROCEDURE", procedure.strName, {}, false, m_nBatch});
        m_schema.procedures.push_back(procedure);
    }

    Schema& m_schema;
    std::size_t m_nBatch;
};

// Fills in the server's defaults: a primary key is clustered unless the table already has (or
// gets in the same CREATE TABLE) a clustered index; a unique key and an index are nonclustered.
void ResolveClustering(std::vector<Constraint>& constraints)
{
    std::vector<bool> explicitlyClustered;
    for (const Constraint& constraint : constraints)
        explicitlyClustered.push_back(constraint.strClustering == L"CLUSTERED");
    for (std::size_t i = 0; i < constraints.size(); ++i) {
        Constraint& constraint = constraints[i];
        if (!constraint.strClustering.empty() || constraint.strKind == L"FOREIGN KEY" || constraint.strKind == L"CHECK")
            continue;
        bool bTableHasClustered = false;
        for (std::size_t j = 0; j < constraints.size(); ++j) {
            const Constraint& other = constraints[j];
            if (j != i && explicitlyClustered[j] && other.strTable == constraint.strTable &&
                (j < i || (other.bInline && constraint.bInline)))
                bTableHasClustered = true;
        }
        constraint.strClustering =
            constraint.strKind == L"PRIMARY KEY" && !bTableHasClustered ? L"CLUSTERED" : L"NONCLUSTERED";
    }
}

} // namespace

std::vector<Token> Tokenize(const std::wstring& strText)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t size = strText.size();
    while (i < size) {
        const wchar_t c = strText[i];
        const wchar_t next = i + 1 < size ? strText[i + 1] : L'\0';
        if (std::iswspace(static_cast<wint_t>(c))) {
            ++i;
        } else if (c == L'-' && next == L'-') {
            while (i < size && strText[i] != L'\n')
                ++i;
        } else if (c == L'/' && next == L'*') {
            const std::size_t end = strText.find(L"*/", i + 2);
            i = end == std::wstring::npos ? size : end + 2;
        } else if (c == L'[' || c == L'"') {
            // [name] with ]] for a bracket inside, or "name".
            const wchar_t close = c == L'[' ? L']' : L'"';
            Token token{{}, true, false};
            for (++i; i < size; ++i) {
                if (strText[i] == close) {
                    if (i + 1 < size && strText[i + 1] == close && close == L']') {
                        token.strText += close;
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.strText += strText[i];
            }
            tokens.push_back(token);
        } else if (c == L'\'' || ((c == L'N' || c == L'n') && next == L'\'')) {
            // 'text' or N'text' with '' for a quote inside, kept as written.
            const std::size_t start = i;
            i = strText.find(L'\'', start) + 1;
            for (; i < size; ++i) {
                if (strText[i] == L'\'') {
                    if (i + 1 < size && strText[i + 1] == L'\'') {
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
            }
            tokens.push_back(Token{strText.substr(start, i - start), false, true});
        } else if (IsWordChar(c)) {
            const std::size_t start = i;
            while (i < size && IsWordChar(strText[i]))
                ++i;
            tokens.push_back(Token{strText.substr(start, i - start), false, false});
        } else {
            tokens.push_back(Token{std::wstring(1, c), false, false});
            ++i;
        }
    }
    return tokens;
}

std::wstring Column::Describe() const
{
    std::wstring str = strName + L" " + strType;
    if (!strIdentity.empty())
        str += L" IDENTITY" + strIdentity;
    if (!strNullability.empty())
        str += L" " + strNullability;
    if (!strDefault.empty())
        str += L" DEFAULT " + strDefault;
    return str;
}

std::vector<std::wstring> Table::ColumnDescriptions() const
{
    std::vector<std::wstring> descriptions;
    for (const Column& column : columns)
        descriptions.push_back(column.Describe());
    return descriptions;
}

std::wstring Constraint::Describe() const
{
    std::wstring str = (strName.empty() ? L"(unnamed)" : strName) + L" ";
    if (strKind == L"INDEX")
        str += std::wstring(bUniqueIndex ? L"UNIQUE " : L"") + strClustering + L" INDEX";
    else if (strKind == L"PRIMARY KEY" || strKind == L"UNIQUE")
        str += strKind + L" " + strClustering;
    else
        str += strKind;
    str += L" (" + Join(columns, L", ") + L")";
    if (strKind == L"FOREIGN KEY") {
        str += L" REFERENCES " + strReferencedTable;
        if (!referencedColumns.empty())
            str += L" (" + Join(referencedColumns, L", ") + L")";
        if (!strOnDelete.empty())
            str += L" ON DELETE " + strOnDelete;
        if (!strOnUpdate.empty())
            str += L" ON UPDATE " + strOnUpdate;
    }
    return str;
}

std::wstring Parameter::Describe() const
{
    std::wstring str = strName + L" " + strType;
    if (!strDefault.empty())
        str += L" = " + strDefault;
    if (bOutput)
        str += L" OUTPUT";
    return str;
}

bool TableReference::HasHint(const std::wstring& strHint) const
{
    return std::find(hints.begin(), hints.end(), strHint) != hints.end();
}

bool TableReference::HoldsLocks() const
{
    return bWritten || std::any_of(hints.begin(), hints.end(), [](const std::wstring& strHint) {
               return strHint == L"TABLOCKX" || strHint == L"XLOCK" || strHint == L"UPDLOCK" ||
                      strHint == L"HOLDLOCK" || strHint == L"SERIALIZABLE" || strHint == L"REPEATABLEREAD";
           });
}

std::vector<std::wstring> Procedure::ParameterDescriptions() const
{
    std::vector<std::wstring> descriptions;
    for (const Parameter& parameter : parameters)
        descriptions.push_back(parameter.Describe());
    return descriptions;
}

const Table* Schema::FindTable(const std::wstring& strName) const
{
    for (const Table& table : tables) {
        if (table.strName == strName)
            return &table;
    }
    return nullptr;
}

const Procedure* Schema::FindProcedure(const std::wstring& strName) const
{
    for (const Procedure& procedure : procedures) {
        if (procedure.strName == strName)
            return &procedure;
    }
    return nullptr;
}

std::vector<std::wstring> Schema::TableNames() const
{
    std::vector<std::wstring> names;
    for (const Table& table : tables)
        names.push_back(table.strName);
    return names;
}

std::vector<std::wstring> Schema::ProcedureNames() const
{
    std::vector<std::wstring> names;
    for (const Procedure& procedure : procedures)
        names.push_back(procedure.strName);
    return names;
}

std::vector<std::wstring> Schema::ConstraintsOf(const std::wstring& strTable) const
{
    std::vector<std::wstring> descriptions;
    for (const Constraint& constraint : constraints) {
        if (constraint.strTable == strTable)
            descriptions.push_back(constraint.Describe());
    }
    return descriptions;
}

std::vector<std::vector<std::wstring>> Schema::RowsOf(const std::wstring& strTable) const
{
    std::vector<std::vector<std::wstring>> values;
    for (const Row& row : rows) {
        if (row.strTable == strTable)
            values.push_back(row.values);
    }
    return values;
}

std::vector<std::wstring> Schema::ExecutionTexts() const
{
    std::vector<std::wstring> texts;
    for (const Execution& execution : executions)
        texts.push_back(execution.strText);
    return texts;
}

Schema InspectText(const std::wstring& strScript)
{
    Schema schema;
    const wchar_t* pCursor = strScript.c_str();
    std::wstring strBatch;
    while (DBScriptHelper::GetNextBatch(pCursor, strBatch) == S_OK) {
        ++schema.nBatches;
        BatchReader(schema, schema.nBatches).Read(strBatch);
    }
    ResolveClustering(schema.constraints);
    return schema;
}

Schema InspectScript(std::int32_t lScriptID)
{
    std::wstring strScript;
    const HRESULT hr = DBScriptHelper::LoadScript(lScriptID, strScript);
    EXPECT_EQ(hr, S_OK) << "script " << lScriptID;
    return InspectText(strScript);
}

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> items)
{
    std::sort(items.begin(), items.end());
    return items;
}

} // namespace

void ExpectTables(const Schema& schema, const std::vector<ExpectedTable>& tables)
{
    std::vector<std::wstring> names;
    for (const ExpectedTable& expected : tables)
        names.push_back(expected.strName);
    EXPECT_EQ(schema.TableNames(), names);
    for (const ExpectedTable& expected : tables) {
        const Table* pTable = schema.FindTable(expected.strName);
        if (pTable == nullptr) {
            ADD_FAILURE() << "no table " << expected.strName;
            continue;
        }
        EXPECT_EQ(pTable->ColumnDescriptions(), expected.columns) << "columns of " << expected.strName;
        EXPECT_EQ(Sorted(schema.ConstraintsOf(expected.strName)), Sorted(expected.constraints))
            << "keys and indexes of " << expected.strName;
    }
}

void ExpectProcedures(const Schema& schema, const std::vector<ExpectedProcedure>& procedures)
{
    std::vector<std::wstring> names;
    for (const ExpectedProcedure& expected : procedures)
        names.push_back(expected.strName);
    EXPECT_EQ(Sorted(schema.ProcedureNames()), Sorted(names));
    for (const ExpectedProcedure& expected : procedures) {
        const Procedure* pProcedure = schema.FindProcedure(expected.strName);
        if (pProcedure == nullptr) {
            ADD_FAILURE() << "no procedure " << expected.strName;
            continue;
        }
        EXPECT_EQ(pProcedure->ParameterDescriptions(), expected.parameters) << "parameters of " << expected.strName;
    }
}

void ExpectGrants(const Schema& schema, std::vector<std::wstring> grants)
{
    EXPECT_EQ(Sorted(schema.grants), Sorted(std::move(grants)));
}

void ExpectVersion(const Schema& schema, const std::wstring& strProcedure, const std::wstring& strMajor,
                   const std::wstring& strMinor, const std::wstring& strBuild)
{
    const Procedure* pProcedure = schema.FindProcedure(strProcedure);
    if (pProcedure == nullptr) {
        ADD_FAILURE() << "no procedure " << strProcedure;
        return;
    }
    if (pProcedure->parameters.size() != 3) {
        ADD_FAILURE() << strProcedure << " has " << pProcedure->parameters.size() << " parameters";
        return;
    }
    const std::wstring values[] = {strMajor, strMinor, strBuild};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::wstring strAssignment = L"SET " + pProcedure->parameters[i].strName + L" = " + values[i] + L" ";
        EXPECT_NE(pProcedure->strText.find(strAssignment), std::wstring::npos)
            << strProcedure << " lacks " << strAssignment << "in " << pProcedure->strText;
    }
}

void ExpectNoOutputOnFailure(const Schema& schema, const std::wstring& strVersionProcedure)
{
    for (const Procedure& procedure : schema.procedures) {
        if (procedure.strName == strVersionProcedure)
            continue;
        const std::vector<Statement>& statements = procedure.statements;
        for (const Parameter& output : procedure.parameters) {
            if (!output.bOutput)
                continue;
            const std::wstring strClear = L"SET " + output.strName + L" = NULL";
            const auto itClear = std::find_if(statements.begin(), statements.end(), [&](const Statement& statement) {
                return statement.strText == strClear;
            });
            if (itClear == statements.end())
                ADD_FAILURE() << procedure.strName << " never clears " << output.strName;
            for (auto it = statements.begin(); itClear != statements.end() && it != itClear; ++it) {
                const bool bClearsAnother = it->strText.starts_with(L"SET @") && it->strText.ends_with(L" = NULL");
                EXPECT_TRUE(it->strText == L"SET NOCOUNT ON" || it->strText.starts_with(L"DECLARE ") || bClearsAnother)
                    << procedure.strName << " runs " << it->strText << " before clearing " << output.strName;
            }

            // "SET @ID = @NewID", "SELECT @ID = Id FROM ...", "SELECT @Error = @@ERROR , @ID = @@IDENTITY".
            const std::wstring strAssigned = L" " + output.strName + L" = ";
            const bool bAssignedInTransaction =
                std::any_of(statements.begin(), statements.end(), [&](const Statement& statement) {
                    return statement.nTransaction != 0 && statement.strText != strClear &&
                           (L" " + statement.strText).find(strAssigned) != std::wstring::npos &&
                           (statement.strText.starts_with(L"SET ") || statement.strText.starts_with(L"SELECT "));
                });
            for (auto it = statements.begin(); bAssignedInTransaction && it != statements.end(); ++it) {
                if (!it->strText.starts_with(L"ROLLBACK"))
                    continue;
                auto itReturn = std::find_if(it, statements.end(), [](const Statement& statement) {
                    return statement.strText.starts_with(L"RETURN");
                });
                EXPECT_TRUE(std::any_of(it, itReturn,
                                        [&](const Statement& statement) { return statement.strText == strClear; }))
                    << procedure.strName << " rolls back and returns without clearing " << output.strName;
            }
        }
    }
}

void ExpectRerunnable(const Schema& upgrade, const std::vector<std::wstring>& existingProcedures)
{
    EXPECT_FALSE(upgrade.creations.empty());
    for (const Creation& creation : upgrade.creations) {
        EXPECT_EQ(creation.strGuard, creation.strName) << creation.strKind << " " << creation.strName << " in batch "
                                                       << creation.nBatch << " is not created only when it is missing";
    }
    for (const Constraint& constraint : upgrade.constraints)
        EXPECT_TRUE(constraint.bInline) << constraint.Describe() << " is added outside its CREATE TABLE";
    EXPECT_TRUE(upgrade.rows.empty());
    EXPECT_TRUE(upgrade.executions.empty());
    for (const Procedure& procedure : upgrade.procedures) {
        EXPECT_TRUE(procedure.bAlter) << procedure.strName;
        const bool bExisted = std::find(existingProcedures.begin(), existingProcedures.end(), procedure.strName) !=
                              existingProcedures.end();
        const bool bCreatedBefore =
            std::any_of(upgrade.creations.begin(), upgrade.creations.end(), [&procedure](const Creation& creation) {
                return creation.strKind == L"PROCEDURE" && creation.strName == procedure.strName &&
                       creation.nBatch < procedure.nBatch;
            });
        EXPECT_NE(bExisted, bCreatedBefore) << procedure.strName << " must either exist before the upgrade or be "
                                            << "created by an earlier batch of it";
    }
}

void ExpectSameProcedure(const Schema& upgrade, const Schema& creation, const std::wstring& strProcedure)
{
    const Procedure* pUpgrade = upgrade.FindProcedure(strProcedure);
    const Procedure* pCreation = creation.FindProcedure(strProcedure);
    if (pUpgrade == nullptr || pCreation == nullptr) {
        ADD_FAILURE() << strProcedure << " is missing from " << (pUpgrade == nullptr ? "the upgrade" : "the creation")
                      << " script";
        return;
    }
    EXPECT_FALSE(pCreation->bAlter) << strProcedure;
    EXPECT_FALSE(pCreation->strText.empty()) << strProcedure;
    EXPECT_EQ(pUpgrade->ParameterDescriptions(), pCreation->ParameterDescriptions()) << strProcedure;
    if (pUpgrade->strText == pCreation->strText)
        return;
    // Show where the two texts part, rather than two texts of a hundred thousand characters.
    const auto [itUpgrade, itCreation] = std::mismatch(pUpgrade->strText.begin(), pUpgrade->strText.end(),
                                                       pCreation->strText.begin(), pCreation->strText.end());
    const std::size_t offset = static_cast<std::size_t>(itUpgrade - pUpgrade->strText.begin());
    const std::size_t from = offset < 200 ? 0 : offset - 200;
    ADD_FAILURE() << strProcedure << " differs after token text offset " << offset << "\nupgrade:  ..."
                  << pUpgrade->strText.substr(from, 400) << "\ncreation: ..." << pCreation->strText.substr(from, 400);
    (void)itCreation;
}

void ExpectSameTable(const Schema& upgrade, const Schema& creation, const std::wstring& strTable)
{
    const Table* pUpgrade = upgrade.FindTable(strTable);
    const Table* pCreation = creation.FindTable(strTable);
    if (pUpgrade == nullptr || pCreation == nullptr) {
        ADD_FAILURE() << strTable << " is missing from " << (pUpgrade == nullptr ? "the upgrade" : "the creation")
                      << " script";
        return;
    }
    EXPECT_FALSE(pCreation->columns.empty()) << strTable;
    EXPECT_EQ(pUpgrade->ColumnDescriptions(), pCreation->ColumnDescriptions()) << strTable;
    EXPECT_EQ(Sorted(upgrade.ConstraintsOf(strTable)), Sorted(creation.ConstraintsOf(strTable))) << strTable;
}

} // namespace SchemaInspector
