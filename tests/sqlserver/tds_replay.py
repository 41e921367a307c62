"""The endpoint's replay: a statement that no rule of the script answers runs on the SQLite file that
the login names as its database, after the few T-SQL forms that this client's SQL Server dialect
writes are turned back into SQLite (len, CONVERT(date, ...), "+" of texts, table hints, OUTPUT
INSERTED.ID, SCOPE_IDENTITY(), the session SET statements, implicit transactions).

It answers as the server of its profile (tds_profile.py) would: text comparisons under the
columns' collations, the server's errors for conflicts, overlong values and bad dates, CHAR
columns padded, VARCHAR values through their code page, and scan warnings for the record. It
proves nothing about locking.
"""

import re
import sqlite3

from tds_profile import Analysis, Semantics, ServerError, code_page, compare_ci, compare_padded, parse_server_date


def split_statements(sql):
    parts, current, quote = [], "", None
    for ch in sql:
        if quote:
            current += ch
            if ch == quote:
                quote = None
        elif ch in ("'", '"'):
            quote = ch
            current += ch
        elif ch == ";":
            if current.strip():
                parts.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        parts.append(current.strip())
    return parts


# The bytes of the types that are not text, as sys.columns gives them.
FIXED_SIZES = {"bit": 1, "tinyint": 1, "smallint": 2, "int": 4, "bigint": 8, "real": 4, "float": 8,
               "smalldatetime": 4, "datetime": 8, "date": 3, "datetime2": 8, "money": 8}


def to_sqlite(sql):
    sql = re.sub(r"(?<![\w'])N'", "'", sql)  # national text literals
    sql = re.sub(r"\blen\s*\(", "length(", sql, flags=re.I)
    # A value converted to DATETIME on the parameter's side: SQLite keeps date-times as text.
    sql = re.sub(r"\bCAST\s*\(\s*(@\w+)\s+AS\s+DATETIME\s*\)", r"\1", sql, flags=re.I)
    sql = re.sub(r"\bCONVERT\s*\(\s*date\s*,", "date(", sql, flags=re.I)
    # The analysis's month and day texts, and its seconds between two times.
    sql = re.sub(r"\bCONVERT\s*\(\s*char\s*\(\s*(\d+)\s*\)\s*,\s*([^,()]+?)\s*,\s*120\s*\)",
                 r"substr(\2, 1, \1)", sql, flags=re.I)
    sql = re.sub(r"\bDATEDIFF\s*\(\s*second\s*,\s*([^,()]+?)\s*,\s*([^,()]+?)\s*\)",
                 r"tds_datediff_second(\1, \2)", sql, flags=re.I)
    sql = re.sub(r"\bDATEDIFF\s*\(\s*minute\s*,\s*([^,()]+?)\s*,\s*([^,()]+?)\s*\)",
                 r"tds_datediff_minute(\1, \2)", sql, flags=re.I)
    # A suite date that may be kept as text, taken only where ISDATE says it converts.
    sql = re.sub(r"\(CASE WHEN ISDATE\(CONVERT\(varchar\(30\), ([^,()]+?), 120\)\) = 1"
                 r" THEN CONVERT\(datetime, CONVERT\(varchar\(30\), \1, 120\)\) END\)",
                 r"tds_date_or_null(\1)", sql, flags=re.I)
    # The query hint means nothing to SQLite's planner.
    sql = re.sub(r"\s+OPTION\s*\(\s*RECOMPILE\s*\)", "", sql, flags=re.I)
    sql = re.sub(r"\s+WITH\s*\(\s*UPDLOCK\s*,\s*HOLDLOCK\s*\)", "", sql, flags=re.I)
    sql = re.sub(r"\bSCOPE_IDENTITY\s*\(\s*\)", "last_insert_rowid()", sql, flags=re.I)
    sql = re.sub(r"@@ROWCOUNT", "changes()", sql, flags=re.I)
    sql = re.sub(r"\bCAST\s*\(\s*(last_insert_rowid\(\))\s+AS\s+BIGINT\s*\)", r"\1", sql, flags=re.I)
    if re.search(r"\bOUTPUT\s+INSERTED\.ID\b", sql, flags=re.I):
        sql = re.sub(r"\s*\bOUTPUT\s+INSERTED\.ID\b", "", sql, flags=re.I) + " RETURNING ID"
    sql = re.sub(r"(?<=[\w')\]])\s+\+\s+(?=[\w'(])", " || ", sql)
    return sql


def sqlite_value(param):
    value = param.get("value")
    if value is None:
        return None
    if param.get("type") in ("datetime", "smalldatetime", "datetime2") and isinstance(value, str):
        return value.split(".")[0]
    if param.get("type") == "date" and isinstance(value, str):
        return value + " 00:00:00"
    if isinstance(value, bool):
        return int(value)
    return value


def sqlite_error(e):
    text = str(e)
    if "UNIQUE constraint" in text:
        return {"number": 2627, "message": "Violation of UNIQUE KEY constraint: " + text}
    if "NOT NULL constraint" in text:
        return {"number": 515, "message": "Cannot insert the value NULL: " + text}
    if "locked" in text or "busy" in text:
        return {"number": 1222, "message": "Lock request time out period exceeded."}
    return {"number": 50000, "message": "sqlite: " + text}


class SqliteWorld:
    """One client connection's view of its SQLite file, under a server profile."""

    def __init__(self, path, profile):
        self.db = sqlite3.connect(path, timeout=30, isolation_level=None, check_same_thread=False)
        self.implicit = False
        self.profile = profile
        self.semantics = Semantics(profile)
        self.pending = None  # the server's error that a function of ours met inside SQLite
        self.db.create_collation("TDS_CI", compare_ci)
        self.db.create_collation("TDS_CS", compare_padded)
        self.db.create_function("tds_datediff_second", 2, self.datediff_second, deterministic=True)
        self.db.create_function("tds_datediff_minute", 2, self.datediff_minute, deterministic=True)
        self.db.create_function("tds_date_or_null", 1, self.date_or_null, deterministic=True)

    def moments(self, start, end):
        """The two times of a DATEDIFF as the server converts them; 241 for a text that does not."""
        a, b = parse_server_date(str(start)), parse_server_date(str(end))
        if a is None or b is None or isinstance(a, int) or isinstance(b, int):
            self.pending = ServerError(241, "Conversion failed when converting date and/or time from character "
                                            "string.")
            raise ValueError("date")
        return a, b

    def datediff_minute(self, start, end):
        """Minute boundaries between two times, as DATEDIFF(minute, ...) counts them."""
        if start is None or end is None:
            return None
        a, b = self.moments(start, end)
        return int((b.replace(second=0, microsecond=0) - a.replace(second=0, microsecond=0)).total_seconds()) // 60

    @staticmethod
    def date_or_null(value):
        """CASE WHEN ISDATE(x) = 1 THEN CONVERT(datetime, x) END, in SQLite's stored form."""
        if value is None:
            return None
        moment = parse_server_date(str(value))
        if moment is None or isinstance(moment, int):
            return None
        return moment.strftime("%Y-%m-%d %H:%M:%S")

    def datediff_second(self, start, end):
        if start is None or end is None:
            return None
        a, b = self.moments(start, end)
        seconds = int((b.replace(microsecond=0) - a.replace(microsecond=0)).total_seconds())
        if not -2 ** 31 <= seconds < 2 ** 31:
            self.pending = ServerError(535, "The datediff function resulted in an overflow. The number of dateparts "
                                            "separating two date/time instances is too large. Try to use datediff "
                                            "with a less precise datepart.")
            raise ValueError("overflow")
        return seconds

    def in_transaction(self):
        return self.db.in_transaction

    def begin(self):
        if not self.db.in_transaction:
            self.db.execute("BEGIN IMMEDIATE")

    def end(self, commit):
        if self.db.in_transaction:
            self.db.execute("COMMIT" if commit else "ROLLBACK")

    def run(self, sql, params):
        """Runs a batch with its parameters ({"@P1": decoded parameter}). Returns the answers, each
        ("rows", columns, rows, declared columns) or ("count", n), and the scan warnings met."""
        answers, warnings = [], []
        for statement in split_statements(sql):
            upper = re.sub(r"\s+", " ", statement.upper())
            if upper.startswith("SET IMPLICIT_TRANSACTIONS"):
                self.implicit = upper.endswith(" ON")
                continue
            if upper.startswith("SET ") or upper.startswith("SP_DATATYPE_INFO") or upper.startswith("DECLARE "):
                continue
            if re.match(r"^(BEGIN TRAN|BEGIN TRANSACTION)\b", upper):
                self.begin()
                continue
            m = re.match(r"^(IF @@TRANCOUNT > 0 )?(COMMIT|ROLLBACK)\b", upper)
            if m:
                self.end(m.group(2) == "COMMIT")
                continue
            if re.search(r"\bsys\.columns\b", statement, re.I):
                answers.append(self.catalogue())
                continue
            if self.implicit:
                self.begin()
            answer, met = self.statement(statement, params)
            answers.append(answer)
            warnings += [(statement, w) for w in met]
        return answers, warnings

    def catalogue(self):
        """The client's read of its columns at connect (sys.columns, sys.types), answered from the
        profile as the server's catalogue would: base type, max_length in bytes (-1 for MAX),
        collation and its code page."""
        rows = []
        for table in self.profile.tables.values():
            for column in table.columns.values():
                if column.kind in ("text", "ntext"):
                    size = 16
                elif column.is_text:
                    size = -1 if column.length is None else column.length * (2 if column.wide else 1)
                else:
                    size = FIXED_SIZES.get(column.kind, 8)
                page = int(re.sub(r"\D", "", code_page(column.collation))) if column.collation else None
                rows.append([table.name, column.name, column.kind, size, column.collation, page])
        names = ["table_name", "column_name", "type_name", "max_length", "collation_name", "code_page"]
        return ("rows", names, rows, [None] * len(names))

    def statement(self, statement, params):
        analysis = Analysis(statement, self.profile)
        converted, warnings = self.semantics.check(analysis, params)
        warnings += self.semantics.scan_warnings(analysis)
        lite = to_sqlite(self.semantics.rewrite(analysis))
        values = {name: converted.get(name, sqlite_value(param)) for name, param in params.items()}
        used = {name.lstrip("@"): value for name, value in values.items() if re.search(re.escape(name) + r"\b", lite)}
        unique = self.unique_indexes(analysis)
        self.pending = None
        if unique:
            self.db.execute("SAVEPOINT tds_statement")
        try:
            cursor = self.db.execute(lite, used)
            if cursor.description:
                columns = [d[0] for d in cursor.description]
                answer = ("rows", columns, cursor.fetchall(), self.semantics.result_columns(analysis, columns))
            else:
                answer = ("count", max(cursor.rowcount, 0))
            for table, index, columns in unique:
                self.check_unique(table, index, columns)
        except Exception:
            if unique:
                self.db.execute("ROLLBACK TO tds_statement")
                self.db.execute("RELEASE tds_statement")
            if self.pending:
                raise self.pending
            raise
        if unique:
            self.db.execute("RELEASE tds_statement")
        return answer, warnings

    def unique_indexes(self, analysis):
        """The profile's unique indexes of the table an INSERT or UPDATE writes."""
        toks = analysis.tokens
        if not toks or toks[0].low not in ("insert", "update"):
            return []
        for t in toks:
            if t.kind == "table":
                table = self.profile.table(t.name())
                if table is None:
                    return []
                return [(table, index, columns) for index, columns in table.unique.items()]
        return []

    def check_unique(self, table, index, columns):
        """A unique index of the server holds under its collation: "A" and "a " are one key."""
        keys = ", ".join('"%s" COLLATE TDS_CI' % c if table.column(c) and table.column(c).is_text else '"%s"' % c
                         for c in columns)
        row = self.db.execute('SELECT %s FROM "%s" GROUP BY %s HAVING count(*) > 1 LIMIT 1' %
                              (", ".join('"%s"' % c for c in columns), table.name, keys)).fetchone()
        if row:
            raise ServerError(2601, "Cannot insert duplicate key row in object 'dbo.%s' with unique index '%s'. "
                                    "The duplicate key value is (%s)." % (table.name, index,
                                                                          ", ".join(str(v) for v in row)))
