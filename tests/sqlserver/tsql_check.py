#!/usr/bin/python3
"""Parses every SQL statement of TDS endpoint records as T-SQL with sqlglot (Debian's
python3-sqlglot).

    tsql_check.py [--require-nvarchar] RECORD.jsonl...

Prints one JSON object: the number of requests and of distinct statements, the statements that
do not parse (with sqlglot's message), the calls whose arguments do not match their declaration,
the statements with a bare OUTPUT clause (one without INTO fails with error 334 on a table that
has a trigger, and suite databases often have them), and, with --require-nvarchar, the text
arguments that were not sent as NVARCHAR/NCHAR.

sqlglot reads much that SQL Server refuses, so three lists are drawn up besides: SQLite's own
syntax ("sqlite_only": ||, LIMIT, SUBSTR, LENGTH, IFNULL, GROUP_CONCAT, JULIANDAY, strftime,
TRUE/FALSE, double-quoted strings), what SQL Server 2008 R2 does not know yet ("too_new": IIF,
CONCAT, FORMAT, TRY_CONVERT, OFFSET ... FETCH, DATEDIFF_BIG, STRING_AGG, TRIM, GREATEST, ...), and
the columns named without their table in a query that reads more than one table ("unqualified":
such a name may resolve to another table than meant, or become ambiguous once a table gains a
column). Exits 1 when any list is not empty, 2 when sqlglot is missing.

sqlglot 10.6 does not know T-SQL's OUTPUT clause of INSERT/UPDATE/DELETE ("OUTPUT INSERTED.ID",
"... INTO @ids"), which SQL Server has accepted since 2005, nor a transaction statement under IF
("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"), nor the query hint at the end of a SELECT
("OPTION (RECOMPILE)", SQL Server 2005 and later); that clause, that guard and that hint alone
are taken out before parsing. Statements that the ODBC layer sends on its own (sp_datatype_info) are not ours and are
left out.
"""

import json
import re
import sys

try:
    import sqlglot
except ImportError:
    print(json.dumps({"error": "sqlglot is missing (Debian package python3-sqlglot)"}))
    sys.exit(2)

OUTPUT_CLAUSE = re.compile(
    r"\s+OUTPUT\s+(?:INSERTED|DELETED)\.\w+(?:\s*,\s*(?:INSERTED|DELETED)\.\w+)*(?:\s+INTO\s+@\w+(?:\s*\([^)]*\))?)?",
    re.IGNORECASE)
BARE_OUTPUT = re.compile(r"\bOUTPUT\s+(?:INSERTED|DELETED)\.\w+\b(?:\s*,\s*(?:INSERTED|DELETED)\.\w+\b)*(?!\s*,|\s+INTO\b)",
                         re.IGNORECASE)
TRANCOUNT_GUARD = re.compile(r"^\s*IF\s+@@TRANCOUNT\s*>\s*0\s+(?=(?:COMMIT|ROLLBACK)\b)", re.IGNORECASE)
QUERY_HINT = re.compile(r"\s+OPTION\s*\(\s*RECOMPILE\s*\)\s*$", re.IGNORECASE)
DRIVER_OWN = re.compile(r"^\s*sp_datatype_info", re.IGNORECASE)
STRING_LITERAL = re.compile(r"N?'(?:[^']|'')*'")
SQLITE_ONLY = [(re.compile(pattern, re.IGNORECASE), name) for pattern, name in [
    (r"\|\|", "||"), (r"\bLIMIT\b", "LIMIT"), (r"\bSUBSTR\s*\(", "SUBSTR("), (r"\bLENGTH\s*\(", "LENGTH("),
    (r"\bIFNULL\s*\(", "IFNULL("), (r"\bGROUP_CONCAT\b", "GROUP_CONCAT"), (r"\bJULIANDAY\b", "JULIANDAY"),
    (r"\bSTRFTIME\b", "strftime"), (r"\b(?:TRUE|FALSE)\b", "TRUE/FALSE"), (r'"[^"]*"', "double-quoted string"),
    (r"\bRETURNING\b", "RETURNING"), (r"\bAUTOINCREMENT\b", "AUTOINCREMENT")]]
TOO_NEW = [(re.compile(pattern, re.IGNORECASE), name) for pattern, name in [
    (r"\bIIF\s*\(", "IIF"), (r"\bCONCAT\s*\(", "CONCAT"), (r"\bCONCAT_WS\s*\(", "CONCAT_WS"),
    (r"\bFORMAT\s*\(", "FORMAT"), (r"\bTRY_(?:CONVERT|CAST|PARSE)\s*\(", "TRY_CONVERT"),
    (r"\bOFFSET\b[\s\S]*\bFETCH\b", "OFFSET ... FETCH"), (r"\bDATEDIFF_BIG\b", "DATEDIFF_BIG"),
    (r"\bSTRING_AGG\b", "STRING_AGG"), (r"\bSTRING_SPLIT\b", "STRING_SPLIT"), (r"\bTRIM\s*\(", "TRIM("),
    (r"\bGREATEST\s*\(", "GREATEST"), (r"\bLEAST\s*\(", "LEAST"), (r"\bEOMONTH\s*\(", "EOMONTH"),
    (r"\b(?:DATE|DATETIME)FROMPARTS\s*\(", "DATEFROMPARTS"), (r"\bCHOOSE\s*\(", "CHOOSE"),
    (r"\bTHROW\b", "THROW"), (r"\bPARSE\s*\(", "PARSE")]]
DATE_PARTS = {"year", "yy", "yyyy", "quarter", "qq", "month", "mm", "m", "day", "dd", "d", "week", "wk", "hour", "hh",
              "minute", "mi", "n", "second", "ss", "s", "millisecond", "ms", "dayofyear", "dy", "weekday", "dw"}
TEXT_TYPES = {"varchar", "char", "text", "nvarchar", "nchar", "ntext"}


def parse_error(sql):
    try:
        trees = sqlglot.parse(QUERY_HINT.sub("", TRANCOUNT_GUARD.sub("", OUTPUT_CLAUSE.sub("", sql))), read="tsql")
    except Exception as e:  # sqlglot's ParseError and TokenError
        return str(e).splitlines()[0] if str(e) else type(e).__name__
    if not any(tree is not None for tree in trees):
        return "no statement"
    return None


def foreign_syntax(sql):
    """The SQLite-only and the too-new forms in a statement, string literals left aside."""
    text = STRING_LITERAL.sub("''", sql)
    return ([name for pattern, name in SQLITE_ONLY if pattern.search(text)],
            [name for pattern, name in TOO_NEW if pattern.search(text)])


def unqualified_columns(sql):
    """Columns named without their table where the query (with the queries around it) reads more
    than one table."""
    from sqlglot import exp
    try:
        trees = sqlglot.parse(QUERY_HINT.sub("", TRANCOUNT_GUARD.sub("", OUTPUT_CLAUSE.sub("", sql))), read="tsql")
    except Exception:
        return []
    scope_kinds = (exp.Select, exp.Update, exp.Delete)
    found = []
    for tree in trees:
        if tree is None:
            continue
        scopes = [tree] if isinstance(tree, scope_kinds) else []
        scopes += [node for node in tree.find_all(*scope_kinds) if node is not tree]

        def scope_of(node):
            return node.find_ancestor(*scope_kinds)

        def derived(scope):
            """A query in FROM or JOIN: it sees no table of the query around it."""
            node = scope.parent
            while isinstance(node, (exp.Union, exp.Subquery, exp.Paren)):
                if isinstance(node, exp.Subquery) and isinstance(node.parent, (exp.From, exp.Join)):
                    return True
                node = node.parent
            return False

        def visible(scope):
            count = 0
            while scope is not None:
                count += sum(1 for table in scope.find_all(exp.Table) if scope_of(table) is scope)
                if derived(scope):
                    break
                scope = scope_of(scope)
            return count

        for scope in scopes:
            if visible(scope) < 2:
                continue
            aliases = {e.alias.lower() for e in scope.expressions if isinstance(e, exp.Alias)} \
                if isinstance(scope, exp.Select) else set()
            for column in scope.find_all(exp.Column):
                if scope_of(column) is not scope or column.table:
                    continue
                # The collation after COLLATE (DATABASE_DEFAULT, Chinese_PRC_CI_AS) is no column.
                if isinstance(column.parent, exp.Collate) and column.parent.expression is column:
                    continue
                name = column.name
                if not name or name.startswith("@") or name.lower() in aliases or name.lower() in DATE_PARTS:
                    continue
                found.append(name)
    return sorted(set(found))


def main(argv):
    require_nvarchar = "--require-nvarchar" in argv
    files = [a for a in argv if not a.startswith("--")]
    requests, statements, mismatched, narrow = 0, {}, [], []
    for path in files:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if not line.strip():
                    continue
                entry = json.loads(line)
                if entry.get("type") not in ("batch", "rpc"):
                    continue
                sql = entry.get("sql") or ""
                if not sql or DRIVER_OWN.match(sql):
                    continue
                requests += 1
                statements.setdefault(sql, entry)
                if entry.get("type") != "rpc":
                    continue
                arguments = entry.get("arguments", [])
                marks = set(re.findall(r"@P\d+\b", sql))
                if len(marks) != len(arguments):
                    mismatched.append({"sql": sql, "marks": len(marks), "arguments": len(arguments)})
                for argument in arguments:
                    if require_nvarchar and argument.get("type") in TEXT_TYPES and \
                            argument.get("type") not in ("nvarchar", "nchar"):
                        narrow.append({"sql": sql, "argument": argument.get("name"), "type": argument.get("type"),
                                       "declared": argument.get("declared_type")})
    failures = []
    for sql in statements:
        error = parse_error(sql)
        if error:
            failures.append({"sql": sql, "error": error})
    bare = [sql for sql in statements if BARE_OUTPUT.search(sql)]
    sqlite_only, too_new, unqualified = [], [], []
    for sql in statements:
        lite, new = foreign_syntax(sql)
        if lite:
            sqlite_only.append({"sql": sql, "forms": lite})
        if new:
            too_new.append({"sql": sql, "forms": new})
        columns = unqualified_columns(sql)
        if columns:
            unqualified.append({"sql": sql, "columns": columns})
    report = {"requests": requests, "statements": len(statements), "unparsed": failures,
              "mismatched": mismatched, "bare_output": bare, "narrow_text": narrow[:50],
              "sqlite_only": sqlite_only, "too_new": too_new, "unqualified": unqualified}
    print(json.dumps(report, ensure_ascii=False, indent=1))
    return 1 if failures or mismatched or narrow or bare or sqlite_only or too_new or unqualified else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
