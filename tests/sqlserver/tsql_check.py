#!/usr/bin/python3
"""Parses every SQL statement of TDS endpoint records as T-SQL with sqlglot (Debian's
python3-sqlglot).

    tsql_check.py [--require-nvarchar] RECORD.jsonl...

Prints one JSON object: the number of requests and of distinct statements, the statements that
do not parse (with sqlglot's message), the calls whose arguments do not match their declaration,
the statements with a bare OUTPUT clause (one without INTO fails with error 334 on a table that
has a trigger, and suite databases often have them), and, with --require-nvarchar, the text arguments that were not sent as NVARCHAR/NCHAR. Exits 1
when any of these lists is not empty, 2 when sqlglot is missing.

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
TEXT_TYPES = {"varchar", "char", "text", "nvarchar", "nchar", "ntext"}


def parse_error(sql):
    try:
        trees = sqlglot.parse(QUERY_HINT.sub("", TRANCOUNT_GUARD.sub("", OUTPUT_CLAUSE.sub("", sql))), read="tsql")
    except Exception as e:  # sqlglot's ParseError and TokenError
        return str(e).splitlines()[0] if str(e) else type(e).__name__
    if not any(tree is not None for tree in trees):
        return "no statement"
    return None


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
    report = {"requests": requests, "statements": len(statements), "unparsed": failures,
              "mismatched": mismatched, "bare_output": bare, "narrow_text": narrow[:50]}
    print(json.dumps(report, ensure_ascii=False, indent=1))
    return 1 if failures or mismatched or narrow or bare else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
