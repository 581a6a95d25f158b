-- The registry of running servers. A server registers on its transport
-- connection; that connection's backend identifies it to dispatcher.get_oob,
-- and holds a session-level advisory lock on the server's session id for as
-- long as it lives, so that others can tell at once that a server died.

CREATE SCHEMA IF NOT EXISTS draserm;
CREATE SEQUENCE IF NOT EXISTS draserm.server_seq;

CREATE TABLE IF NOT EXISTS draserm.server (
  name        varchar(29) PRIMARY KEY,
  mbox        varchar(29) NOT NULL UNIQUE,
  audsid      integer NOT NULL UNIQUE,
  person_mask varchar(30),
  status      varchar(16) NOT NULL DEFAULT 'RUN',
  idle_time   integer NOT NULL DEFAULT 0,
  backend_pid integer NOT NULL,
  started_at  timestamptz NOT NULL DEFAULT clock_timestamp(),
  updated_at  timestamptz NOT NULL DEFAULT clock_timestamp()
);
-- When the server last took a message (the poll looks more often while busy).
ALTER TABLE draserm.server ADD COLUMN IF NOT EXISTS served_at timestamptz NOT NULL DEFAULT '-infinity';

-- Lock class of the advisory lock a registered server's session holds.
CREATE OR REPLACE FUNCTION draserm.lock_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19284 $$;

-- True while the session that registered the server of this session id
-- lives (it holds the server's lock; the lock goes with the session).
CREATE OR REPLACE FUNCTION draserm.alive(audsid integer) RETURNS boolean
LANGUAGE sql STABLE AS $$
  SELECT EXISTS (SELECT 1 FROM pg_locks l
                  WHERE l.locktype = 'advisory' AND l.granted
                    AND l.classid = draserm.lock_class() AND l.objid = alive.audsid
                    AND l.objsubid = 2)
$$;

-- Register the calling server: its name, mailbox address and session id.
CREATE OR REPLACE PROCEDURE draserm.add(person_mask text, INOUT name text,
                                        INOUT addr text, INOUT audsid integer)
LANGUAGE plpgsql AS $$
DECLARE
  n integer := nextval('draserm.server_seq');
BEGIN
  CALL dispatcher.recover_stale();
  name := 'DRSRV_' || n;
  addr := 'DRMBOX_' || n;
  audsid := n;
  PERFORM pg_advisory_lock(draserm.lock_class(), n);
  INSERT INTO draserm.server (name, mbox, audsid, person_mask, backend_pid)
  VALUES (add.name, add.addr, add.audsid, upper(add.person_mask), pg_backend_pid());
END $$;

-- Report a server's status, mask and idle time.
CREATE OR REPLACE PROCEDURE draserm.upd(name text, status text, person_mask text, idle_time integer)
LANGUAGE plpgsql AS $$
BEGIN
  UPDATE draserm.server s
     SET status = upd.status, person_mask = upper(upd.person_mask),
         idle_time = coalesce(upd.idle_time, 0), updated_at = clock_timestamp()
   WHERE s.name = upper(upd.name);
  IF NOT FOUND THEN
    CALL dr_def.raise_error(format('server %s is not registered', upd.name));
  END IF;
END $$;

-- Remove a server from the registry; what it still had is settled.
CREATE OR REPLACE PROCEDURE draserm.del(name text)
LANGUAGE plpgsql AS $$
DECLARE
  sid integer;
BEGIN
  DELETE FROM draserm.server s WHERE s.name = upper(del.name) RETURNING s.audsid INTO sid;
  IF sid IS NOT NULL THEN
    PERFORM pg_advisory_unlock(draserm.lock_class(), sid);
  END IF;
  CALL dispatcher.recover_stale();
END $$;
