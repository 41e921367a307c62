-- Embedded (SQLite) database of the complaint client: the suite tables it reads and the complaint
-- tables it owns. This is the current schema; a file made by an earlier version of the program is
-- brought up to it when it is opened (src/data/SchemaUpgrade.cpp), and the version set at the end
-- is that of the last upgrade step. Date-times are stored as text "yyyy-MM-dd HH:mm:ss", so that
-- text order is time order. Flags are integers 0/1.

-- Organisation ---------------------------------------------------------------------------------

CREATE TABLE 员工档案 (
    工号       TEXT PRIMARY KEY,
    姓名       TEXT NOT NULL,
    帐号密码   TEXT,
    离职日期   TEXT
);

CREATE TABLE 职能部门类别 (
    部门类别代号 TEXT PRIMARY KEY,
    部门类别名称 TEXT
);

CREATE TABLE 岗位类别 (
    岗位类别编号 TEXT PRIMARY KEY,
    岗位类别名称 TEXT
);

CREATE TABLE 职能部门new (
    职能部门编号     TEXT PRIMARY KEY,
    职能部门名称     TEXT,
    职能部门类别代号 TEXT,
    终止日期         TEXT,
    显示协调位置     INTEGER
);

CREATE TABLE 上级部门new (
    ID           INTEGER PRIMARY KEY,
    职能部门编号 TEXT NOT NULL,
    上级部门编号 TEXT,
    起始日期     TEXT
);
CREATE INDEX ix_上级部门new_部门 ON 上级部门new (职能部门编号, 起始日期);

CREATE TABLE 岗位信息new (
    岗位代号     TEXT PRIMARY KEY,
    岗位名称     TEXT,
    职能部门代号 TEXT,
    岗位类别代号 TEXT,
    工号         TEXT,
    起始日期     TEXT,
    终止日期     TEXT,
    部门主管     INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_岗位信息new_部门 ON 岗位信息new (职能部门代号);

CREATE TABLE 岗位员工new (
    ID       INTEGER PRIMARY KEY,
    员工代号 TEXT NOT NULL,
    岗位代号 TEXT NOT NULL,
    主要岗位 INTEGER NOT NULL DEFAULT 0,
    入岗日期 TEXT,
    离岗日期 TEXT
);
CREATE INDEX ix_岗位员工new_员工 ON 岗位员工new (员工代号);
CREATE INDEX ix_岗位员工new_岗位 ON 岗位员工new (岗位代号);

-- Privileges -----------------------------------------------------------------------------------

CREATE TABLE 岗位权限设置 (
    ID       INTEGER PRIMARY KEY,
    组代号   TEXT NOT NULL,
    岗位代号 TEXT NOT NULL,
    授权     INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX ix_岗位权限设置_岗位 ON 岗位权限设置 (岗位代号);

CREATE TABLE GroupPrivilege (
    ID       INTEGER PRIMARY KEY,
    GroupID  TEXT NOT NULL,
    FormName TEXT NOT NULL,
    Popedom  INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX ix_GroupPrivilege_Group ON GroupPrivilege (GroupID);

-- Property register ----------------------------------------------------------------------------

CREATE TABLE 设置管理处 (
    GYD_DH       TEXT PRIMARY KEY,
    Gyd_name     TEXT,
    GYD_DZ       TEXT,
    GYD_TEL      TEXT,
    商用物业     INTEGER NOT NULL DEFAULT 0,
    对应部门代号 TEXT
);
CREATE INDEX ix_设置管理处_部门 ON 设置管理处 (对应部门代号);

CREATE TABLE 楼表 (
    L_ID   INTEGER PRIMARY KEY,
    管理处 TEXT,
    地址1  TEXT, 字1 TEXT,
    地址2  TEXT, 字2 TEXT,
    地址3  TEXT, 字3 TEXT,
    地址4  TEXT, 字4 TEXT
);
CREATE INDEX ix_楼表_管理处 ON 楼表 (管理处);

CREATE TABLE FWXZK (
    FWXZ_dh TEXT PRIMARY KEY,
    FWXZ_xz TEXT
);

CREATE TABLE 室表 (
    S_ID     INTEGER PRIMARY KEY,
    L_ID     INTEGER NOT NULL,
    室       TEXT,
    字       TEXT,
    房屋性质 TEXT
);
CREATE INDEX ix_室表_楼 ON 室表 (L_ID);

CREATE TABLE 业主表 (
    ZH_ID    INTEGER PRIMARY KEY,
    S_ID     INTEGER NOT NULL,
    姓名     TEXT,
    联系方式 TEXT,
    说明     TEXT
);
CREATE INDEX ix_业主表_室 ON 业主表 (S_ID);

CREATE TABLE 合同信息 (
    ID           INTEGER PRIMARY KEY,
    合同编号     TEXT,
    座落         TEXT,
    对方单位     TEXT,
    区域代号     TEXT,
    合同生效日期 TEXT,
    合同中止日期 TEXT
);
CREATE INDEX ix_合同信息_区域 ON 合同信息 (区域代号);

CREATE TABLE 合同单元信息 (
    ID     INTEGER PRIMARY KEY,
    合同ID INTEGER NOT NULL,
    单元ID INTEGER NOT NULL
);
CREATE INDEX ix_合同单元信息_合同 ON 合同单元信息 (合同ID);
CREATE INDEX ix_合同单元信息_单元 ON 合同单元信息 (单元ID);

-- Complaint tables (owned by this client) ------------------------------------------------------

CREATE TABLE 投诉类别 (
    id   INTEGER PRIMARY KEY,
    编号 TEXT,
    类别 TEXT
);

CREATE TABLE 投诉方式 (
    id   INTEGER PRIMARY KEY,
    编号 TEXT,
    方式 TEXT
);

CREATE TABLE 投诉信息 (
    ID         INTEGER PRIMARY KEY,
    投诉编号   TEXT NOT NULL,
    流水号     INTEGER NOT NULL,
    部门编号   TEXT,
    部门名称   TEXT,
    管理处代号 TEXT,
    S_ID       INTEGER,
    投诉人     TEXT,
    地址       TEXT,
    联系电话   TEXT,
    -- The telephone's digits (Telephone::digits), written with 联系电话: a household's history is
    -- found through ix_投诉信息_电话号码.
    联系电话号码 TEXT,
    投诉类别   TEXT,
    投诉方式   TEXT,
    投诉时间   TEXT,
    投诉内容   TEXT,
    接待人     TEXT,
    处理状态   TEXT,
    处理结果   TEXT,
    处理时间   TEXT,
    调查情况   TEXT,
    回访人     TEXT,
    回访时间   TEXT,
    结果满意度 TEXT,
    撤销时间   TEXT
);
-- Two stations can never store the same complaint code.
CREATE UNIQUE INDEX ux_投诉信息_投诉编号 ON 投诉信息 (投诉编号);
CREATE INDEX ix_投诉信息_流水号 ON 投诉信息 (流水号);
CREATE INDEX ix_投诉信息_部门时间 ON 投诉信息 (部门编号, 投诉时间);
CREATE INDEX ix_投诉信息_管理处 ON 投诉信息 (管理处代号, 处理时间);
-- A household's earlier complaints at reception: by room, or by the telephone's digits.
CREATE INDEX ix_投诉信息_室 ON 投诉信息 (S_ID, 投诉时间);
CREATE INDEX ix_投诉信息_电话号码 ON 投诉信息 (联系电话号码, 撤销时间);
-- Follow-up visits: the finished complaints still waiting for one, and the recent ones.
CREATE INDEX ix_投诉信息_回访 ON 投诉信息 (部门编号, 回访时间, 处理时间);
-- The analysis: a department's complaints over a period, counted from the index alone, and
-- every department's (the super user's).
CREATE INDEX ix_投诉信息_分析 ON 投诉信息 (部门编号, 投诉时间, 处理状态, 处理时间, 撤销时间, 投诉类别, 投诉方式,
                                          管理处代号, 回访时间, 结果满意度);
CREATE INDEX ix_投诉信息_投诉时间 ON 投诉信息 (投诉时间);
-- The register: a department's unfinished complaints, and its search by complainant (the name
-- is matched in the index, only the complaints found are read).
CREATE INDEX ix_投诉信息_部门处理 ON 投诉信息 (部门编号, 处理时间);
CREATE INDEX ix_投诉信息_投诉人 ON 投诉信息 (部门编号, 撤销时间, 投诉人);

CREATE TABLE 投诉信息处理 (
    ID           INTEGER PRIMARY KEY,
    投诉编号     TEXT NOT NULL,
    处理部门     TEXT,
    处理岗位     TEXT,
    处理意见     TEXT,
    处理结果     TEXT,
    顺序号       INTEGER,
    接受时间     TEXT,
    处理结束时间 TEXT
);
CREATE INDEX ix_投诉信息处理_投诉 ON 投诉信息处理 (投诉编号, 顺序号);
CREATE INDEX ix_投诉信息处理_岗位 ON 投诉信息处理 (处理岗位, 处理部门, 处理结束时间);
-- The open steps of every post (the analysis's overdue work).
CREATE INDEX ix_投诉信息处理_结束时间 ON 投诉信息处理 (处理结束时间);

CREATE TABLE 投诉处理人设置 (
    ID           INTEGER PRIMARY KEY,
    管理处代号   TEXT,
    职能部门代号 TEXT,
    岗位代号     TEXT,
    设置日期     TEXT,
    终止日期     TEXT,
    备注         TEXT
);
CREATE INDEX ix_投诉处理人设置_管理处 ON 投诉处理人设置 (管理处代号);
CREATE INDEX ix_投诉处理人设置_岗位 ON 投诉处理人设置 (职能部门代号, 岗位代号);

-- The schema's version (SchemaUpgrade::currentVersion()).
PRAGMA user_version = 1;
