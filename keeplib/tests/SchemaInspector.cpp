#include "SchemaInspector.h"

#include "keeplib/DBScriptHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

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

    // A keyword is a word outside brackets and quotes, in any case; wszKeyword is upper case.
    bool IsKeyword(const wchar_t* wszKeyword, std::size_t ahead = 0) const
    {
        const Token& token = Peek(ahead);
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
        while (!cursor.AtEnd()) {
            if (cursor.IsKeyword(L"CREATE") && cursor.IsKeyword(L"TABLE", 1))
                ReadCreateTable(cursor);
            else if (cursor.IsKeyword(L"CREATE") && IsCreateIndex(cursor))
                ReadCreateIndex(cursor);
            else if (cursor.IsKeyword(L"ALTER") && cursor.IsKeyword(L"TABLE", 1))
                ReadAlterTable(cursor);
            else if (cursor.IsKeyword(L"GRANT"))
                ReadGrant(cursor);
            else if (cursor.IsKeyword(L"EXEC") || cursor.IsKeyword(L"EXECUTE"))
                ReadExecution(cursor);
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

    void ReadCreateTable(Cursor& cursor)
    {
        cursor.Next();
        cursor.Next();
        Table table;
        table.strName = cursor.Name();
        table.nBatch = m_nBatch;
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

    // EXEC procedure argument[, argument]: "sp_addrole VestrelQuarUser".
    void ReadExecution(Cursor& cursor)
    {
        cursor.Next();
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
        std::vector<Token> parameterTokens;
        Cursor body(rest);
        while (!body.AtEnd() && !body.IsKeyword(L"AS") && !body.IsKeyword(L"WITH") && !body.IsKeyword(L"FOR")) {
            if (body.IsPunctuation(L'(')) {
                parameterTokens.push_back(Token{L"(", false, false});
                for (const Token& token : body.Group())
                    parameterTokens.push_back(token);
                parameterTokens.push_back(Token{L")", false, false});
            } else {
                parameterTokens.push_back(body.Next());
            }
        }
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
