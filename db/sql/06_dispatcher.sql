-- Commands to the servers and their replies.
-- A command waits in dispatcher.message until a server whose personality mask
-- holds the command's letter takes it through listener.get_cmd; the server
-- answers through dispatcher.reply. Servers call these on a connection in
-- autocommit, so a reply is seen at once. The server that takes a command
-- holds a session-level advisory lock on its id until the final reply, so a
-- waiting submitter blocks on that lock instead of polling.

CREATE SCHEMA IF NOT EXISTS dispatcher;
CREATE SCHEMA IF NOT EXISTS listener;
CREATE SEQUENCE IF NOT EXISTS dispatcher.message_seq;

-- The letter of the personality mask that takes each command; commands not
-- listed go to any server.
CREATE TABLE IF NOT EXISTS dispatcher.command_route (
  command     integer PRIMARY KEY,
  personality char(1) NOT NULL CHECK (personality IN ('D', 'M', 'Q', 'R', 'L')),
  name        varchar(30) NOT NULL
);
INSERT INTO dispatcher.command_route (command, personality, name) VALUES
  (10, 'D', 'begin_index'), (11, 'D', 'populate_index'), (12, 'D', 'drop_index'),
  (13, 'D', 'truncate_index'), (14, 'D', 'opt_index'), (29, 'D', 'end_index'),
  (33, 'D', 'end_opt_index'), (37, 'D', 'begin_opt_index'), (40, 'D', 'vop'),
  (18, 'M', 'sync_to_now'), (19, 'M', 'sync_to_timestamp'),
  (15, 'Q', 'contains'), (16, 'Q', 'highlight'), (17, 'Q', 'html_highlight'),
  (30, 'Q', 'bankquery'), (31, 'Q', 'wordassist'), (32, 'Q', 'check_query'),
  (34, 'Q', 'rw_parse'), (35, 'Q', 'rw_noop'), (36, 'Q', 'rw_close'),
  (38, 'Q', 'count_hits'), (39, 'Q', 'estimate_hits'), (41, 'Q', 'contains_fetch'),
  (42, 'Q', 'sqe'), (43, 'Q', 'sorted_fetch'), (44, 'Q', 'clear_result'),
  (46, 'Q', 'gettab'), (47, 'Q', 'reltab'), (48, 'Q', 'inst_callback')
ON CONFLICT (command) DO NOTHING;

CREATE TABLE IF NOT EXISTS dispatcher.message (
  id             integer PRIMARY KEY DEFAULT nextval('dispatcher.message_seq'),
  command        integer NOT NULL,
  personality    char(1),                 -- letter the mask must hold; null: any server
  target_mbox    varchar(29),             -- one given server, or null
  return_address varchar(64) NOT NULL,
  username       varchar(64) NOT NULL DEFAULT upper(current_user),
  args           text[] NOT NULL,
  state          char(1) NOT NULL DEFAULT 'Q',  -- Q queued, S in service, D answered, X set aside
  server_name    varchar(29),
  tries          integer NOT NULL DEFAULT 0,
  queued_at      timestamptz NOT NULL DEFAULT clock_timestamp(),
  taken_at       timestamptz
);
CREATE INDEX IF NOT EXISTS message_queued ON dispatcher.message (id) WHERE state = 'Q';

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
  username       varchar(64),
  command        integer NOT NULL,
  arg1           text,
  created_at     timestamptz NOT NULL DEFAULT clock_timestamp()
);

-- Messages not yet answered, for finding the id of a command to interrupt.
CREATE OR REPLACE VIEW dispatcher.messages AS
  SELECT m.id, m.command, m.username AS "user",
         CASE m.state WHEN 'Q' THEN 'queued' ELSE 'in service' END AS state,
         m.server_name, m.queued_at
    FROM dispatcher.message m
   WHERE m.state IN ('Q', 'S');

-- Lock class of the advisory locks on message ids.
CREATE OR REPLACE FUNCTION dispatcher.lock_class() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 19283 $$;

-- Queue a command without waiting; its id comes back.
CREATE OR REPLACE PROCEDURE dispatcher.post(command integer,
    arg1 text DEFAULT NULL, arg2 text DEFAULT NULL, arg3 text DEFAULT NULL,
    arg4 text DEFAULT NULL, arg5 text DEFAULT NULL, arg6 text DEFAULT NULL,
    arg7 text DEFAULT NULL, arg8 text DEFAULT NULL, arg9 text DEFAULT NULL,
    arg10 text DEFAULT NULL, INOUT message_id integer DEFAULT NULL,
    target_mbox text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  IF command IS NULL THEN
    CALL dr_def.raise_error('a command needs its code');
  END IF;
  message_id := nextval('dispatcher.message_seq');
  INSERT INTO dispatcher.message (id, command, personality, target_mbox, return_address, args)
  VALUES (message_id, post.command,
          (SELECT r.personality FROM dispatcher.command_route r WHERE r.command = post.command),
          upper(post.target_mbox), 'SUBMIT_' || message_id,
          ARRAY[arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10]);
  CALL dispatcher.ring();
END $$;

-- Wait up to timeout_s seconds for the final reply to a command; return its
-- code (101 or 102), its ten arguments and the data of any data replies
-- joined in order. The message and its replies are removed once read.
CREATE OR REPLACE PROCEDURE dispatcher.wait_reply(message_id integer, timeout_s integer DEFAULT 60,
    INOUT reply_code integer DEFAULT NULL, INOUT reply_args text[] DEFAULT NULL,
    INOUT reply_data bytea DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
  started timestamptz := clock_timestamp();
  deadline timestamptz := clock_timestamp() + make_interval(secs => coalesce(timeout_s, 60));
  st char(1);
  left_ms integer;
BEGIN
  LOOP
    SELECT r.code, r.args INTO reply_code, reply_args
      FROM dispatcher.reply_message r
     WHERE r.message_id = wait_reply.message_id AND r.code IN (101, 102)
     ORDER BY r.seq LIMIT 1;
    EXIT WHEN FOUND;
    SELECT m.state INTO st FROM dispatcher.message m WHERE m.id = wait_reply.message_id;
    IF NOT FOUND THEN
      CALL dr_def.raise_error(format('message %s does not exist', message_id));
    END IF;
    left_ms := floor(extract(epoch FROM deadline - clock_timestamp()) * 1000);
    IF left_ms <= 0 THEN
      CALL dr_def.raise_error(format('message %s got no reply within %s s (state %s)',
        message_id, round(extract(epoch FROM clock_timestamp() - started)::numeric, 1),
        CASE st WHEN 'Q' THEN 'queued' WHEN 'S' THEN 'in service' ELSE 'set aside' END));
    END IF;
    IF st = 'S' THEN
      -- The serving server holds the lock until its final reply.
      PERFORM set_config('lock_timeout', least(left_ms, 1000)::text, true);
      BEGIN
        PERFORM pg_advisory_lock(dispatcher.lock_class(), wait_reply.message_id);
        PERFORM pg_advisory_unlock(dispatcher.lock_class(), wait_reply.message_id);
      EXCEPTION WHEN lock_not_available THEN
        NULL;
      END;
      PERFORM set_config('lock_timeout', '0', true);
      -- The lock is released before the reply commits; give it a moment.
      PERFORM pg_sleep(0.0002);
    ELSE
      PERFORM pg_sleep(0.001);
    END IF;
  END LOOP;
  SELECT convert_to(string_agg(coalesce(r.args[1], ''), '' ORDER BY r.seq), 'UTF8')
    INTO reply_data
    FROM dispatcher.reply_message r
   WHERE r.message_id = wait_reply.message_id AND r.code = 105;
  DELETE FROM dispatcher.reply_message r WHERE r.message_id = wait_reply.message_id;
  DELETE FROM dispatcher.message m WHERE m.id = wait_reply.message_id;
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
  CALL dispatcher.post(command, arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10,
                       message_id, target_mbox);
  COMMIT;
  CALL dispatcher.ring();  -- again, now that the command is committed
  CALL dispatcher.wait_reply(message_id, timeout_s, reply_code, reply_args, reply_data);
END $$;

-- A server's reply (101 success, 102 error, 105 data) to a message.
CREATE OR REPLACE PROCEDURE dispatcher.reply(address text, id integer, command integer,
    arg1 text, arg2 text, arg3 text, arg4 text, arg5 text,
    arg6 text, arg7 text, arg8 text, arg9 text, arg10 text)
LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO dispatcher.reply_message (message_id, return_address, code, args)
  VALUES (reply.id, reply.address, reply.command,
          ARRAY[arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10]);
  IF reply.command IN (101, 102) THEN
    UPDATE dispatcher.message m SET state = 'D' WHERE m.id = reply.id;
    IF EXISTS (SELECT 1 FROM pg_locks l
                WHERE l.locktype = 'advisory' AND l.pid = pg_backend_pid()
                  AND l.classid = dispatcher.lock_class() AND l.objid = reply.id
                  AND l.objsubid = 2) THEN
      PERFORM pg_advisory_unlock(dispatcher.lock_class(), reply.id);
    END IF;
  END IF;
END $$;

-- Interrupt a command: in service, its server gets an out-of-band message
-- naming it; still queued, it is withdrawn and answered with an error.
CREATE OR REPLACE PROCEDURE dispatcher.interrupt(message_id integer)
LANGUAGE plpgsql AS $$
DECLARE
  m dispatcher.message%ROWTYPE;
BEGIN
  SELECT * INTO m FROM dispatcher.message x WHERE x.id = interrupt.message_id FOR UPDATE;
  IF NOT FOUND OR m.state NOT IN ('Q', 'S') THEN
    CALL dr_def.raise_error(format('message %s is neither queued nor in service', message_id));
  END IF;
  IF m.state = 'S' THEN
    INSERT INTO dispatcher.oob (server_name, return_address, username, command, arg1)
    VALUES (m.server_name, 'INTERRUPT_' || m.id, upper(current_user), 1,
            m.id::text);
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

-- Requeue what servers that are gone had in service, and set aside what
-- has been tried too often.
CREATE OR REPLACE PROCEDURE dispatcher.recover_stale()
LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM draserm.server s
   WHERE NOT EXISTS (SELECT 1 FROM pg_stat_activity a WHERE a.pid = s.backend_pid);

  WITH gone AS (
    UPDATE dispatcher.message m
       SET state = CASE WHEN m.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END,
           server_name = NULL
     WHERE m.state = 'S'
       AND NOT EXISTS (SELECT 1 FROM draserm.server s WHERE s.name = m.server_name)
    RETURNING m.id, m.return_address, m.state, m.tries)
  INSERT INTO dispatcher.reply_message (message_id, return_address, code, args)
  SELECT g.id, g.return_address, 102,
         ARRAY[format('message %s set aside after %s tries', g.id, g.tries) || E'\n',
               NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL]
    FROM gone g WHERE g.state = 'X';

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
