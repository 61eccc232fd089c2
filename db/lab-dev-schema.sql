-- Development stand-in for the laboratory's SQL Server database, on PostgreSQL 15.
-- ./run db start loads it into the development database; it can be loaded again at any time
-- (tables are kept, functions and the procedure are replaced).
--
-- Names are written unquoted on purpose: PostgreSQL folds them to lower case, and so does it with
-- the module's mixed-case names (MachineCode, RequestID, p.LastName), so both sides meet.
-- The module creates vWORK_LIST itself on first use; it is deliberately not created here.

SET client_min_messages = warning;  -- a reload would list every table that is kept

CREATE SCHEMA IF NOT EXISTS dbo;

-- The module writes both WORK_LIST and dbo.WORK_LIST; new sessions find dbo first.
-- DateStyle YMD reads the module's '2026/12/1 0:0' literals the way SQL Server does.
DO $$
BEGIN
  EXECUTE format('ALTER DATABASE %I SET search_path = dbo, public', current_database());
  EXECUTE format('ALTER DATABASE %I SET DateStyle = ''ISO, YMD''', current_database());
END
$$;
SET search_path = dbo, public;

-- Machine codes the module translates before looking them up.
CREATE TABLE IF NOT EXISTS dbo.L_REPLACEMENT_CODES (
  machineID       integer     NOT NULL,
  MachineCode     varchar(50) NOT NULL,
  ReplacementCode varchar(50) NOT NULL,
  PRIMARY KEY (machineID, MachineCode)
);

-- One investigation per instrument; investigations of different instruments that measure the
-- same thing share an itemid.
CREATE TABLE IF NOT EXISTS dbo.l_investigations (
  id        integer     PRIMARY KEY,
  code      varchar(50) NOT NULL,
  machineid integer,
  itemid    integer
);

-- The parameters of an investigation (the strip's LEU, NIT, ...).
CREATE TABLE IF NOT EXISTS dbo.l_investigation_details (
  id              integer     PRIMARY KEY,
  code            varchar(50) NOT NULL,
  investigationid integer     NOT NULL
);

CREATE TABLE IF NOT EXISTS dbo.patients (
  id        integer PRIMARY KEY,
  LastName  varchar(100),
  FirstName varchar(100)
);

CREATE TABLE IF NOT EXISTS dbo.l_requests (
  id                integer PRIMARY KEY,
  patientid         integer,
  externalbarcodeid integer
);

CREATE TABLE IF NOT EXISTS dbo.l_request_details (
  requestid       integer NOT NULL,
  investigationid integer NOT NULL,
  PRIMARY KEY (requestid, investigationid)
);

-- Pending analyses per instrument, read by the work-list dialog.
CREATE TABLE IF NOT EXISTS dbo.WORK_LIST (
  RequestID   integer      NOT NULL,
  SampleCode  varchar(50),
  PacientName varchar(200),
  AnalyseCode varchar(50)  NOT NULL,
  RequestDate timestamp,
  MachineID   integer      NOT NULL
);

CREATE TABLE IF NOT EXISTS dbo.LAB_REQUESTS (
  ID            integer PRIMARY KEY,
  RequestedDate timestamp
);

-- Analyses already sent to an instrument, so a work list does not send them twice.
CREATE TABLE IF NOT EXISTS dbo.work_list_sent (
  MachineID integer     NOT NULL,
  anCode    varchar(50) NOT NULL,
  requestid integer     NOT NULL
);

-- Where L_RESULT_INSERT puts the results, so tests and the demo can read them back.
CREATE TABLE IF NOT EXISTS dbo.lab_results (
  id               serial PRIMARY KEY,
  request_id       integer,
  machine_id       integer,
  investigation_id integer,
  detail_id        integer,
  value            text,
  marker           text,
  flag             integer,
  stored_at        timestamp NOT NULL DEFAULT now()
);

-- The laboratory's database refuses, through its foreign keys, a result whose investigation or
-- detail it does not know; an analysis or parameter code the module could not map arrives as id 0.
-- The procedure checks it rather than lab_results itself, so that the seed can reload the code
-- tables while stored results are kept. Request ids are not checked, as there.
CREATE OR REPLACE PROCEDURE dbo.L_RESULT_INSERT(
  request_id integer, machine_id integer, investigation_id integer, detail_id integer,
  value text, marker text, flag integer)
LANGUAGE plpgsql
AS $$
BEGIN
  IF $3 IS NOT NULL AND NOT EXISTS (SELECT 1 FROM dbo.l_investigations i WHERE i.id = $3) THEN
    RAISE EXCEPTION 'L_RESULT_INSERT: investigation % is not in l_investigations', $3
      USING ERRCODE = 'foreign_key_violation';
  END IF;
  IF $4 IS NOT NULL AND NOT EXISTS (SELECT 1 FROM dbo.l_investigation_details d WHERE d.id = $4) THEN
    RAISE EXCEPTION 'L_RESULT_INSERT: detail % is not in l_investigation_details', $4
      USING ERRCODE = 'foreign_key_violation';
  END IF;
  -- A value carrying this marker is refused with a conversion error (SQLSTATE 22P02), the way the
  -- laboratory's server refuses a value its column cannot take; tests and drills use it.
  IF position('#refuz-conversie#' in $5) > 0 THEN
    PERFORM CAST($5 AS integer);
  END IF;
  INSERT INTO dbo.lab_results (request_id, machine_id, investigation_id, detail_id, value, marker, flag)
  VALUES ($1, $2, $3, $4, $5, $6, $7);
END
$$;

-- SQL Server joins texts with +. STRICT gives its NULL + 'x' = NULL.
CREATE OR REPLACE FUNCTION dbo.text_plus(text, text) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
AS $$ SELECT $1 || $2 $$;

DO $$
BEGIN
  IF NOT EXISTS (
    SELECT 1 FROM pg_operator o JOIN pg_namespace n ON n.oid = o.oprnamespace
    WHERE n.nspname = 'dbo' AND o.oprname = '+'
      AND o.oprleft = 'text'::regtype AND o.oprright = 'text'::regtype) THEN
    CREATE OPERATOR dbo.+ (LEFTARG = text, RIGHTARG = text, FUNCTION = dbo.text_plus);
  END IF;
END
$$;
