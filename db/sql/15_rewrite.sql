-- SQL statements rewritten to read result tables: the bookkeeping of each
-- rewritten statement (its text predicates and bind variables), the
-- resolution of a text column to its policy, the release of a statement's
-- result tables, and the few forms the rewritten texts use that PostgreSQL
-- does not have of itself.

CREATE TABLE IF NOT EXISTS dr$contains (
  con_username varchar(30) NOT NULL,
  con_session  integer NOT NULL,
  con_queryid  integer NOT NULL,
  con_policy   integer,
  con_contid   integer,
  con_bind     varchar(30),
  con_pos      integer,
  con_text     varchar(2000),
  con_restab   varchar(31),
  con_dblink   varchar(128)
);
CREATE INDEX IF NOT EXISTS dr$contains_cursor ON dr$contains (con_session, con_queryid);

CREATE TABLE IF NOT EXISTS dr$bind (
  bin_username varchar(30) NOT NULL,
  bin_session  integer NOT NULL,
  bin_queryid  integer NOT NULL,
  bin_bind     varchar(30),
  bin_pos      integer
);
CREATE INDEX IF NOT EXISTS dr$bind_cursor ON dr$bind (bin_session, bin_queryid);

REVOKE ALL ON dr$contains, dr$bind FROM PUBLIC;

CREATE SCHEMA IF NOT EXISTS dr_rewrite;
REVOKE ALL ON SCHEMA dr_rewrite FROM PUBLIC;

-- A name as the statement gave it (upper case unless it was quoted) as the
-- catalog holds it: an all-upper name stands for its lower-case form.
CREATE OR REPLACE FUNCTION dr_rewrite.catname(nm text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
  SELECT CASE WHEN nm = upper(nm) THEN lower(nm) ELSE nm END
$$;

-- The policy that indexes a column of a table, for a user who may read the
-- table: its id, name and text-key columns. A table the user may not read,
-- or that does not exist, or lacks the column, is reported as an undefined
-- column (the caller's "not this table"); a column without a policy leaves
-- pol_id null. The schema defaults to the user's own. There are no
-- database links: dblink stays null.
CREATE OR REPLACE PROCEDURE dr_rewrite.resolve_policy(usrnam text, schnam text, tabnam text,
    colnam text, INOUT dblink text, INOUT pol_id integer, INOUT polnam text,
    INOUT poltxk text)
LANGUAGE plpgsql AS $$
DECLARE
  sch text := coalesce(nullif(schnam, ''), usrnam);
  rel oid;
  who oid;
  p record;
BEGIN
  dblink := NULL;
  SELECT r.oid INTO who FROM pg_roles r
   WHERE r.rolname IN (usrnam, dr_rewrite.catname(usrnam)) ORDER BY r.rolname = usrnam DESC LIMIT 1;
  SELECT c.oid INTO rel FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
   WHERE n.nspname IN (sch, dr_rewrite.catname(sch))
     AND c.relname IN (tabnam, dr_rewrite.catname(tabnam))
     AND c.relkind IN ('r', 'v', 'm', 'p', 'f')
   ORDER BY n.nspname = sch DESC, c.relname = tabnam DESC LIMIT 1;
  IF who IS NULL OR rel IS NULL OR NOT has_table_privilege(who, rel, 'SELECT')
     OR NOT EXISTS (SELECT 1 FROM pg_attribute a
                     WHERE a.attrelid = rel AND a.attnum > 0 AND NOT a.attisdropped
                       AND a.attname IN (colnam, dr_rewrite.catname(colnam))) THEN
    RAISE EXCEPTION USING ERRCODE = 'undefined_column',
      MESSAGE = format('column %s of table %s.%s not found', colnam, sch, tabnam);
  END IF;
  SELECT x.pol_id AS id, x.pol_name AS name, x.pol_key_name AS keys INTO p
    FROM dr$policy x
   WHERE upper(x.pol_owner) = upper(sch) AND upper(x.pol_tablename) = upper(tabnam)
     AND upper(x.pol_text_expr) = upper(colnam)
     AND (polnam IS NULL OR upper(x.pol_name) = upper(polnam))
   ORDER BY x.pol_id LIMIT 1;
  pol_id := p.id;
  polnam := p.name;
  poltxk := upper(p.keys);
END $$;

-- Releases the result tables of the bookkeeping rows a selection names
-- (flags: 1 by user name, 2 by session, 4 by query id; 0 all). A table
-- already gone is passed over, so that a release can be repeated.
CREATE OR REPLACE PROCEDURE dr_rewrite.release_tables(flags integer, usr text, sid integer,
                                                      qid integer)
LANGUAGE plpgsql AS $$
DECLARE
  t text;
BEGIN
  FOR t IN SELECT DISTINCT c.con_restab FROM dr$contains c
            WHERE (flags & 1 = 0 OR c.con_username = usr)
              AND (flags & 2 = 0 OR c.con_session = sid)
              AND (flags & 4 = 0 OR c.con_queryid = qid)
              AND c.con_restab IS NOT NULL LOOP
    IF EXISTS (SELECT 1 FROM dr_rtm.result_table x WHERE x.tablename = lower(t)) THEN
      CALL dr_rtm.deallocate(t);
    END IF;
  END LOOP;
END $$;

REVOKE ALL ON ALL ROUTINES IN SCHEMA dr_rewrite FROM PUBLIC;

-- Forms the rewritten statements use. A score column of a shared result
-- table is DECODE(CONID, id, SCORE, 0); a handle is TO_CHAR of the key.
CREATE OR REPLACE FUNCTION public.decode(v anycompatible, k anycompatible, r anycompatible,
                                         d anycompatible) RETURNS anycompatible
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN v = k THEN r ELSE d END $$;

CREATE OR REPLACE FUNCTION public.to_char(v anyelement) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT v::text $$;

-- A result table's keys are text: a numeric key column is compared with
-- them read as its own type. The keys were written from that column, so
-- every one reads back as the number it came from. Written as plain SQL so
-- that the planner inlines it: the comparison then reaches the table's own
-- index on the key, and a statement that asks for hits reads only the rows
-- its result tables name (compared as text, every row would be read).
CREATE OR REPLACE FUNCTION dr_rewrite.keyeq(a integer, b varchar) RETURNS boolean
LANGUAGE sql IMMUTABLE AS $$ SELECT a = b::integer $$;
CREATE OR REPLACE FUNCTION dr_rewrite.keyeq(a bigint, b varchar) RETURNS boolean
LANGUAGE sql IMMUTABLE AS $$ SELECT a = b::bigint $$;
CREATE OR REPLACE FUNCTION dr_rewrite.keyeq(a numeric, b varchar) RETURNS boolean
LANGUAGE sql IMMUTABLE AS $$ SELECT a = b::numeric $$;
CREATE OR REPLACE FUNCTION dr_rewrite.keyeq(a smallint, b varchar) RETURNS boolean
LANGUAGE sql IMMUTABLE AS $$ SELECT a = b::smallint $$;
GRANT USAGE ON SCHEMA dr_rewrite TO PUBLIC;
GRANT EXECUTE ON FUNCTION dr_rewrite.keyeq(integer, varchar), dr_rewrite.keyeq(bigint, varchar),
  dr_rewrite.keyeq(numeric, varchar), dr_rewrite.keyeq(smallint, varchar) TO PUBLIC;

DO $$
DECLARE
  t text;
BEGIN
  FOREACH t IN ARRAY ARRAY['integer', 'bigint', 'numeric', 'smallint'] LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_operator o JOIN pg_namespace n ON n.oid = o.oprnamespace
                    WHERE n.nspname = 'public' AND o.oprname = '='
                      AND o.oprleft = t::regtype AND o.oprright = 'varchar'::regtype) THEN
      EXECUTE format('CREATE OPERATOR public.= (LEFTARG = %s, RIGHTARG = varchar, '
                     'FUNCTION = dr_rewrite.keyeq)', t);
    END IF;
  END LOOP;
END $$;
