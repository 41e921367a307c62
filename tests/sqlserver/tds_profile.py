"""Server profiles of the TDS endpoint: what a real SQL Server installation would make of a
statement that the replay runs on SQLite.

A profile (profiles/<name>.json) gives the database's default collation, the server's version and,
for each table this client touches, the declared type, length and collation of its columns:

    {
      "comment": "what real installation it stands for",
      "collation": "Chinese_PRC_CI_AS", "version": 2008,
      "tables": {
        "投诉信息": {"collation": "...",                      optional: the table's text columns
                     "columns": {"投诉编号": "nvarchar(20)",
                                 "GYD_DH": {"type": "char(10)", "collation": "Chinese_PRC_CI_AS"}},
                     "indexed": ["投诉编号", ...],               columns that lead an index
                     "unique": {"ux_投诉信息_投诉编号": ["投诉编号"]}}
      }
    }

A text column without a collation of its own takes its table's, else the database's. Names are
matched without regard to case, as the server matches them.

`analyse` reads a statement far enough to know its tables, aliases and column references, in which
clause each stands and what it is compared with; `Semantics` turns that into the server's answers:
collation conflicts (468), text dates that do not convert (241), dates out of DATETIME's range
(242), values longer than their column (8152, 2628 from 2019 on), characters that a VARCHAR's code
page cannot hold (stored as "?"), and the scan warnings that a real server would pay for in reads.
"""

import datetime
import json
import os
import re
import unicodedata

PROFILE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "profiles")

# Collation name prefix -> code page of its VARCHAR/CHAR columns.
CODE_PAGES = [("SQL_Latin1_General_CP1", "cp1252"), ("Latin1_General", "cp1252"), ("Chinese_PRC", "cp936"),
              ("Chinese_Taiwan", "cp950"), ("Japanese", "cp932")]

TEXT_KINDS = {"char", "varchar", "text", "nchar", "nvarchar", "ntext"}
WIDE_KINDS = {"nchar", "nvarchar", "ntext"}
DATE_KINDS = {"datetime", "smalldatetime"}
TEXT_PARAMETERS = {"nvarchar", "nchar", "ntext", "varchar", "char", "text"}
DATE_PARAMETERS = {"datetime", "datetime2", "smalldatetime", "date"}


class ServerError(Exception):
    def __init__(self, number, message):
        super().__init__(message)
        self.number = number
        self.message = message


def code_page(collation):
    for prefix, page in CODE_PAGES:
        if collation.lower().startswith(prefix.lower()):
            return page
    return "cp1252"


def ci_key(text):
    """The key of a text under a _CI_ collation: case and width do not count, nor trailing blanks."""
    return unicodedata.normalize("NFKC", text).casefold().rstrip(" ")


def compare_ci(a, b):
    a, b = ci_key(a), ci_key(b)
    return (a > b) - (a < b)


def compare_padded(a, b):
    """A case-sensitive comparison still ignores trailing blanks, as the server pads the shorter."""
    a, b = a.rstrip(" "), b.rstrip(" ")
    return (a > b) - (a < b)


def sqlite_collation(collation):
    return "TDS_CI" if "_CI" in collation.upper() else "TDS_CS"


class Column:
    def __init__(self, table, name, declared, collation):
        if isinstance(declared, str):
            declared = {"type": declared}
        m = re.match(r"\s*(\w+)\s*(?:\(\s*(\w+)\s*\))?\s*$", declared["type"])
        if not m:
            raise ValueError("column type %r of %s.%s is not understood" % (declared["type"], table, name))
        self.table, self.name = table, name
        self.kind = m.group(1).lower()
        size = m.group(2)
        self.length = None if not size or size.lower() == "max" else int(size)
        self.collation = declared.get("collation", collation) if self.kind in TEXT_KINDS else None

    @property
    def is_text(self):
        return self.kind in TEXT_KINDS

    @property
    def wide(self):
        return self.kind in WIDE_KINDS

    def wire_type(self):
        """The type named in a result's column description."""
        if self.kind in ("text", "ntext"):
            return ("nvarchar" if self.wide else "varchar") + "(max)"
        if self.is_text:
            return "%s(%s)" % (self.kind, self.length or "max")
        return self.kind

    def size_of(self, value):
        """The length the server counts: bytes of the code page, or UTF-16 units for the wide kinds."""
        if self.wide:
            return len(value.encode("utf-16-le")) // 2
        return len(value.encode(code_page(self.collation), errors="replace"))


class Table:
    def __init__(self, name, declared, collation):
        self.name = name
        own = declared.get("collation", collation)
        self.columns = {n.lower(): Column(name, n, s, own) for n, s in declared.get("columns", {}).items()}
        self.indexed = {n.lower() for n in declared.get("indexed", [])}
        self.unique = {index: [c for c in columns] for index, columns in declared.get("unique", {}).items()}

    def column(self, name):
        return self.columns.get(name.lower())


class Profile:
    def __init__(self, data, name=""):
        self.name = data.get("name", name)
        self.collation = data.get("collation", "Chinese_PRC_CI_AS")
        self.version = int(data.get("version", 2008))
        self.tables = {n.lower(): Table(n, s, self.collation) for n, s in data.get("tables", {}).items()}

    @staticmethod
    def load(name):
        """A profile by its name (a file of profiles/) or by the path of its file."""
        path = name if name.endswith(".json") else os.path.join(PROFILE_DIR, name + ".json")
        with open(path, encoding="utf-8") as f:
            return Profile(json.load(f), os.path.splitext(os.path.basename(path))[0])

    def table(self, name):
        return self.tables.get(name.lower().split(".")[-1])


# ----------------------------------------------------------------------------------------------
# Reading a statement

TOKEN = re.compile(r"""
    (?P<space>\s+|--[^\n]*)
  | (?P<string>N?'(?:[^']|'')*')
  | (?P<quoted>"(?:[^"]|"")*")
  | (?P<bracket>\[[^\]]*\])
  | (?P<param>@@?\w+)
  | (?P<number>\d+(?:\.\d+)?)
  | (?P<word>[^\W\d]\w*)
  | (?P<op><>|!=|<=|>=|\|\||[=<>+\-*/%,.();])
  | (?P<other>.)
""", re.X | re.S)

KEYWORDS = {
    "select", "from", "where", "group", "by", "having", "order", "on", "join", "inner", "left", "right", "outer",
    "full", "cross", "and", "or", "not", "in", "is", "null", "like", "escape", "between", "exists", "as", "asc",
    "desc", "distinct", "top", "union", "all", "case", "when", "then", "else", "end", "insert", "into", "values",
    "update", "set", "delete", "output", "inserted", "deleted", "with", "updlock", "holdlock", "rowlock", "nolock",
    "collate", "declare", "table", "if", "begin", "commit", "rollback", "transaction", "tran", "percent", "any",
    "some", "offset", "fetch", "next", "rows", "only", "limit", "default", "over", "partition", "exec", "execute",
    # type names and date parts, as they stand in CONVERT, CAST and DATEDIFF
    "date", "datetime", "datetime2", "smalldatetime", "char", "varchar", "nchar", "nvarchar", "text", "ntext",
    "int", "bigint", "smallint", "tinyint", "bit", "float", "real", "decimal", "numeric", "max", "second",
    "minute", "hour", "day", "week", "month", "quarter", "year", "ss", "mi", "hh", "dd", "mm", "yy", "yyyy",
}
CLAUSES = {"select": "select", "from": "from", "join": "from", "where": "where", "on": "on", "group": "group",
           "having": "having", "order": "order", "set": "set", "values": "values", "into": "into",
           "update": "update", "output": "output", "union": "select", "delete": "delete"}
PREDICATE_CLAUSES = {"where", "on", "having"}
COMPARISONS = {"=": "equal to", "<>": "not equal to", "!=": "not equal to", "<": "less than",
               ">": "greater than", "<=": "less than or equal to", ">=": "greater than or equal to"}


class Token:
    __slots__ = ("kind", "text", "start", "end", "scope", "clause", "depth", "function", "low")

    def __init__(self, kind, text, start, end):
        self.kind, self.text, self.start, self.end = kind, text, start, end
        self.low = text.lower()
        self.scope = self.clause = self.function = None
        self.depth = 0

    def name(self):
        return self.text[1:-1] if self.text.startswith("[") else self.text

    def is_name(self):
        return (self.kind == "word" and self.low not in KEYWORDS) or self.kind == "bracket"


class Ref:
    """A column reference: its first and last token, and the column it names (None if unknown)."""

    def __init__(self, first, last, column, explicit_collation):
        self.first, self.last, self.column = first, last, column
        self.explicit = explicit_collation


class Analysis:
    def __init__(self, sql, profile):
        self.sql = sql
        self.tokens = [Token(m.lastgroup, m.group(), m.start(), m.end()) for m in TOKEN.finditer(sql)
                       if m.lastgroup != "space"]
        self.profile = profile
        self.scopes = {0: None}           # scope -> parent scope
        self.aliases = {0: {}}            # scope -> alias or table name (lower) -> Table or None
        self.tables = {0: []}             # scope -> [Table] in the order they stand
        self.refs = []
        self.by_last = {}
        self.by_first = {}
        self._walk()
        self._find_tables()
        self._find_refs()

    def _walk(self):
        stack, scope, clause, functions = [], 0, {0: None}, []
        toks = self.tokens
        for i, t in enumerate(toks):
            if t.kind == "word" and t.low in CLAUSES:
                clause[scope] = CLAUSES[t.low]
            t.scope, t.clause, t.depth = scope, clause[scope], len(stack)
            t.function = functions[-1] if functions else None
            if t.text == "(":
                opens_scope = i + 1 < len(toks) and toks[i + 1].low == "select"
                before = toks[i - 1] if i else None
                function = before.low if before is not None and before.kind == "word" and \
                    (before.low not in KEYWORDS or before.low in ("left", "right")) else None
                stack.append((scope, functions[:]))
                if opens_scope:
                    new = len(self.scopes)
                    self.scopes[new], self.aliases[new], self.tables[new] = scope, {}, []
                    clause[new] = None
                    scope, functions = new, []
                elif function:
                    functions = functions + [function]
            elif t.text == ")" and stack:
                scope, functions = stack.pop()
                t.scope, t.clause, t.depth = scope, clause[scope], len(stack)

    def _table_at(self, i):
        """The table named from token i (dbo.x or x): (Table or None, index after it)."""
        toks = self.tokens
        if i >= len(toks) or not (toks[i].is_name() or toks[i].kind == "table"):
            return None, i
        name = toks[i].name()
        j = i + 1
        while j + 1 < len(toks) and toks[j].text == "." and (toks[j + 1].is_name() or toks[j + 1].kind == "table"):
            name = toks[j + 1].name()
            j += 2
        return name, j

    def _find_tables(self):
        toks = self.tokens
        for i, t in enumerate(toks):
            starts = (t.kind == "word" and t.low in ("from", "join", "update", "into")) or \
                (t.text == "," and t.clause == "from" and toks[i].depth == self._scope_depth(t.scope))
            if not starts:
                continue
            name, j = self._table_at(i + 1)
            if name is None:
                continue
            table = self.profile.table(name) if self.profile else None
            scope = toks[i + 1].scope
            self.tables[scope].append(table)
            self.aliases[scope][name.lower()] = table
            for tok in toks[i + 1:j]:
                tok.kind = "table"
            if j < len(toks) and toks[j].low == "as":
                j += 1
            if j < len(toks) and toks[j].is_name() and t.low != "into":
                self.aliases[scope][toks[j].name().lower()] = table
                toks[j].kind = "table"
        # Aliases of derived tables: "(SELECT ...) x" stand for no table of the profile.
        for i, t in enumerate(toks):
            if t.text == ")" and t.clause == "from" and i + 1 < len(toks):
                j = i + 2 if toks[i + 1].low == "as" else i + 1
                if j < len(toks) and toks[j].is_name():
                    self.aliases[t.scope][toks[j].name().lower()] = None
                    toks[j].kind = "table"

    def _scope_depth(self, scope):
        for t in self.tokens:
            if t.scope == scope:
                return t.depth
        return 0

    def _chain(self, scope):
        while scope is not None:
            yield scope
            scope = self.scopes[scope]

    def _resolve(self, qualifier, name, scope):
        for s in self._chain(scope):
            if qualifier is not None:
                if qualifier.lower() in self.aliases[s]:
                    table = self.aliases[s][qualifier.lower()]
                    return table.column(name) if table else None
                continue
            for table in self.tables[s]:
                if table and table.column(name):
                    return table.column(name)
        return None

    def _find_refs(self):
        toks = self.tokens
        i = 0
        while i < len(toks):
            t = toks[i]
            if not t.is_name() or (i and toks[i - 1].low in ("as", "collate", ".")) or \
                    (i + 1 < len(toks) and toks[i + 1].text == "("):
                i += 1
                continue
            qualifier, last = None, i
            if i + 2 < len(toks) and toks[i + 1].text == "." and toks[i + 2].is_name():
                qualifier, last = t.name(), i + 2
            column = self._resolve(qualifier, toks[last].name(), t.scope)
            explicit = last + 1 < len(toks) and toks[last + 1].low == "collate"
            ref = Ref(i, last, column, explicit)
            self.refs.append(ref)
            self.by_first[i], self.by_last[last] = ref, ref
            i = last + 1

    def comparisons(self):
        """(left, operator, right) for each comparison; each side a Ref, a parameter or a string token."""
        toks = self.tokens
        found = []

        def operand_before(i):
            if i < 0:
                return None
            if i in self.by_last:
                return self.by_last[i]
            return toks[i] if toks[i].kind in ("param", "string") else None

        def operand_after(i):
            if i >= len(toks):
                return None
            if i in self.by_first:
                return self.by_first[i]
            return toks[i] if toks[i].kind in ("param", "string") else None

        for i, t in enumerate(toks):
            if t.text in COMPARISONS and t.clause not in ("set", "values") and \
                    not (t.text == "=" and i >= 1 and toks[i - 1].kind == "param" and t.clause is None):
                left, right = operand_before(i - 1), operand_after(i + 1)
                if left is not None and right is not None:
                    found.append((left, COMPARISONS[t.text], right))
            elif t.low in ("in", "like") and i + 1 < len(toks):
                left = operand_before(i - 1)
                if left is None or not isinstance(left, Ref):
                    continue
                if t.low == "like":
                    right = operand_after(i + 1)
                    if right is not None:
                        found.append((left, "like", right))
                    continue
                if toks[i + 1].text != "(":
                    continue
                j = i + 2
                if j < len(toks) and toks[j].low == "select":
                    right = operand_after(j + 1)
                    if isinstance(right, Ref):
                        found.append((left, "equal to", right))
                    continue
                depth = toks[i + 1].depth
                while j < len(toks) and not (toks[j].text == ")" and toks[j].depth == depth):
                    operand = operand_after(j)
                    if operand is not None and toks[j].depth == depth + 1:
                        found.append((left, "equal to", operand))
                    j += 1
        return found

    def assignments(self):
        """(Column, parameter name) for each column that an INSERT or UPDATE sets from a parameter."""
        toks = self.tokens
        pairs = []
        if not toks:
            return pairs
        first = toks[0].low
        if first == "insert":
            name, j = self._table_at(2 if len(toks) > 1 and toks[1].low == "into" else 1)
            table = self.profile.table(name) if name and self.profile else None
            if not table or j >= len(toks) or toks[j].text != "(":
                return pairs
            columns, j = self._list(j)
            while j < len(toks) and toks[j].low != "values":
                j += 1
            if j + 1 >= len(toks):
                return pairs
            values, _ = self._list(j + 1)
            for column, value in zip(columns, values):
                if len(column) == 1 and len(value) == 1 and value[0].kind == "param" and table.column(column[0].name()):
                    pairs.append((table.column(column[0].name()), value[0].text))
        elif first == "update":
            name, j = self._table_at(1)
            table = self.profile.table(name) if name and self.profile else None
            while j < len(toks) and toks[j].low != "set":
                j += 1
            if not table:
                return pairs
            j += 1
            item = []
            while j <= len(toks):
                t = toks[j] if j < len(toks) else None
                if t is None or (t.depth == 0 and (t.text == "," or t.low in ("where", "from", "output"))):
                    if len(item) == 3 and item[1].text == "=" and item[2].kind == "param" and \
                            table.column(item[0].name()):
                        pairs.append((table.column(item[0].name()), item[2].text))
                    item = []
                    if t is None or t.text != ",":
                        break
                else:
                    item.append(t)
                j += 1
        return pairs

    def _list(self, j):
        """The comma-separated items of the parenthesis opened at token j, and the index after it."""
        toks = self.tokens
        depth = toks[j].depth
        items, item = [], []
        j += 1
        while j < len(toks) and not (toks[j].text == ")" and toks[j].depth == depth):
            if toks[j].text == "," and toks[j].depth == depth + 1:
                items.append(item)
                item = []
            else:
                item.append(toks[j])
            j += 1
        items.append(item)
        return items, j + 1

    def statement_columns(self):
        """Every column of every table the statement names, by lower-case name."""
        columns = {}
        for tables in self.tables.values():
            for table in tables:
                if table:
                    for key, column in table.columns.items():
                        columns.setdefault(key, []).append(column)
        return columns


# ----------------------------------------------------------------------------------------------
# What the server would answer


def parse_server_date(text):
    """A text as the server converts it to DATETIME: the moment, or None when it does not convert."""
    text = text.strip()
    for fmt in ("%Y-%m-%d %H:%M:%S.%f", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d",
                "%Y/%m/%d %H:%M:%S", "%Y/%m/%d %H:%M", "%Y/%m/%d", "%Y.%m.%d", "%Y%m%d"):
        try:
            return datetime.datetime.strptime(text, fmt)
        except ValueError:
            pass
    m = re.match(r"^(\d{1,5})-(\d{1,2})-(\d{1,2})", text)
    if m and 1 <= int(m.group(2)) <= 12 and 1 <= int(m.group(3)) <= 31:
        return int(m.group(1))  # a year that datetime cannot hold
    return None


def year_of(moment):
    return moment if isinstance(moment, int) else moment.year


class Semantics:
    def __init__(self, profile):
        self.profile = profile

    def truncation(self, column, value):
        if self.profile.version >= 2019:
            shown = value[:40]
            return ServerError(2628, "String or binary data would be truncated in table '%s', column '%s'. "
                                     "Truncated value: '%s'." % (column.table, column.name, shown))
        return ServerError(8152, "String or binary data would be truncated.")

    def date_for(self, column, param, type_name):
        """Checks a value bound for a DATETIME column: 241 when a text does not convert, 242 out of range."""
        value = param.get("value")
        if value is None:
            return
        if param.get("type") in TEXT_PARAMETERS:
            moment = parse_server_date(str(value))
            if moment is None:
                raise ServerError(241, "Conversion failed when converting date and/or time from character string.")
        else:
            moment = parse_server_date(str(value))
            if moment is None:
                return
        if not 1753 <= year_of(moment) <= 9999:
            raise ServerError(242, "The conversion of a %s data type to a datetime data type resulted in an "
                                   "out-of-range value." % type_name)

    def check(self, analysis, params):
        """Raises the server's error for the statement, or returns (values to bind instead, warnings)."""
        values, warnings = {}, []
        for left, operation, right in analysis.comparisons():
            self._compare(analysis, left, operation, right, params, warnings)
        for column, name in analysis.assignments():
            param = params.get(name)
            if param is None or param.get("value") is None:
                continue
            if column.is_text and isinstance(param["value"], str):
                value = param["value"]
                if not column.wide:
                    page = code_page(column.collation)
                    value = value.encode(page, errors="replace").decode(page)
                if column.length is not None and column.size_of(value) > column.length:
                    raise self.truncation(column, value)
                if value != param["value"]:
                    values[name] = value
            elif column.kind in DATE_KINDS:
                self.date_for(column, param, param.get("type", "nvarchar"))
        return values, warnings

    def _compare(self, analysis, left, operation, right, params, warnings):
        sides = [left, right]
        refs = [s for s in sides if isinstance(s, Ref) and s.column is not None]
        if len(refs) == 2 and all(r.column.is_text for r in refs) and not any(r.explicit for r in refs):
            a, b = refs[0].column.collation, refs[1].column.collation
            if a.lower() != b.lower():
                raise ServerError(468, 'Cannot resolve the collation conflict between "%s" and "%s" in the %s '
                                       'operation.' % (a, b, operation))
        if len(refs) != 1:
            return
        column = refs[0].column
        other = right if refs[0] is left else left
        if not isinstance(other, Token) or other.kind != "param":
            return
        param = params.get(other.text)
        if param is None:
            return
        if column.kind in DATE_KINDS and param.get("type") in TEXT_PARAMETERS and param.get("value") is not None:
            if parse_server_date(str(param["value"])) is None:
                raise ServerError(241, "Conversion failed when converting date and/or time from character string.")
        if column.is_text and not column.wide and column.collation.upper().startswith("SQL_") and \
                param.get("type") in ("nvarchar", "nchar", "ntext"):
            warnings.append("an NVARCHAR parameter is compared with %s.%s, %s under %s: the column is converted "
                            "and its index is scanned, not sought" % (column.table, column.name, column.kind.upper(),
                                                                       column.collation))

    def scan_warnings(self, analysis):
        """Predicates that wrap an indexed column of the complaint register in a function."""
        warnings = []
        for ref in analysis.refs:
            column = ref.column
            token = analysis.tokens[ref.first]
            if column is None or token.clause not in PREDICATE_CLAUSES or token.function is None:
                continue
            table = self.profile.table(column.table)
            if table and table.name == "投诉信息" and column.name.lower() in table.indexed:
                warnings.append("the indexed column %s.%s is wrapped in %s() in a predicate: its index is scanned, "
                                "not sought" % (column.table, column.name, token.function.upper()))
        return warnings

    def rewrite(self, analysis):
        """The statement with the server's comparison rules made explicit for SQLite: every text column
        compared, grouped or joined carries its collation, every COLLATE names one of ours, and a text
        literal without N passes through the database's code page."""
        toks = analysis.tokens
        compared = set()
        for left, _, right in analysis.comparisons():
            for side in (left, right):
                if isinstance(side, Ref):
                    compared.add(side.last)
        edits = []
        page = code_page(self.profile.collation)
        for i, t in enumerate(toks):
            if t.kind == "string" and not t.text.startswith("N"):
                body = t.text[1:-1]
                converted = body.encode(page, errors="replace").decode(page)
                if converted != body:
                    edits.append((t.start, t.end, "'" + converted + "'"))
            elif i and toks[i - 1].low == "collate" and t.kind == "word":
                name = self.profile.collation if t.low == "database_default" else t.text
                edits.append((t.start, t.end, sqlite_collation(name)))
        distinct = self._distinct_items(analysis)
        for ref in analysis.refs:
            column = ref.column
            if column is None or not column.is_text or ref.explicit:
                continue
            end = toks[ref.last].end
            collate = " COLLATE " + sqlite_collation(column.collation)
            if ref.first in distinct:
                edits.append((end, end, collate + " AS " + toks[ref.last].text))
            elif toks[ref.first].clause in PREDICATE_CLAUSES or toks[ref.first].clause == "group" or \
                    ref.last in compared or (toks[ref.first].function == "count" and ref.first - 1 in distinct):
                edits.append((end, end, collate))
        sql = analysis.sql
        for start, end, text in sorted(edits, key=lambda e: e[0], reverse=True):
            sql = sql[:start] + text + sql[end:]
        return sql

    @staticmethod
    def _distinct_items(analysis):
        """The first tokens of the plain column references that make up a SELECT DISTINCT item,
        and the DISTINCT tokens of COUNT(DISTINCT ...)."""
        toks = analysis.tokens
        found = set()
        for i, t in enumerate(toks):
            if t.low != "distinct" or not i:
                continue
            if toks[i - 1].text == "(":
                found.add(i)
                continue
            if toks[i - 1].low != "select":
                continue
            j = i + 1
            while j < len(toks) and not (toks[j].low == "from" and toks[j].depth == t.depth):
                ref = analysis.by_first.get(j)
                alone = ref is not None and ref.last + 1 < len(toks) and toks[ref.last + 1].low in (",", "from") \
                    and (toks[j - 1].text == "," or toks[j - 1].low == "distinct")
                if alone:
                    found.add(j)
                j += 1
        return found

    def result_columns(self, analysis, names):
        """The declared column of each result column that names one, else None."""
        columns = analysis.statement_columns()
        declared = []
        for name in names:
            candidates = columns.get(name.lower(), [])
            kinds = {(c.wire_type(), c.collation) for c in candidates}
            declared.append(candidates[0] if len(kinds) == 1 else None)
        return declared
