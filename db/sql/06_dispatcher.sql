-- Commands to the servers and their replies.
-- A command waits in dispatcher.message until a server whose personality mask
-- holds the command's letter takes it through listener.get_cmd; the server
-- answers through dispatcher.reply. Servers call these on a connection in
-- autocommit, so a reply is seen at once. Queuing a command notifies the
-- servers (dispatcher.ring) in the same transaction, so an idle server
-- wakes when it is committed. The server that takes a command holds a
-- session-level advisory lock on its id until the final reply, so a
-- waiting submitter blocks on that lock instead of polling (see await).
--
-- Users reach this only through the doors at the end (submit, post,
-- wait_reply, interrupt and the view messages): the functions that touch the
-- tables run with the owner's rights (SECURITY DEFINER, fixed search_path)
-- and act for session_user alone, so nobody can read, take, forge or reorder
-- another user's messages or replies.

CREATE SCHEMA IF NOT EXISTS dispatcher;
CREATE SCHEMA IF NOT EXISTS listener;
-- Message ids wrap to ids not in use (see next_id), so they never run out.
CREATE SEQUENCE IF NOT EXISTS dispatcher.message_seq AS integer MINVALUE 1 CYCLE;
ALTER SEQUENCE dispatcher.message_seq AS integer MINVALUE 1 MAXVALUE 2147483647 CYCLE;

-- What each command needs: the letter of the personality mask that takes it
-- (null: any server), the right its sender must hold (admin: an
-- administrator; owner: the owner of the policy its policy_arg names, or an
-- administrator; select: SELECT on that policy's table), and whether a
-- successful command is answered at all. Commands not listed go to any
-- server, need no right and are answered.
CREATE TABLE IF NOT EXISTS dispatcher.command_route (
  command     integer PRIMARY KEY,
  personality char(1) CHECK (personality IN ('D', 'M', 'Q', 'R', 'L')),
  name        varchar(30) NOT NULL
);
ALTER TABLE dispatcher.command_route ALTER COLUMN personality DROP NOT NULL;
ALTER TABLE dispatcher.command_route ADD COLUMN IF NOT EXISTS needs varchar(8)
  CHECK (needs IN ('admin', 'owner', 'select'));
ALTER TABLE dispatcher.command_route ADD COLUMN IF NOT EXISTS policy_arg smallint
  CHECK (policy_arg BETWEEN 1 AND 10);
ALTER TABLE dispatcher.command_route ADD COLUMN IF NOT EXISTS replies boolean NOT NULL DEFAULT true;
INSERT INTO dispatcher.command_route AS r (command, personality, name, needs, policy_arg, replies) VALUES
  (10, 'D', 'begin_index', 'owner', 1, true), (11, 'D', 'populate_index', 'owner', 1, true),
  (12, 'D', 'drop_index', 'owner', 1, true), (13, 'D', 'truncate_index', 'owner', 1, true),
  (14, 'D', 'opt_index', 'owner', 1, true), (29, 'D', 'end_index', 'owner', 1, true),
  (33, 'D', 'end_opt_index', 'owner', 1, true), (37, 'D', 'begin_opt_index', 'owner', 1, true),
  (40, 'D', 'vop', NULL, NULL, true),
  (18, 'M', 'sync_to_now', NULL, NULL, true), (19, 'M', 'sync_to_timestamp', NULL, NULL, true),
  (15, 'Q', 'contains', 'select', 1, true), (16, 'Q', 'highlight', 'select', 1, true),
  (17, 'Q', 'html_highlight', NULL, NULL, true), (30, 'Q', 'bankquery', NULL, NULL, true),
  (31, 'Q', 'wordassist', NULL, NULL, true), (32, 'Q', 'check_query', 'select', 1, true),
  (34, 'Q', 'rw_parse', NULL, NULL, true), (35, 'Q', 'rw_noop', NULL, NULL, true),
  (36, 'Q', 'rw_close', NULL, NULL, true), (38, 'Q', 'count_hits', 'select', 1, true),
  (39, 'Q', 'estimate_hits', 'select', 1, true), (41, 'Q', 'contains_fetch', 'select', 1, true),
  (42, 'Q', 'sqe', 'select', 2, true), (43, 'Q', 'sorted_fetch', 'select', 1, true),
  (44, 'Q', 'clear_result', NULL, NULL, true), (46, 'Q', 'gettab', NULL, NULL, true),
  (47, 'Q', 'reltab', NULL, NULL, true), (48, 'Q', 'inst_callback', NULL, NULL, true),
  (20, NULL, 'refresh', NULL, NULL, false),
  (21, NULL, 'shutdown', 'admin', NULL, true), (22, NULL, 'change_mask', 'admin', NULL, true),
  (23, NULL, 'continue', 'admin', NULL, true), (24, NULL, 'continue', 'admin', NULL, true),
  (25, NULL, 'change_mask', 'admin', NULL, true)
ON CONFLICT (command) DO UPDATE
   SET personality = excluded.personality, name = excluded.name, needs = excluded.needs,
       policy_arg = excluded.policy_arg, replies = excluded.replies;

-- States: Q queued, S in service, D answered, N taken by a server that
-- answers only a failure (nobody waits for it), W withdrawn by its
-- submitter while in service (its late reply is dropped).
CREATE TABLE IF NOT EXISTS dispatcher.message (
  id             integer PRIMARY KEY,
  command        integer NOT NULL,
  personality    char(1),                 -- letter the mask must hold; null: any server
  target_mbox    varchar(29),             -- one given server, or null
  return_address varchar(64) NOT NULL,
  username       text NOT NULL,           -- session_user of the sender
  args           text[] NOT NULL,
  state          char(1) NOT NULL DEFAULT 'Q',
  server_name    varchar(29),
  tries          integer NOT NULL DEFAULT 0,
  queued_at      timestamptz NOT NULL DEFAULT clock_timestamp(),
  taken_at       timestamptz
);
ALTER TABLE dispatcher.message ALTER COLUMN id DROP DEFAULT;
ALTER TABLE dispatcher.message ALTER COLUMN username DROP DEFAULT;
CREATE INDEX IF NOT EXISTS message_queued ON dispatcher.message (id) WHERE state = 'Q';
CREATE INDEX IF NOT EXISTS message_served ON dispatcher.message (server_name) WHERE state IN ('S', 'W');

CREATE TABLE IF NOT EXISTS dispatcher.reply_message (
  seq            bigserial PRIMARY KEY,
  message_id     integer NOT NULL,
  return_address varchar(64),
  code           integer NOT NULL,        -- 101 success, 102 error, 105 data
  args           text[] NOT NULL,
  created_at     timestamptz NOT NULL DEFAULT clock_timestamp()
);
CREATE INDEX IF NOT EXISTS reply_message_id ON dispatcher.reply_message (message_id);

-- Out-of-band messages for a server, oldest first.
CREATE TABLE IF NOT EXISTS dispatcher.oob (
  seq            bigserial PRIMARY KEY,
  server_name    varchar(29) NOT NULL,
  return_address varchar(64),
  username       text,
  command        integer NOT NULL,
  arg1           text,
  created_at     timestamptz NOT NULL DEFAULT clock_timestamp()
);

-- The caller's messages not yet answered, for finding the id of a command to
-- interrupt.
CREATE OR REPLACE VIEW dispatcher.messages AS
  SELECT m.id, m.command, m.username AS "user",
         CASE m.state WHEN 'Q' THEN 'queued' ELSE 'in service' END AS state,
         m.server_name, m.queued_at
    FROM dispatcher.message m
   WHERE m.state IN ('Q', 'S') AND m.username = session_user;

-- Lock class of the advisory locks on message ids.
CREATE OR REPLACE FUNCTION dispatcher.lock_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19283 $$;
-- The other waits of a message's life (see await): the two gates of a
-- polling server (this class and the next, keyed by its session id), the
-- lock a final reply holds until it commits, and the lock a waiting
-- submitter holds while its command is queued (both keyed by message id).
CREATE OR REPLACE FUNCTION dispatcher.gate_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19285 $$;
CREATE OR REPLACE FUNCTION dispatcher.commit_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19287 $$;
CREATE OR REPLACE FUNCTION dispatcher.line_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19288 $$;

-- Waits up to ms milliseconds for an advisory lock that another session
-- holds and lets it go again at once; false when the time ran out. Shared
-- waits never hold up the holder's next exclusive lock for longer than
-- this call.
CREATE OR REPLACE FUNCTION dispatcher.wait_lock(cls integer, key integer, ms integer,
                                                shared boolean DEFAULT false)
RETURNS boolean
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM set_config('lock_timeout', greatest(ms, 1)::text, true);
  BEGIN
    IF shared THEN
      PERFORM pg_advisory_lock_shared(cls, key);
      PERFORM pg_advisory_unlock_shared(cls, key);
    ELSE
      PERFORM pg_advisory_lock(cls, key);
      PERFORM pg_advisory_unlock(cls, key);
    END IF;
  EXCEPTION WHEN lock_not_available THEN
    PERFORM set_config('lock_timeout', '0', true);
    RETURN false;
  END;
  PERFORM set_config('lock_timeout', '0', true);
  RETURN true;
END $$;

-- True when another session holds the advisory lock (in any mode): a
-- shared try that fails, or succeeds and is let go at once.
CREATE OR REPLACE FUNCTION dispatcher.held(cls integer, key integer) RETURNS boolean
LANGUAGE plpgsql AS $$
BEGIN
  IF pg_try_advisory_lock_shared(cls, key) THEN
    PERFORM pg_advisory_unlock_shared(cls, key);
    RETURN false;
  END IF;
  RETURN true;
END $$;

-- True while the server of this session id and backend lives: a shared try
-- on its registry lock, without reading the whole lock table; the calling
-- session's own locks are read from the lock table (a shared try of one's
-- own lock succeeds). In PL/pgSQL rather than SQL, here and in stale, so
-- that a server's poll reuses the plans its session made instead of
-- planning them again in every transaction.
CREATE OR REPLACE FUNCTION dispatcher.live(audsid integer, backend_pid integer) RETURNS boolean
LANGUAGE plpgsql VOLATILE AS $$
BEGIN
  IF backend_pid = pg_backend_pid() THEN
    RETURN draserm.alive(audsid);
  END IF;
  RETURN dispatcher.held(draserm.lock_class(), audsid);
END $$;

-- Lets go of the waits of a submitter that stopped waiting half-way (an
-- error or a cancel): the lock it holds while its command is queued, and
-- any lock it was waiting for when it stopped.
CREATE OR REPLACE PROCEDURE dispatcher.let_go(message_id integer)
LANGUAGE plpgsql AS $$
DECLARE
  l record;
BEGIN
  FOR l IN SELECT x.classid::bigint::integer AS cls, x.objid::bigint::integer AS key,
                  x.mode = 'ShareLock' AS shared
             FROM pg_locks x
            WHERE x.locktype = 'advisory' AND x.pid = pg_backend_pid() AND x.granted
              AND x.objsubid = 2
              AND ((x.classid::bigint = dispatcher.line_class() AND x.objid::bigint = message_id)
                   OR (x.mode = 'ShareLock'
                       AND x.classid::bigint IN (dispatcher.gate_class(), dispatcher.gate_class() + 1,
                                                 dispatcher.commit_class(),
                                                 dispatcher.line_class()))) LOOP
    IF l.shared THEN
      PERFORM pg_advisory_unlock_shared(l.cls, l.key);
    ELSE
      PERFORM pg_advisory_unlock(l.cls, l.key);
    END IF;
  END LOOP;
END $$;

-- True for an administrator: a member of kestrin_admin, or the owner of the
-- database side (the role the servers log in as).
CREATE OR REPLACE FUNCTION dispatcher.is_admin(usr text) RETURNS boolean
LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
  SELECT usr = (SELECT pg_get_userbyid(n.nspowner)::text FROM pg_namespace n
                 WHERE n.nspname = 'dispatcher')
      OR (EXISTS (SELECT 1 FROM pg_roles r WHERE r.rolname = usr)
          AND pg_has_role(usr, 'kestrin_admin', 'MEMBER'))
$$;

-- The next message id not in use; the sequence wraps after 2^31 - 1.
CREATE OR REPLACE FUNCTION dispatcher.next_id() RETURNS integer
LANGUAGE plpgsql AS $$
DECLARE
  n integer;
BEGIN
  FOR i IN 1 .. 10000 LOOP
    n := nextval('dispatcher.message_seq');
    IF NOT EXISTS (SELECT 1 FROM dispatcher.message m WHERE m.id = n)
       AND NOT EXISTS (SELECT 1 FROM dispatcher.reply_message r WHERE r.message_id = n) THEN
      RETURN n;
    END IF;
  END LOOP;
  CALL dr_def.raise_error('no free message id');
END $$;

-- Refuses a command its sender may not send (see command_route).
CREATE OR REPLACE PROCEDURE dispatcher.check_rights(usr text, command integer, args text[])
LANGUAGE plpgsql SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  r dispatcher.command_route%ROWTYPE;
  a text;
  pid integer;
  p dr$policy%ROWTYPE;
  tab regclass;
BEGIN
  SELECT * INTO r FROM dispatcher.command_route x WHERE x.command = check_rights.command;
  IF NOT FOUND OR r.needs IS NULL THEN
    RETURN;
  END IF;
  IF r.needs = 'admin' THEN
    IF NOT dispatcher.is_admin(usr) THEN
      CALL dr_def.raise_error(format('user %s may not send command %s (%s): it is for administrators',
                                     usr, command, r.name));
    END IF;
    RETURN;
  END IF;
  a := btrim(args[r.policy_arg]);
  IF a IS NULL OR a !~ '^[+-]?[0-9]{1,10}$' OR a::bigint NOT BETWEEN -2147483648 AND 2147483647 THEN
    CALL dr_def.raise_error(format('command %s (%s) needs a policy id in argument %s, not %s',
                                   command, r.name, r.policy_arg, coalesce(quote_literal(a), 'null')));
  END IF;
  pid := a::integer;
  SELECT * INTO p FROM dr$policy x WHERE x.pol_id = pid;
  IF NOT FOUND THEN
    CALL dr_def.raise_error(format('policy %s does not exist', pid));
  END IF;
  CALL dr_utl.check_policy(pid, command);
  IF r.needs = 'owner' THEN
    IF dr_utl.role_name(p.pol_owner) IS DISTINCT FROM usr AND NOT dispatcher.is_admin(usr) THEN
      CALL dr_def.raise_error(format(
        'user %s may not send command %s (%s) for policy %s: only its owner or an administrator may',
        usr, command, r.name, pid));
    END IF;
  ELSE
    tab := dr_utl.policy_table(pid);
    IF tab IS NULL THEN
      CALL dr_def.raise_error(format('the table of policy %s does not exist', pid));
    END IF;
    IF NOT has_table_privilege(usr, tab, 'SELECT') THEN
      CALL dr_def.raise_error(format(
        'user %s may not send command %s (%s) for policy %s: no SELECT right on its table %s',
        usr, command, r.name, pid, tab));
    END IF;
  END IF;
END $$;

-- Queues a command for session_user after checking the sender's rights and
-- that a running server can take it; its id.
CREATE OR REPLACE FUNCTION dispatcher.enqueue(command integer, args text[],
                                              target_mbox text DEFAULT NULL)
RETURNS integer
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  usr text := session_user;
  pers char(1);
  box text := upper(target_mbox);
  n integer;
BEGIN
  IF command IS NULL THEN
    CALL dr_def.raise_error('a command needs its code');
  END IF;
  IF coalesce(array_length(args, 1), 0) <> 10 THEN
    CALL dr_def.raise_error('a command takes ten arguments');
  END IF;
  CALL dispatcher.check_rights(usr, command, args);
  -- The session id of a command is the submitter's own, never one it names.
  args := dr_sqe.with_session(command, args);
  SELECT r.personality INTO pers FROM dispatcher.command_route r
   WHERE r.command = enqueue.command;
  -- A command that no running server could take would only wait for its
  -- timeout: refuse it now.
  IF box IS NOT NULL THEN
    IF NOT EXISTS (SELECT 1 FROM draserm.server s
                    WHERE s.mbox = box AND dispatcher.live(s.audsid, s.backend_pid)) THEN
      CALL dr_def.raise_error(format('no running server has the mailbox %s', target_mbox));
    END IF;
  ELSIF NOT EXISTS (SELECT 1 FROM draserm.server s
                     WHERE (pers IS NULL OR position(pers IN coalesce(s.person_mask, '')) > 0)
                       AND dispatcher.live(s.audsid, s.backend_pid)) THEN
    IF pers IS NULL THEN
      CALL dr_def.raise_error(format('no running server takes command %s', command));
    END IF;
    CALL dr_def.raise_error(format('no running server takes command %s: none has the personality %s',
                                   command, pers));
  END IF;
  n := dispatcher.next_id();
  INSERT INTO dispatcher.message (id, command, personality, target_mbox, return_address,
                                  username, args)
  VALUES (n, enqueue.command, pers, box, 'SUBMIT_' || n, usr, args);
  CALL dispatcher.ring();
  RETURN n;
END $$;

-- Queue a command without waiting; its id comes back.
CREATE OR REPLACE PROCEDURE dispatcher.post(command integer,
    arg1 text DEFAULT NULL, arg2 text DEFAULT NULL, arg3 text DEFAULT NULL,
    arg4 text DEFAULT NULL, arg5 text DEFAULT NULL, arg6 text DEFAULT NULL,
    arg7 text DEFAULT NULL, arg8 text DEFAULT NULL, arg9 text DEFAULT NULL,
    arg10 text DEFAULT NULL, INOUT message_id integer DEFAULT NULL,
    target_mbox text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  message_id := dispatcher.enqueue(command,
    ARRAY[arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10], target_mbox);
END $$;

-- Gives up on a message: still queued, it is deleted; in service, its
-- server is told to interrupt it and its late reply will be dropped.
CREATE OR REPLACE PROCEDURE dispatcher.withdraw(message_id integer)
LANGUAGE plpgsql AS $$
DECLARE
  m dispatcher.message%ROWTYPE;
BEGIN
  SELECT * INTO m FROM dispatcher.message x WHERE x.id = withdraw.message_id FOR UPDATE;
  IF m.state = 'Q' THEN
    DELETE FROM dispatcher.message x WHERE x.id = m.id;
  ELSIF m.state = 'S' THEN
    INSERT INTO dispatcher.oob (server_name, return_address, username, command, arg1)
    VALUES (m.server_name, 'INTERRUPT_' || m.id, m.username, 1, m.id::text);
    UPDATE dispatcher.message x SET state = 'W' WHERE x.id = m.id;
  END IF;
END $$;

-- Waits up to timeout_s seconds for the outcome of one of session_user's
-- messages: 'answered' with the final reply's code and arguments and the
-- data of the data replies joined in order (the message and its replies are
-- then removed); 'taken' when a server took a command that it answers only
-- on failure (code null); 'timeout' after withdrawing it, with the seconds
-- waited and the state it was in. A message whose server died is answered
-- here with an error that says so.
--
-- The wait blocks on locks that the servers let go when something happens,
-- never on a fixed sleep, and each block lasts at most a second (a fifth of
-- one while the command is queued), after which the message is looked at
-- again:
-- - queued: the submitter holds its line lock, so that the submitter of
--   the next queued command of the same kind waits for it rather than for
--   the servers; the first in line waits on the gate of a server that could
--   take the command, which the server moves with each poll;
-- - in service: on the server's lock on the message id, which the final
--   reply lets go, and then on the reply's commit lock, held until the
--   reply is committed; a server that dies loses its locks at once.
CREATE OR REPLACE FUNCTION dispatcher.await(message_id integer, timeout_s integer,
    OUT outcome text, OUT reply_code integer, OUT reply_args text[], OUT reply_data bytea,
    OUT waited numeric, OUT last_state text)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  usr text := session_user;
  started timestamptz := clock_timestamp();
  deadline timestamptz := clock_timestamp() + make_interval(secs => greatest(coalesce(timeout_s, 60), 0));
  m dispatcher.message%ROWTYPE;
  left_ms integer;
  in_line boolean := false;
  ahead integer;
  gate_key integer[];
  gc integer;
  turn integer := 0;
  g integer;
  wait_start timestamptz;
  quick integer := 0;
  was char(1);
BEGIN
  BEGIN
    LOOP
      SELECT * INTO m FROM dispatcher.message x
       WHERE x.id = await.message_id AND x.username = usr;
      IF NOT FOUND THEN
        CALL dr_def.raise_error(format('message %s does not exist', message_id));
      END IF;
      IF in_line AND m.state <> 'Q' THEN
        PERFORM pg_advisory_unlock(dispatcher.line_class(), m.id);
        in_line := false;
      END IF;
      SELECT r.code, r.args INTO reply_code, reply_args
        FROM dispatcher.reply_message r
       WHERE r.message_id = m.id AND r.code IN (101, 102)
       ORDER BY r.seq LIMIT 1;
      IF FOUND THEN
        outcome := 'answered';
        EXIT;
      END IF;
      IF m.state = 'N' THEN
        outcome := 'taken';
        EXIT;
      END IF;
      IF m.state = 'S' AND NOT EXISTS (SELECT 1 FROM draserm.server s
                                        WHERE s.name = m.server_name
                                          AND dispatcher.live(s.audsid, s.backend_pid)) THEN
        -- Its server is gone: settled with an error reply, read on the next pass.
        CALL dispatcher.recover_stale();
        CONTINUE;
      END IF;
      left_ms := floor(extract(epoch FROM deadline - clock_timestamp()) * 1000);
      IF left_ms <= 0 THEN
        IF in_line THEN
          PERFORM pg_advisory_unlock(dispatcher.line_class(), m.id);
          in_line := false;
        END IF;
        outcome := 'timeout';
        waited := round(extract(epoch FROM clock_timestamp() - started)::numeric, 1);
        last_state := CASE m.state WHEN 'Q' THEN 'queued' ELSE 'in service' END;
        CALL dispatcher.withdraw(m.id);
        RETURN;
      END IF;
      left_ms := least(left_ms, 1000);
      -- Passes whose wait found nothing held, one after another (a state
      -- in passing, such as a server between two polls), back off a
      -- little, so that nothing spins.
      IF m.state IS DISTINCT FROM was THEN
        quick := 0;
        was := m.state;
      END IF;
      IF quick > 3 THEN
        PERFORM pg_sleep(least(quick, 20) / 1000.0);
      END IF;
      wait_start := clock_timestamp();
      IF m.state = 'S' THEN
        IF dispatcher.wait_lock(dispatcher.lock_class(), m.id, left_ms) THEN
          PERFORM dispatcher.wait_lock(dispatcher.commit_class(), m.id, left_ms, true);
        END IF;
      ELSIF m.state = 'Q' THEN
        -- A queued command can also end without any server (an interrupt
        -- answers it): looked at again at least five times a second.
        left_ms := least(left_ms, 200);
        IF NOT in_line THEN
          in_line := pg_try_advisory_lock(dispatcher.line_class(), m.id);
        END IF;
        SELECT max(x.id) INTO ahead FROM dispatcher.message x
         WHERE x.state = 'Q' AND x.id < m.id
           AND x.personality IS NOT DISTINCT FROM m.personality
           AND x.target_mbox IS NOT DISTINCT FROM m.target_mbox;
        IF ahead IS NOT NULL AND dispatcher.held(dispatcher.line_class(), ahead) THEN
          PERFORM dispatcher.wait_lock(dispatcher.line_class(), ahead, left_ms, true);
        ELSE
          -- The gates the servers that could take it hold now, found before
          -- the message is looked at again, so that no poll between the
          -- two goes unnoticed.
          SELECT array_agg(s.audsid ORDER BY s.audsid) INTO gate_key
            FROM draserm.server s
           WHERE m.target_mbox = s.mbox
              OR (m.target_mbox IS NULL
                  AND (m.personality IS NULL
                       OR position(m.personality IN coalesce(s.person_mask, '')) > 0));
          g := NULL;
          -- Servers take turns, so that one that looked and found the
          -- command taken by another does not keep this one waiting.
          FOR k IN 1 .. coalesce(array_length(gate_key, 1), 0) LOOP
            turn := turn + 1;
            g := gate_key[1 + turn % array_length(gate_key, 1)];
            gc := CASE WHEN dispatcher.held(dispatcher.gate_class(), g) THEN dispatcher.gate_class()
                       WHEN dispatcher.held(dispatcher.gate_class() + 1, g)
                       THEN dispatcher.gate_class() + 1 END;
            EXIT WHEN gc IS NOT NULL;
            g := NULL;
          END LOOP;
          IF g IS NULL THEN
            -- No server that could take it polls yet.
            PERFORM pg_sleep(least(left_ms, 10) / 1000.0);
          ELSIF (SELECT x.state FROM dispatcher.message x WHERE x.id = m.id) = 'Q' THEN
            PERFORM dispatcher.wait_lock(gc, g, left_ms, true);
          END IF;
        END IF;
      ELSE
        PERFORM pg_sleep(0.001);
      END IF;
      quick := CASE WHEN clock_timestamp() - wait_start < interval '100 microseconds'
                    THEN quick + 1 ELSE 0 END;
    END LOOP;
  EXCEPTION WHEN OTHERS OR query_canceled THEN
    CALL dispatcher.let_go(message_id);
    RAISE;
  END;
  SELECT convert_to(string_agg(coalesce(r.args[1], ''), '' ORDER BY r.seq), 'UTF8')
    INTO reply_data
    FROM dispatcher.reply_message r
   WHERE r.message_id = m.id AND r.code = 105;
  DELETE FROM dispatcher.reply_message r WHERE r.message_id = m.id;
  DELETE FROM dispatcher.message x WHERE x.id = m.id;
END $$;

-- Waits for the reply to a command (see await) and returns its code (101,
-- 102, or null for a command answered only on failure), its ten arguments
-- and the data of any data replies joined in order. A timeout withdraws the
-- command and raises an error that names the message and the time waited.
-- Needs to run outside an explicit transaction, so that the withdrawal is
-- committed before the error.
CREATE OR REPLACE PROCEDURE dispatcher.wait_reply(message_id integer, timeout_s integer DEFAULT 60,
    INOUT reply_code integer DEFAULT NULL, INOUT reply_args text[] DEFAULT NULL,
    INOUT reply_data bytea DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
  o record;
  cancelled boolean := false;
BEGIN
  BEGIN
    SELECT * INTO o FROM dispatcher.await(message_id, timeout_s);
  EXCEPTION WHEN query_canceled THEN
    cancelled := true;
  END;
  IF cancelled THEN
    -- A submitter that is cancelled while it waits gives up as on a
    -- timeout, so that its command leaves nothing behind.
    PERFORM dispatcher.await(message_id, 0);
    COMMIT;
    RAISE EXCEPTION USING ERRCODE = 'query_canceled',
      MESSAGE = 'canceling statement due to user request';
  END IF;
  IF o.outcome = 'timeout' THEN
    COMMIT;
    RAISE EXCEPTION USING ERRCODE = 'DRT01', MESSAGE = format(
      'message %s got no reply within %s s (state %s): withdrawn', message_id, o.waited,
      o.last_state);
  END IF;
  reply_code := o.reply_code;
  reply_args := o.reply_args;
  reply_data := o.reply_data;
END $$;

-- Queue a command for the servers whose mask takes it (or for the one server
-- of target_mbox), commit, and wait for its reply (see wait_reply). Needs to
-- run outside an explicit transaction.
DO $$ BEGIN
  -- An earlier signature without target_mbox.
  DROP PROCEDURE IF EXISTS dispatcher.submit(integer, text, text, text, text, text, text, text,
    text, text, text, integer, integer, integer, text[], bytea);
END $$;
CREATE OR REPLACE PROCEDURE dispatcher.submit(command integer,
    arg1 text DEFAULT NULL, arg2 text DEFAULT NULL, arg3 text DEFAULT NULL,
    arg4 text DEFAULT NULL, arg5 text DEFAULT NULL, arg6 text DEFAULT NULL,
    arg7 text DEFAULT NULL, arg8 text DEFAULT NULL, arg9 text DEFAULT NULL,
    arg10 text DEFAULT NULL, timeout_s integer DEFAULT 60,
    INOUT message_id integer DEFAULT NULL, INOUT reply_code integer DEFAULT NULL,
    INOUT reply_args text[] DEFAULT NULL, INOUT reply_data bytea DEFAULT NULL,
    target_mbox text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  message_id := dispatcher.enqueue(command,
    ARRAY[arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10], target_mbox);
  COMMIT;
  CALL dispatcher.wait_reply(message_id, timeout_s, reply_code, reply_args, reply_data);
END $$;

-- A server's reply (101 success, 102 error, 105 data) to a message. Only a
-- message in service takes replies: one whose submitter withdrew it or
-- does not wait for it drops them (and goes with its final reply).
CREATE OR REPLACE PROCEDURE dispatcher.reply(address text, id integer, command integer,
    arg1 text, arg2 text, arg3 text, arg4 text, arg5 text,
    arg6 text, arg7 text, arg8 text, arg9 text, arg10 text)
LANGUAGE plpgsql AS $$
DECLARE
  st char(1);
  final boolean := reply.command IN (101, 102);
BEGIN
  IF final THEN
    -- Held until this reply is committed: the submitter waits on it after
    -- the message lock below is let go.
    PERFORM pg_advisory_xact_lock(dispatcher.commit_class(), reply.id);
  END IF;
  SELECT m.state INTO st FROM dispatcher.message m WHERE m.id = reply.id FOR UPDATE;
  IF st = 'S' THEN
    INSERT INTO dispatcher.reply_message (message_id, return_address, code, args)
    VALUES (reply.id, reply.address, reply.command,
            ARRAY[arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10]);
    IF final THEN
      UPDATE dispatcher.message m SET state = 'D' WHERE m.id = reply.id;
    END IF;
  ELSIF st = 'W' AND final THEN
    DELETE FROM dispatcher.reply_message r WHERE r.message_id = reply.id;
    DELETE FROM dispatcher.message m WHERE m.id = reply.id;
  END IF;
  -- The server that took the message in service holds its lock (the
  -- replies come on the connection it polls on).
  IF final AND st IN ('S', 'W') THEN
    PERFORM pg_advisory_unlock(dispatcher.lock_class(), reply.id);
  END IF;
END $$;

-- Interrupt one of session_user's commands: in service, its server gets an
-- out-of-band message naming it; still queued, it is withdrawn and answered
-- with an error.
CREATE OR REPLACE PROCEDURE dispatcher.interrupt(message_id integer)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  m dispatcher.message%ROWTYPE;
BEGIN
  SELECT * INTO m FROM dispatcher.message x
   WHERE x.id = interrupt.message_id AND x.username = session_user FOR UPDATE;
  IF NOT FOUND OR m.state NOT IN ('Q', 'S') THEN
    CALL dr_def.raise_error(format('message %s is neither queued nor in service', message_id));
  END IF;
  IF m.state = 'S' THEN
    INSERT INTO dispatcher.oob (server_name, return_address, username, command, arg1)
    VALUES (m.server_name, 'INTERRUPT_' || m.id, session_user, 1, m.id::text);
  ELSE
    UPDATE dispatcher.message x SET state = 'D' WHERE x.id = m.id;
    INSERT INTO dispatcher.reply_message (message_id, return_address, code, args)
    VALUES (m.id, m.return_address, 102,
            ARRAY[format('message %s interrupted before a server took it', m.id) || E'\n',
                  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL]);
  END IF;
END $$;

-- The next out-of-band message for the calling server: ret 0 with the
-- message, or 1 when none waits.
CREATE OR REPLACE PROCEDURE dispatcher.get_oob(INOUT ret integer, INOUT id integer,
    INOUT return_address text, INOUT "user" text, INOUT command integer, INOUT arg1 text)
LANGUAGE plpgsql AS $$
DECLARE
  o dispatcher.oob%ROWTYPE;
BEGIN
  DELETE FROM dispatcher.oob x
   WHERE x.seq = (SELECT y.seq FROM dispatcher.oob y
                   WHERE y.server_name IN (SELECT s.name FROM draserm.server s
                                            WHERE s.backend_pid = pg_backend_pid())
                   ORDER BY y.seq LIMIT 1 FOR UPDATE SKIP LOCKED)
  RETURNING * INTO o;
  IF o.seq IS NULL THEN
    ret := 1;
    RETURN;
  END IF;
  ret := 0;
  id := o.seq;
  return_address := o.return_address;
  "user" := o.username;
  command := o.command;
  arg1 := o.arg1;
END $$;

-- Settles what servers whose session ended left behind. A command they had
-- in service is answered with an error that says so and not handed to
-- another server (it may have done part of its work; indexing commands have
-- their own resume); one its submitter withdrew goes. Batches and requests
-- are retried, and set aside after too many tries.
CREATE OR REPLACE PROCEDURE dispatcher.recover_stale()
LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM draserm.server s WHERE NOT draserm.alive(s.audsid);

  WITH gone AS (
    UPDATE dispatcher.message m SET state = 'D'
     WHERE m.state = 'S'
       AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.name = m.server_name)
    RETURNING m.id, m.return_address, m.server_name)
  INSERT INTO dispatcher.reply_message (message_id, return_address, code, args)
  SELECT g.id, g.return_address, 102,
         ARRAY[format('server %s ended while serving message %s; the command may be partly done',
                      g.server_name, g.id) || E'\n',
               NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL]
    FROM gone g;
  DELETE FROM dispatcher.message m
   WHERE m.state = 'W'
     AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.name = m.server_name);

  UPDATE srcq.batch b
     SET state = CASE WHEN b.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END,
         errors = coalesce(b.errors, 'server ended while loading'), sid = NULL
   WHERE b.state = 'I' AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.audsid = b.sid);
  UPDATE svcq.request r
     SET status = CASE WHEN r.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END, sid = NULL
   WHERE r.status = 'I' AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.audsid = r.sid);
  UPDATE dmlq.queue q
     SET state = CASE WHEN q.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END, sid = NULL
   WHERE q.state = 'I' AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.audsid = q.sid);
  CALL dispatcher.ring();
END $$;

-- True when a server whose session ended left something to settle; poller
-- is the session id of the server that asks, which lives.
DROP FUNCTION IF EXISTS dispatcher.stale();
CREATE OR REPLACE FUNCTION dispatcher.stale(poller integer) RETURNS boolean
LANGUAGE plpgsql VOLATILE AS $$
BEGIN
  RETURN EXISTS (SELECT 1 FROM draserm.server s
                  WHERE s.audsid IS DISTINCT FROM poller
                    AND NOT dispatcher.live(s.audsid, s.backend_pid))
      OR EXISTS (SELECT 1 FROM dispatcher.message m
                  WHERE m.state IN ('S', 'W')
                    AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.name = m.server_name));
END $$;
