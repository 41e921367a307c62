-- Complaint tables and indexes of the complaint client for a suite database (SQL Server).
--
-- Run it once on the suite's database, as a login that may create tables and indexes:
--
--     sqlcmd -S dbserver\SQLEXPRESS -d 物业 -U sa -f 65001 -i db/sqlserver.sql
--
-- (-f 65001: the file is UTF-8; without it sqlcmd reads the Chinese names in the legacy code page.)
-- Then check the database with `tavimor-complaints --check-database`.
--
-- The suite's own tables (employees, departments, posts, privileges, property register) are
-- maintained by the suite and are not created here. Each table is created only when missing, each
-- column of a later version is added only when missing and each index only when that index is
-- missing, so the script may be run again at any time, also on a database whose complaint tables
-- an older version (or the suite's own scripts) created. The unique index on 投诉编号 is created
-- only when the stored codes are already unique; otherwise the script lists the codes that repeat,
-- and the index follows on a later run once they are put right.
--
-- The code columns that the client compares with the suite's (department, post and office codes)
-- are created with the collation of their suite counterparts, read from sys.columns, so that a
-- database whose default collation is not the suite's needs no conversion. Existing columns are
-- left as they are: the client's statements compare such columns under the database's collation.

-- The collation clause of each suite column that a complaint code column is compared with, for
-- the CREATE TABLE batches below (a temporary table lasts for the whole script's session).
IF OBJECT_ID(N'tempdb..#套件排序规则') IS NOT NULL DROP TABLE #套件排序规则;
CREATE TABLE #套件排序规则 (标记 NVARCHAR(20) NOT NULL PRIMARY KEY, 子句 NVARCHAR(200) NOT NULL);
INSERT INTO #套件排序规则 (标记, 子句)
SELECT 列.标记, COALESCE(N' COLLATE ' + c.collation_name, N'')
FROM (SELECT N'{部门}' AS 标记, N'dbo.职能部门new' AS 表, N'职能部门编号' AS 列名
      UNION ALL SELECT N'{岗位}', N'dbo.岗位信息new', N'岗位代号'
      UNION ALL SELECT N'{管理处}', N'dbo.设置管理处', N'GYD_DH') AS 列
LEFT JOIN sys.columns c ON c.object_id = OBJECT_ID(列.表) AND c.name = 列.列名;
GO

IF OBJECT_ID(N'dbo.投诉类别', N'U') IS NULL
CREATE TABLE dbo.投诉类别 (
    id   INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
    编号 NVARCHAR(20)  NULL,
    类别 NVARCHAR(100) NULL
);
GO

IF OBJECT_ID(N'dbo.投诉方式', N'U') IS NULL
CREATE TABLE dbo.投诉方式 (
    id   INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
    编号 NVARCHAR(20)  NULL,
    方式 NVARCHAR(100) NULL
);
GO

IF OBJECT_ID(N'dbo.投诉信息', N'U') IS NULL
BEGIN
    DECLARE @sql NVARCHAR(MAX);
    SET @sql = N'CREATE TABLE dbo.投诉信息 (
    ID         INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
    投诉编号   NVARCHAR(20)   NOT NULL,
    流水号     INT            NOT NULL,
    部门编号   NVARCHAR(20)   {部门} NULL,
    部门名称   NVARCHAR(100)  NULL,
    管理处代号 NVARCHAR(20)   {管理处} NULL,
    S_ID       INT            NULL,
    投诉人     NVARCHAR(100)  NULL,
    地址       NVARCHAR(200)  NULL,
    联系电话   NVARCHAR(100)  NULL,
    联系电话号码 NVARCHAR(100) NULL,
    投诉类别   NVARCHAR(100)  NULL,
    投诉方式   NVARCHAR(100)  NULL,
    投诉时间   DATETIME       NULL,
    投诉内容   NVARCHAR(MAX)  NULL,
    接待人     NVARCHAR(50)   NULL,
    处理状态   NVARCHAR(20)   NULL,
    处理结果   NVARCHAR(MAX)  NULL,
    处理时间   DATETIME       NULL,
    调查情况   NVARCHAR(MAX)  NULL,
    回访人     NVARCHAR(50)   NULL,
    回访时间   DATETIME       NULL,
    结果满意度 NVARCHAR(50)   NULL,
    撤销时间   DATETIME       NULL
)';
    SET @sql = REPLACE(@sql, N'{部门}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{部门}'));
    SET @sql = REPLACE(@sql, N'{管理处}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{管理处}'));
    EXEC (@sql);
END
GO

IF OBJECT_ID(N'dbo.投诉信息处理', N'U') IS NULL
BEGIN
    DECLARE @sql NVARCHAR(MAX);
    SET @sql = N'CREATE TABLE dbo.投诉信息处理 (
    ID           INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
    投诉编号     NVARCHAR(20)  NOT NULL,
    处理部门     NVARCHAR(20)  {部门} NULL,
    处理岗位     NVARCHAR(20)  {岗位} NULL,
    处理意见     NVARCHAR(MAX) NULL,
    处理结果     NVARCHAR(MAX) NULL,
    顺序号       INT           NULL,
    接受时间     DATETIME      NULL,
    处理结束时间 DATETIME      NULL
)';
    SET @sql = REPLACE(@sql, N'{部门}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{部门}'));
    SET @sql = REPLACE(@sql, N'{岗位}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{岗位}'));
    EXEC (@sql);
END
GO

IF OBJECT_ID(N'dbo.投诉处理人设置', N'U') IS NULL
BEGIN
    DECLARE @sql NVARCHAR(MAX);
    SET @sql = N'CREATE TABLE dbo.投诉处理人设置 (
    ID           INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
    管理处代号   NVARCHAR(20)  {管理处} NULL,
    职能部门代号 NVARCHAR(20)  {部门} NULL,
    岗位代号     NVARCHAR(20)  {岗位} NULL,
    设置日期     DATETIME      NULL,
    终止日期     DATETIME      NULL,
    备注         NVARCHAR(200) NULL
)';
    SET @sql = REPLACE(@sql, N'{部门}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{部门}'));
    SET @sql = REPLACE(@sql, N'{岗位}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{岗位}'));
    SET @sql = REPLACE(@sql, N'{管理处}', (SELECT 子句 FROM #套件排序规则 WHERE 标记 = N'{管理处}'));
    EXEC (@sql);
END
GO

-- Columns of later versions, added to tables that exist already.

-- The telephone's digits beside the telephone as typed (the client writes both with every save):
-- a household's history is a seek of ix_投诉信息_电话号码, not an expression over every complaint.
IF COL_LENGTH(N'dbo.投诉信息', N'联系电话号码') IS NULL
    ALTER TABLE dbo.投诉信息 ADD 联系电话号码 NVARCHAR(100) NULL;
GO

-- The digits of the telephones saved before the column existed, as the client reduces them: every
-- character that is not 0-9 goes (the usual separators at once, the rest one by one), then China's
-- country code: a leading 0086, a leading 86 after a "+", and a bare 86 before a whole number (an
-- 11-digit mobile number, or an area code without its 0 and the number); an area code written
-- without its 0 after the country code gets it back.
IF EXISTS (SELECT 1 FROM dbo.投诉信息 WHERE 联系电话号码 IS NULL AND 联系电话 IS NOT NULL)
BEGIN
    SET NOCOUNT ON;
    CREATE TABLE #待填 (ID INT NOT NULL PRIMARY KEY);
    INSERT INTO #待填 (ID) SELECT ID FROM dbo.投诉信息 WHERE 联系电话号码 IS NULL AND 联系电话 IS NOT NULL;
    UPDATE t SET 联系电话号码 =
        REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(
            t.联系电话, N' ', N''), N'-', N''), N'(', N''), N')', N''), N'+', N''), N'.', N''), N'/', N''),
            N'－', N''), N'（', N''), N'）', N''), N'　', N'')
    FROM dbo.投诉信息 t INNER JOIN #待填 f ON f.ID = t.ID;
    WHILE 1 = 1
    BEGIN
        UPDATE TOP (10000) t
            SET 联系电话号码 = STUFF(t.联系电话号码, PATINDEX(N'%[^0-9]%', t.联系电话号码 COLLATE Latin1_General_BIN), 1, N'')
        FROM dbo.投诉信息 t INNER JOIN #待填 f ON f.ID = t.ID
        WHERE PATINDEX(N'%[^0-9]%', t.联系电话号码 COLLATE Latin1_General_BIN) > 0;
        IF @@ROWCOUNT = 0 BREAK;
    END
    UPDATE t SET 联系电话号码 = CASE
            WHEN r.国内 IS NULL THEN NULLIF(t.联系电话号码, N'')
            WHEN (LEN(r.国内) = 10 AND (r.国内 LIKE N'10%' OR r.国内 LIKE N'2%'))
              OR (LEN(r.国内) IN (10, 11) AND r.国内 LIKE N'[3-9]%') THEN N'0' + r.国内
            ELSE r.国内 END
    FROM dbo.投诉信息 t
    INNER JOIN #待填 f ON f.ID = t.ID
    CROSS APPLY (SELECT CASE
            WHEN t.联系电话号码 LIKE N'86%' AND CHARINDEX(N'+', t.联系电话) > 0
                 AND CHARINDEX(N'+', t.联系电话) < PATINDEX(N'%[0-9]%', t.联系电话) THEN SUBSTRING(t.联系电话号码, 3, 100)
            WHEN t.联系电话号码 LIKE N'0086%' THEN SUBSTRING(t.联系电话号码, 5, 100)
            WHEN (LEN(t.联系电话号码) = 13 AND t.联系电话号码 LIKE N'861%')
              OR (LEN(t.联系电话号码) = 12 AND (t.联系电话号码 LIKE N'8610%' OR t.联系电话号码 LIKE N'862%'))
              OR (LEN(t.联系电话号码) IN (12, 13) AND t.联系电话号码 LIKE N'86[3-9]%') THEN SUBSTRING(t.联系电话号码, 3, 100)
            END AS 国内) r;
    DROP TABLE #待填;
    SET NOCOUNT OFF;
END
GO

-- Indexes, each on its own.

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ux_投诉信息_投诉编号')
BEGIN
    IF EXISTS (SELECT 1 FROM dbo.投诉信息 GROUP BY 投诉编号 HAVING COUNT(*) > 1)
    BEGIN
        PRINT N'ux_投诉信息_投诉编号 没有建立：下列投诉编号重复出现，请先改正，再运行本脚本。';
        SELECT 投诉编号, COUNT(*) AS 条数 FROM dbo.投诉信息 GROUP BY 投诉编号 HAVING COUNT(*) > 1 ORDER BY 投诉编号;
    END
    ELSE
        CREATE UNIQUE INDEX ux_投诉信息_投诉编号 ON dbo.投诉信息 (投诉编号);
END
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_流水号')
    CREATE INDEX ix_投诉信息_流水号 ON dbo.投诉信息 (流水号);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_部门时间')
    CREATE INDEX ix_投诉信息_部门时间 ON dbo.投诉信息 (部门编号, 投诉时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_管理处')
    CREATE INDEX ix_投诉信息_管理处 ON dbo.投诉信息 (管理处代号, 处理时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息处理') AND name = N'ix_投诉信息处理_投诉')
    CREATE INDEX ix_投诉信息处理_投诉 ON dbo.投诉信息处理 (投诉编号, 顺序号);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息处理') AND name = N'ix_投诉信息处理_岗位')
    CREATE INDEX ix_投诉信息处理_岗位 ON dbo.投诉信息处理 (处理岗位, 处理部门, 处理结束时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉处理人设置') AND name = N'ix_投诉处理人设置_管理处')
    CREATE INDEX ix_投诉处理人设置_管理处 ON dbo.投诉处理人设置 (管理处代号);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉处理人设置') AND name = N'ix_投诉处理人设置_岗位')
    CREATE INDEX ix_投诉处理人设置_岗位 ON dbo.投诉处理人设置 (职能部门代号, 岗位代号);
GO

-- Follow-up visits: the finished complaints still waiting for one, and the recent ones.
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_回访')
    CREATE INDEX ix_投诉信息_回访 ON dbo.投诉信息 (部门编号, 回访时间, 处理时间);
GO

-- The analysis: a department's complaints over a period, counted from the index alone; every
-- department's; the open steps of every post.
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_分析')
    CREATE INDEX ix_投诉信息_分析 ON dbo.投诉信息 (部门编号, 投诉时间)
        INCLUDE (处理状态, 处理时间, 撤销时间, 投诉类别, 投诉方式, 管理处代号, 回访时间, 结果满意度);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_投诉时间')
    CREATE INDEX ix_投诉信息_投诉时间 ON dbo.投诉信息 (投诉时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息处理') AND name = N'ix_投诉信息处理_结束时间')
    CREATE INDEX ix_投诉信息处理_结束时间 ON dbo.投诉信息处理 (处理结束时间);
GO

-- The register: a department's unfinished complaints, and its search by complainant (the name
-- is matched in the index, only the complaints found are read).
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_部门处理')
    CREATE INDEX ix_投诉信息_部门处理 ON dbo.投诉信息 (部门编号, 处理时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_投诉人')
    CREATE INDEX ix_投诉信息_投诉人 ON dbo.投诉信息 (部门编号, 撤销时间, 投诉人);
GO

-- A household's earlier complaints at reception: by room, and for a typed address by the
-- telephone's digits.
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_室')
    CREATE INDEX ix_投诉信息_室 ON dbo.投诉信息 (S_ID, 投诉时间);
GO

IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.投诉信息') AND name = N'ix_投诉信息_电话号码')
    CREATE INDEX ix_投诉信息_电话号码 ON dbo.投诉信息 (联系电话号码, 撤销时间);
GO
