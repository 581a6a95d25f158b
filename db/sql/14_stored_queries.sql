-- Stored query expressions: the definitions of every policy in one table
-- (each policy's results live in its own table, suffix SQR, which the
-- engine makes), the blocks the engine runs on them, and the session id
-- the dispatcher puts into the commands that read or save them.
--
-- A definition belongs to the session that saved it, or with the session id
-- 'SYSTEM' to every session. A name is unique within a policy for the
-- sessions that see it: a session's own definition and a 'SYSTEM' one of
-- the same name never exist together, so that every look-up by
-- "session_id IN (:sid, 'SYSTEM')" finds one row at most.

CREATE SCHEMA IF NOT EXISTS dr_sqe;

CREATE TABLE IF NOT EXISTS dr$sqe (
  query_name  varchar(32) NOT NULL,      -- upper-cased
  session_id  varchar(32) NOT NULL,      -- the saving session's id, or 'SYSTEM'
  query_text  varchar(2000) NOT NULL,
  tstamp      timestamptz,               -- when saved
  hwmark      bigint DEFAULT 0,          -- the highest document id whose hits are stored
  pol_id      integer
);
CREATE UNIQUE INDEX IF NOT EXISTS dr$sqe_key ON dr$sqe (pol_id, query_name, session_id);

-- The session id of the calling session: its process id and the start of
-- its backend in microseconds, so that a later session given the same
-- process id does not inherit the definitions of a dead one.
-- (dr_utl.session_id, made by the administrator in 98_admin.sql, reads the
-- start time, which the servers' login may not see of other users.)

-- Puts the submitter's session id into the argument of a command that
-- carries one: the sqe command (argument 3) and the query commands. A
-- session id the user wrote is never used.
CREATE OR REPLACE FUNCTION dr_sqe.with_session(command integer, args text[]) RETURNS text[]
LANGUAGE plpgsql AS $$
DECLARE
  n integer := CASE command WHEN 42 THEN 3 WHEN 15 THEN 9 WHEN 38 THEN 4 WHEN 39 THEN 4
                            WHEN 41 THEN 8 WHEN 43 THEN 8 END;
BEGIN
  IF n IS NOT NULL THEN
    args[n] := dr_utl.session_id();
  END IF;
  RETURN args;
END $$;

-- The check of a result table name the engine hands in.
CREATE OR REPLACE FUNCTION dr_sqe.result_table(tab text) RETURNS regclass
LANGUAGE sql STABLE AS $$ SELECT to_regclass(tab) $$;

-- Saves a definition; status 1 (nothing saved) when the name is taken for
-- this session: by its own definition or a 'SYSTEM' one, or, saving for
-- 'SYSTEM', by any session's.
CREATE OR REPLACE PROCEDURE dr_sqe.save(cid integer, qname text, sid text, qtext text,
                                        INOUT status integer DEFAULT 0)
LANGUAGE plpgsql AS $$
BEGIN
  -- Two saves of one name wait for each other here.
  PERFORM pg_advisory_xact_lock(hashtext('dr$sqe'), hashtext(cid || '/' || upper(qname)));
  IF EXISTS (SELECT 1 FROM dr$sqe s
              WHERE s.pol_id = cid AND s.query_name = upper(qname)
                AND (s.session_id IN (sid, 'SYSTEM') OR sid = 'SYSTEM')) THEN
    status := 1;
    RETURN;
  END IF;
  INSERT INTO dr$sqe (query_name, session_id, query_text, tstamp, pol_id)
  VALUES (upper(qname), sid, qtext, clock_timestamp(), cid);
  status := 0;
END $$;

-- Deletes a definition and its results; status 1 when there is none, 2
-- when it is a 'SYSTEM' one and scope is 0 (nothing deleted).
CREATE OR REPLACE PROCEDURE dr_sqe.del(cid integer, qname text, sid text, scope integer,
                                       tab text, INOUT status integer DEFAULT 0)
LANGUAGE plpgsql AS $$
DECLARE
  owner text;
BEGIN
  SELECT s.session_id INTO owner FROM dr$sqe s
   WHERE s.pol_id = cid AND s.query_name = upper(qname) AND s.session_id IN (sid, 'SYSTEM')
   FOR UPDATE;
  IF NOT FOUND THEN
    status := 1;
    RETURN;
  END IF;
  IF owner = 'SYSTEM' AND coalesce(scope, 0) = 0 THEN
    status := 2;
    RETURN;
  END IF;
  DELETE FROM dr$sqe s
   WHERE s.pol_id = cid AND s.query_name = upper(qname) AND s.session_id = owner;
  IF dr_sqe.result_table(tab) IS NOT NULL THEN
    EXECUTE format('DELETE FROM %s WHERE query_name = upper($1) AND session_id = $2',
                   dr_sqe.result_table(tab)) USING qname, owner;
  END IF;
  status := 0;
END $$;

-- Deletes a definition's results and sets its high-water mark to 0.
CREATE OR REPLACE PROCEDURE dr_sqe.clr(cid integer, qname text, sid text, tab text)
LANGUAGE plpgsql AS $$
BEGIN
  IF dr_sqe.result_table(tab) IS NOT NULL THEN
    EXECUTE format('DELETE FROM %s WHERE query_name = upper($1) AND session_id IN ($2, ''SYSTEM'')',
                   dr_sqe.result_table(tab)) USING qname, sid;
  END IF;
  UPDATE dr$sqe s SET hwmark = 0
   WHERE s.pol_id = cid AND s.query_name = upper(qname) AND s.session_id IN (sid, 'SYSTEM');
END $$;

-- Removes, within one policy, the definitions and results of the given
-- session and of every session that has ended; 'SYSTEM' ones stay.
CREATE OR REPLACE PROCEDURE dr_sqe.purge(cid integer, sid text, tab text)
LANGUAGE plpgsql AS $$
DECLARE
  gone text[];
BEGIN
  SELECT coalesce(array_agg(DISTINCT s.session_id), '{}') INTO gone FROM dr$sqe s
   WHERE s.pol_id = cid AND s.session_id <> 'SYSTEM'
     AND (s.session_id = sid OR NOT dr_utl.session_live(s.session_id));
  DELETE FROM dr$sqe s WHERE s.pol_id = cid AND s.session_id = ANY (gone);
  IF dr_sqe.result_table(tab) IS NOT NULL THEN
    EXECUTE format('DELETE FROM %s WHERE session_id <> ''SYSTEM'' AND (session_id = $1'
                   ' OR NOT dr_utl.session_live(session_id))', dr_sqe.result_table(tab))
      USING sid;
  END IF;
END $$;

-- Nobody but the servers' login touches these: users reach stored queries
-- through the sqe command.
REVOKE ALL ON SCHEMA dr_sqe FROM PUBLIC;
REVOKE ALL ON dr$sqe FROM PUBLIC;
REVOKE ALL ON ALL ROUTINES IN SCHEMA dr_sqe FROM PUBLIC;
