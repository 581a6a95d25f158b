-- The queues that feed servers besides commands: service requests (svcq),
-- text-loading batches (srcq) and changed rows to re-index (dmlq). The
-- listener hands their items out; these packages close, requeue or set aside.
-- An item that fails or whose server dies is retried; after
-- dispatcher.max_tries() attempts it is set aside with its error, not
-- requeued forever.

CREATE SCHEMA IF NOT EXISTS svcq;
CREATE SCHEMA IF NOT EXISTS srcq;
CREATE SCHEMA IF NOT EXISTS dmlq;
CREATE SCHEMA IF NOT EXISTS dispatcher;

-- How often a message, batch or request is handed out before it is set aside.
CREATE OR REPLACE FUNCTION dispatcher.max_tries() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 3 $$;

-- The bell that wakes idle servers: anything queued for a server rings it,
-- in the transaction that queues it, so that the servers hear of it when it
-- is committed (several rings of one transaction are one notification).
CREATE OR REPLACE PROCEDURE dispatcher.ring()
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  PERFORM pg_notify('dispatcher_work', '');
END $$;
DROP SEQUENCE IF EXISTS dispatcher.bell_seq;

-- Service requests. Type LING goes to servers whose mask holds L, as
-- message type 4; other types (INDEX_SVC: a document the indexer could not
-- read) are records for the administrator.
CREATE SEQUENCE IF NOT EXISTS svcq.request_seq;
CREATE TABLE IF NOT EXISTS svcq.request (
  svcno     integer PRIMARY KEY DEFAULT nextval('svcq.request_seq'),
  svctype   varchar(30) NOT NULL,
  priority  integer NOT NULL DEFAULT 0,
  status    char(1) NOT NULL DEFAULT 'Q',  -- Q queued, I in service, D done, E error, X set aside
  par       text[] NOT NULL,
  errors    text,
  username  text NOT NULL DEFAULT session_user,  -- whose rights its procedures run with
  sid       integer,
  tries     integer NOT NULL DEFAULT 0,
  queued_at timestamptz NOT NULL DEFAULT clock_timestamp(),
  taken_at  timestamptz
);
CREATE INDEX IF NOT EXISTS request_queued ON svcq.request (priority DESC, svcno) WHERE status = 'Q';
ALTER TABLE svcq.request ALTER COLUMN username SET DEFAULT session_user;

-- Queue a service request for session_user, whose rights the procedures it
-- names will run with. A request given with status 'E' is recorded as
-- failed and not served. The transport connection runs in autocommit, so the
-- request is durable when the call returns; do_commit asks no more than that.
CREATE OR REPLACE PROCEDURE svcq.queue(svctype text, priority integer DEFAULT 0,
    INOUT svcno integer DEFAULT NULL, do_commit boolean DEFAULT true,
    par1 text DEFAULT NULL, par2 text DEFAULT NULL, par3 text DEFAULT NULL,
    par4 text DEFAULT NULL, par5 text DEFAULT NULL, par6 text DEFAULT NULL,
    par7 text DEFAULT NULL, par8 text DEFAULT NULL, par9 text DEFAULT NULL,
    par10 text DEFAULT NULL, errors text DEFAULT NULL, status text DEFAULT NULL)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
BEGIN
  IF svctype IS NULL OR svctype !~ '^[A-Za-z_][A-Za-z0-9_]*$' THEN
    CALL dr_def.raise_error(format('invalid service type %s', svctype));
  END IF;
  INSERT INTO svcq.request (svctype, priority, status, par, errors, username)
  VALUES (upper(svctype), coalesce(priority, 0),
          CASE WHEN upper(status) IN ('E', 'D') THEN upper(status) ELSE 'Q' END,
          ARRAY[par1, par2, par3, par4, par5, par6, par7, par8, par9, par10], errors,
          session_user)
  RETURNING request.svcno INTO svcno;
  CALL dispatcher.ring();
END $$;

-- Close the requests that the session served.
CREATE OR REPLACE PROCEDURE svcq.batch_done(audsid integer)
LANGUAGE plpgsql AS $$
BEGIN
  UPDATE svcq.request SET status = 'D' WHERE sid = audsid AND status = 'I';
END $$;

-- Record a request as failed with its error text.
CREATE OR REPLACE PROCEDURE svcq.request_error(svcno integer, errors text)
LANGUAGE plpgsql AS $$
BEGIN
  UPDATE svcq.request r SET status = 'E', errors = request_error.errors
   WHERE r.svcno = request_error.svcno;
END $$;

-- Text-loading batches: one row per source waiting to be loaded.
CREATE TABLE IF NOT EXISTS srcq.batch (
  src_id    integer PRIMARY KEY,
  state     char(1) NOT NULL DEFAULT 'Q',  -- Q queued, I in service, X set aside
  sid       integer,
  tries     integer NOT NULL DEFAULT 0,
  errors    text,
  queued_at timestamptz NOT NULL DEFAULT clock_timestamp(),
  taken_at  timestamptz
);

-- Queue a text-loading batch for a source (again, if it was set aside).
CREATE OR REPLACE PROCEDURE srcq.queue_batch(src_id integer)
LANGUAGE plpgsql AS $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM dr$source s WHERE s.src_id = queue_batch.src_id) THEN
    CALL dr_def.raise_error(format('source %s does not exist', src_id));
  END IF;
  INSERT INTO srcq.batch AS b (src_id) VALUES (queue_batch.src_id)
  ON CONFLICT ON CONSTRAINT batch_pkey DO UPDATE
     SET state = 'Q', tries = 0, errors = NULL, sid = NULL
   WHERE b.state = 'X';
  CALL dispatcher.ring();
END $$;

-- A text-loading batch succeeded.
CREATE OR REPLACE PROCEDURE srcq.batch_done(src_id integer)
LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM srcq.batch b WHERE b.src_id = batch_done.src_id;
  UPDATE dr$source s SET src_next = s.src_next + 1 WHERE s.src_id = batch_done.src_id;
END $$;

-- The session's text-loading batch failed: queue it again, or set it aside
-- after too many tries.
CREATE OR REPLACE PROCEDURE srcq.requeue_batch(sid integer)
LANGUAGE plpgsql AS $$
DECLARE
  stack text := drue.get_stack();
BEGIN
  UPDATE srcq.batch b
     SET state = CASE WHEN b.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END,
         errors = coalesce(stack, 'text-loading batch failed'), sid = NULL
   WHERE b.sid = requeue_batch.sid AND b.state = 'I';
  CALL dispatcher.ring();
END $$;

-- Changed rows to re-index, by policy. Rows handed to a session are visible to
-- it through DRQ_INPROG.
CREATE TABLE IF NOT EXISTS dmlq.queue (
  seq       bigserial PRIMARY KEY,
  pol_id    integer NOT NULL,
  pkey      varchar(256) NOT NULL,
  state     char(1) NOT NULL DEFAULT 'Q',  -- Q queued, I in service, X set aside
  sid       integer,
  tries     integer NOT NULL DEFAULT 0,
  queued_at timestamptz NOT NULL DEFAULT clock_timestamp()
);
CREATE INDEX IF NOT EXISTS queue_queued ON dmlq.queue (seq) WHERE state = 'Q';
CREATE INDEX IF NOT EXISTS queue_sid ON dmlq.queue (sid) WHERE state = 'I';

CREATE OR REPLACE VIEW drq_inprog AS
  SELECT pkey, sid, pol_id FROM dmlq.queue WHERE state = 'I';

-- Errors of the queue itself, handed to the next M server as a failed batch.
CREATE TABLE IF NOT EXISTS dmlq.queue_error (
  seq    bigserial PRIMARY KEY,
  errors text NOT NULL
);

-- Queue one changed row of a policy for session_user; pkey is the key text
-- (a composite key joins its values with commas, escaping a comma or
-- backslash by a backslash). Only the policy's owner or an administrator
-- may queue its rows.
CREATE OR REPLACE PROCEDURE dmlq.queue_change(pol_id integer, pkey text)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  usr text := session_user;
  own text;
BEGIN
  IF pkey IS NULL OR pkey = '' THEN
    CALL dr_def.raise_error('a changed row needs its key');
  END IF;
  IF NOT dispatcher.is_admin(usr) THEN
    SELECT p.pol_owner INTO own FROM dr$policy p WHERE p.pol_id = queue_change.pol_id;
    IF NOT FOUND THEN
      CALL dr_def.raise_error(format('policy %s does not exist', queue_change.pol_id));
    END IF;
    IF dr_utl.role_name(own) IS DISTINCT FROM usr THEN
      CALL dr_def.raise_error(format(
        'user %s may not queue changed rows of policy %s: only its owner or an administrator may',
        usr, queue_change.pol_id));
    END IF;
  END IF;
  CALL dr_utl.check_policy(queue_change.pol_id, 3);
  INSERT INTO dmlq.queue (pol_id, pkey) VALUES (queue_change.pol_id, queue_change.pkey);
  CALL dispatcher.ring();
END $$;

-- Report a queue error to the next server that takes changed rows.
CREATE OR REPLACE PROCEDURE dmlq.queue_failure(errors text)
LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO dmlq.queue_error (errors) VALUES (coalesce(errors, 'queue error'));
  CALL dispatcher.ring();
END $$;

-- The session's batch of changed rows is done.
CREATE OR REPLACE PROCEDURE dmlq.batch_done(audsid integer)
LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM dmlq.queue WHERE sid = audsid AND state = 'I';
END $$;

-- Column value k (from 1) of a composite key text.
CREATE OR REPLACE FUNCTION dmlq.get_textkey(pkey text, k integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  i integer := 1;
  n integer := 1;
  c text;
  cur text := '';
BEGIN
  IF pkey IS NULL OR k < 1 THEN
    RETURN NULL;
  END IF;
  WHILE i <= length(pkey) LOOP
    c := substr(pkey, i, 1);
    IF c = '\' AND i < length(pkey) THEN
      i := i + 1;
      cur := cur || substr(pkey, i, 1);
    ELSIF c = ',' THEN
      IF n = k THEN
        RETURN cur;
      END IF;
      n := n + 1;
      cur := '';
    ELSE
      cur := cur || c;
    END IF;
    i := i + 1;
  END LOOP;
  RETURN CASE WHEN n = k THEN cur END;
END $$;
