-- Result tables handed to servers for query results and SQL rewrite.
-- A table of type RESULT (or any type but STRUCT_VIEW) is created with its key
-- columns TEXTKEY, TEXTKEY2 .. and the columns the result writers fill; a
-- STRUCT_VIEW name is reserved and the server creates the view under it.

CREATE SCHEMA IF NOT EXISTS dr_rtm;
CREATE SEQUENCE IF NOT EXISTS dr_rtm.table_seq;

CREATE TABLE IF NOT EXISTS dr_rtm.result_table (
  tablename     varchar(31) PRIMARY KEY,
  session_id    integer,
  table_type    varchar(30) NOT NULL,
  textkey_count integer NOT NULL,
  allocated_at  timestamptz NOT NULL DEFAULT clock_timestamp()
);
-- The user whose message asked for the table, who gets its rights.
ALTER TABLE dr_rtm.result_table ADD COLUMN IF NOT EXISTS username text;

-- The user of the message the calling server has in service, or null when
-- it serves none (a call made outside a command).
CREATE OR REPLACE FUNCTION dr_rtm.requester() RETURNS text
LANGUAGE sql STABLE AS $$
  SELECT m.username FROM dispatcher.message m
    JOIN draserm.server s ON s.name = m.server_name
   WHERE s.backend_pid = pg_backend_pid() AND m.state IN ('S', 'W')
   ORDER BY m.taken_at DESC LIMIT 1
$$;

-- Hand out a result table of a type with a number of key columns (1 to 16);
-- the user whose command asked for it gets the rights to fill, read and
-- empty it. Scores are whole numbers: an integer column gives a rewritten
-- statement's score columns one type with the 0 of its rows without a hit,
-- which the planner needs to push a condition on them into each branch.
CREATE OR REPLACE PROCEDURE dr_rtm.allocate(session_id integer, table_type text,
                                            INOUT tablename text, textkey_count integer)
LANGUAGE plpgsql AS $$
DECLARE
  t text := upper(coalesce(table_type, 'RESULT'));
  seq text := nextval('dr_rtm.table_seq')::text;
  -- Padded to six digits, never cut: a cut number would name a table
  -- handed out before.
  nm text := 'dr$rt_' || lpad(seq, greatest(6, length(seq)), '0');
  cols text := 'textkey varchar(256)';
  usr text := dr_rtm.requester();
BEGIN
  IF textkey_count IS NULL OR textkey_count NOT BETWEEN 1 AND 16 THEN
    CALL dr_def.raise_error(format('invalid key column count %s', textkey_count));
  END IF;
  IF t <> 'STRUCT_VIEW' THEN
    FOR k IN 2 .. textkey_count LOOP
      cols := cols || format(', textkey%s varchar(256)', k);
    END LOOP;
    EXECUTE format('CREATE TABLE %I (%s, score integer, conid integer, curid integer)', nm, cols);
    IF usr IS NOT NULL AND usr <> current_user THEN
      EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE, TRUNCATE ON %I TO %I', nm, usr);
    END IF;
  END IF;
  INSERT INTO dr_rtm.result_table (tablename, session_id, table_type, textkey_count, username)
  VALUES (nm, allocate.session_id, t, allocate.textkey_count, usr);
  tablename := nm;
END $$;

-- Take a result table back and drop it.
CREATE OR REPLACE PROCEDURE dr_rtm.deallocate(tablename text)
LANGUAGE plpgsql AS $$
DECLARE
  r dr_rtm.result_table%ROWTYPE;
BEGIN
  DELETE FROM dr_rtm.result_table x WHERE x.tablename = lower(deallocate.tablename)
  RETURNING * INTO r;
  IF r.tablename IS NULL THEN
    CALL dr_def.raise_error(format('result table %s is not allocated', tablename));
  END IF;
  IF r.table_type = 'STRUCT_VIEW' THEN
    EXECUTE format('DROP VIEW IF EXISTS %I', r.tablename);
  ELSE
    EXECUTE format('DROP TABLE IF EXISTS %I', r.tablename);
  END IF;
END $$;

-- Drop every result table whose session (a backend process id) has ended.
CREATE OR REPLACE PROCEDURE dr_rtm.recover()
LANGUAGE plpgsql AS $$
DECLARE
  r record;
BEGIN
  FOR r IN SELECT x.tablename FROM dr_rtm.result_table x
            WHERE x.session_id IS NULL
               OR NOT EXISTS (SELECT 1 FROM pg_stat_activity a WHERE a.pid = x.session_id)
  LOOP
    CALL dr_rtm.deallocate(r.tablename);
  END LOOP;
END $$;

-- Whether a table a message names holds the database side's own data: any
-- relation of its schemas, and the dictionary's dr$ tables beside the
-- result tables handed out above. No message may fill, empty or read those.
CREATE OR REPLACE FUNCTION dr_rtm.reserved(tab text) RETURNS boolean
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  r regclass;
  sch text;
  nm text;
BEGIN
  BEGIN
    r := to_regclass(tab);
  EXCEPTION WHEN OTHERS THEN
    RETURN false;  -- no name at all: nothing of ours
  END;
  IF r IS NULL THEN
    RETURN false;
  END IF;
  SELECT n.nspname, c.relname INTO sch, nm
    FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = r;
  RETURN sch IN ('dr_def', 'drue', 'draserm', 'dispatcher', 'listener', 'svcq', 'srcq', 'dmlq',
                 'dr_rtm', 'drdinte', 'dr_utl', 'dr_lst', 'vek_ths', 'vek_access')
      OR (sch = 'public' AND (nm LIKE 'dr$%' OR nm = 'drq_inprog')
          AND NOT EXISTS (SELECT 1 FROM dr_rtm.result_table x WHERE x.tablename = nm));
END $$;

-- Whether a table is one the manager handed out (the server writes it
-- with its own rights) rather than one a user made (written with his).
CREATE OR REPLACE FUNCTION dr_rtm.managed(tab text) RETURNS boolean
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  r regclass;
BEGIN
  BEGIN
    r := to_regclass(tab);
  EXCEPTION WHEN OTHERS THEN
    RETURN false;
  END;
  RETURN r IS NOT NULL AND EXISTS (
    SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
      JOIN dr_rtm.result_table x ON x.tablename = c.relname
     WHERE c.oid = r AND n.nspname = 'public');
END $$;
