-- The server's poll for its next message.
-- Message types: 1 nothing arrived, 2 a command, 3 a batch of changed rows,
-- 4 a linguistic request, 5 a text-loading batch. A poll looks once and
-- returns at once: an idle server waits on its own connection for the
-- notification (channel dispatcher_work) that whoever queues work sends in
-- the same transaction, and looks anyway after a second or so.

CREATE SCHEMA IF NOT EXISTS listener;

-- The waits of an earlier poll, which slept between looks in the database.
DROP FUNCTION IF EXISTS listener.idle_wait(), listener.busy_step(), listener.idle_step(),
  listener.busy_window();

-- Each poll moves the polling server's gate: it holds one of two advisory
-- locks (classes gate_class() and gate_class() + 1, keyed by its session id)
-- at all times, takes the other one and lets the one it held go when the
-- poll's transaction commits. A submitter whose command is still queued
-- waits on the gate a server holds, and so wakes the moment that server's
-- next poll has committed what it took.
CREATE OR REPLACE PROCEDURE listener.move_gate(sid integer)
LANGUAGE plpgsql AS $$
DECLARE
  setting text := 'dispatcher.gate_' || sid;
  old text := current_setting(setting, true);
  new integer := CASE WHEN old = '0' THEN 1 ELSE 0 END;
BEGIN
  PERFORM pg_advisory_lock(dispatcher.gate_class() + new, sid);
  IF old IN ('0', '1') THEN
    PERFORM pg_advisory_xact_lock(dispatcher.gate_class() + old::integer, sid);
    PERFORM pg_advisory_unlock(dispatcher.gate_class() + old::integer, sid);
  END IF;
  PERFORM set_config(setting, new::text, false);
END $$;

-- The look itself, as a function: keys is the most changed rows a batch
-- may take (500 when null). The server selects from listener.poll below; a
-- function costs a fraction of a procedure called with twenty INOUT
-- arguments, and the procedures get_cmd and get_cmd_blk stay as the
-- other callers know them.
CREATE OR REPLACE FUNCTION listener.take(sid integer, mbox text, pmask text, keys integer,
    OUT cmd_type integer, OUT disp_id integer,
    OUT disp_return_address text, OUT disp_user text, OUT disp_command integer,
    OUT disp_arg1 text, OUT disp_arg2 text, OUT disp_arg3 text, OUT disp_arg4 text,
    OUT disp_arg5 text, OUT disp_arg6 text, OUT disp_arg7 text, OUT disp_arg8 text,
    OUT disp_arg9 text, OUT disp_arg10 text,
    OUT dml_numpkeys integer, OUT dml_cid integer)
LANGUAGE plpgsql AS $$
DECLARE
  mask text := upper(coalesce(pmask, ''));
  box text := upper(coalesce(mbox, ''));
  srv draserm.server%ROWTYPE;
  m dispatcher.message%ROWTYPE;
  r svcq.request%ROWTYPE;
  want_m boolean := position('M' IN mask) > 0;
  want_l boolean := position('L' IN mask) > 0;
  want_r boolean := position('R' IN mask) > 0;
  cap integer := least(greatest(coalesce(keys, 500), 1), 500);
  n integer;
  pol integer;
  src integer;
  a text[];
  errtxt text;
BEGIN
  -- The other results start null; the key count comes back as it was
  -- given unless a batch is handed out.
  cmd_type := 1;
  dml_numpkeys := keys;

  SELECT * INTO srv FROM draserm.server s WHERE s.mbox = box;
  IF NOT FOUND THEN
    CALL dr_def.raise_error(format('no server is registered with mailbox %s', mbox));
  END IF;
  -- The registry shows the mask the server polls with.
  IF srv.person_mask IS DISTINCT FROM mask THEN
    UPDATE draserm.server s SET person_mask = mask WHERE s.name = srv.name;
  END IF;
  CALL listener.move_gate(sid);
  -- Every poll settles what servers that died left behind, so that their
  -- submitters hear of it even when no server is idle.
  IF dispatcher.stale(take.sid) THEN
    CALL dispatcher.recover_stale();
  END IF;

  -- Rows of a changed-rows batch this session did not close failed: retry
  -- them later, or set them aside.
  UPDATE dmlq.queue q
     SET state = CASE WHEN q.tries >= dispatcher.max_tries() THEN 'X' ELSE 'Q' END, sid = NULL
   WHERE q.state = 'I' AND q.sid = take.sid;

  -- A command for this server or for its personality.
  SELECT * INTO m FROM dispatcher.message x
   WHERE x.state = 'Q'
     AND (x.target_mbox = box
          OR (x.target_mbox IS NULL
              AND (x.personality IS NULL OR position(x.personality IN mask) > 0)))
   ORDER BY x.id LIMIT 1 FOR UPDATE SKIP LOCKED;
  IF FOUND THEN
    IF coalesce((SELECT cr.replies FROM dispatcher.command_route cr WHERE cr.command = m.command),
                true) THEN
      UPDATE dispatcher.message x
         SET state = 'S', server_name = srv.name, tries = x.tries + 1,
             taken_at = clock_timestamp()
       WHERE x.id = m.id;
      -- Held until the final reply, so that the submitter can wait on it.
      PERFORM pg_advisory_lock(dispatcher.lock_class(), m.id);
    ELSE
      -- Answered only when it fails: its submitter stops waiting now.
      UPDATE dispatcher.message x
         SET state = 'N', server_name = srv.name, tries = x.tries + 1,
             taken_at = clock_timestamp()
       WHERE x.id = m.id;
    END IF;
    cmd_type := 2;
    disp_id := m.id;
    disp_return_address := m.return_address;
    disp_user := m.username;
    disp_command := m.command;
    a := m.args;
    disp_arg1 := a[1]; disp_arg2 := a[2]; disp_arg3 := a[3]; disp_arg4 := a[4];
    disp_arg5 := a[5]; disp_arg6 := a[6]; disp_arg7 := a[7]; disp_arg8 := a[8];
    disp_arg9 := a[9]; disp_arg10 := a[10];
    RETURN;
  END IF;

  IF want_m THEN
    -- A queue error is handed out as a failed batch.
    DELETE FROM dmlq.queue_error e
     WHERE e.seq = (SELECT y.seq FROM dmlq.queue_error y ORDER BY y.seq LIMIT 1
                    FOR UPDATE SKIP LOCKED)
    RETURNING e.errors INTO errtxt;
    IF FOUND THEN
      CALL drue.text_on_stack(errtxt);
      cmd_type := 3; dml_numpkeys := -1; dml_cid := 0; disp_id := 0;
      RETURN;
    END IF;
    SELECT q.pol_id INTO pol FROM dmlq.queue q
     WHERE q.state = 'Q' ORDER BY q.seq LIMIT 1 FOR UPDATE SKIP LOCKED;
    IF FOUND THEN
      WITH batch AS (
        SELECT q.seq FROM dmlq.queue q
         WHERE q.state = 'Q' AND q.pol_id = pol
         ORDER BY q.seq LIMIT cap FOR UPDATE SKIP LOCKED)
      UPDATE dmlq.queue q SET state = 'I', sid = take.sid, tries = q.tries + 1
        FROM batch b WHERE q.seq = b.seq;
      GET DIAGNOSTICS n = ROW_COUNT;
      IF n > 0 THEN
        cmd_type := 3; dml_numpkeys := n; dml_cid := pol; disp_id := 0;
        RETURN;
      END IF;
    END IF;
  END IF;

  IF want_l THEN
    SELECT * INTO r FROM svcq.request x
     WHERE x.status = 'Q' AND x.svctype = 'LING'
     ORDER BY x.priority DESC, x.svcno LIMIT 1 FOR UPDATE SKIP LOCKED;
    IF FOUND THEN
      UPDATE svcq.request x SET status = 'I', sid = take.sid, tries = x.tries + 1,
             taken_at = clock_timestamp()
       WHERE x.svcno = r.svcno;
      cmd_type := 4;
      disp_id := r.svcno;
      disp_user := r.username;
      a := r.par;
      disp_arg1 := a[1]; disp_arg2 := a[2]; disp_arg3 := a[3]; disp_arg4 := a[4];
      disp_arg5 := a[5]; disp_arg6 := a[6]; disp_arg7 := a[7]; disp_arg8 := a[8];
      disp_arg9 := a[9]; disp_arg10 := a[10];
      RETURN;
    END IF;
  END IF;

  IF want_r THEN
    SELECT b.src_id INTO src FROM srcq.batch b
     WHERE b.state = 'Q' ORDER BY b.queued_at, b.src_id LIMIT 1 FOR UPDATE SKIP LOCKED;
    IF FOUND THEN
      UPDATE srcq.batch b SET state = 'I', sid = take.sid, tries = b.tries + 1,
             taken_at = clock_timestamp()
       WHERE b.src_id = src;
      cmd_type := 5;
      disp_id := src;
      RETURN;
    END IF;
  END IF;
END $$;


CREATE OR REPLACE PROCEDURE listener.get_cmd(sid integer, mbox text, pmask text,
    INOUT cmd_type integer, INOUT disp_id integer,
    INOUT disp_return_address text, INOUT disp_user text, INOUT disp_command integer,
    INOUT disp_arg1 text, INOUT disp_arg2 text, INOUT disp_arg3 text, INOUT disp_arg4 text,
    INOUT disp_arg5 text, INOUT disp_arg6 text, INOUT disp_arg7 text, INOUT disp_arg8 text,
    INOUT disp_arg9 text, INOUT disp_arg10 text,
    INOUT dml_numpkeys integer, INOUT dml_cid integer)
LANGUAGE plpgsql AS $$
BEGIN
  SELECT * INTO cmd_type, disp_id, disp_return_address, disp_user, disp_command,
         disp_arg1, disp_arg2, disp_arg3, disp_arg4, disp_arg5,
         disp_arg6, disp_arg7, disp_arg8, disp_arg9, disp_arg10, dml_numpkeys, dml_cid
    FROM listener.take(sid, mbox, pmask, dml_numpkeys) t;
END $$;

-- The poll as the server runs it: the message, and the error stack as text
-- (empty when all went well).
CREATE OR REPLACE FUNCTION listener.poll(sid integer, mbox text, pmask text, keys integer,
    OUT cmd_type integer, OUT disp_id integer,
    OUT disp_return_address text, OUT disp_user text, OUT disp_command integer,
    OUT disp_arg1 text, OUT disp_arg2 text, OUT disp_arg3 text, OUT disp_arg4 text,
    OUT disp_arg5 text, OUT disp_arg6 text, OUT disp_arg7 text, OUT disp_arg8 text,
    OUT disp_arg9 text, OUT disp_arg10 text,
    OUT dml_numpkeys integer, OUT dml_cid integer, OUT error_stack text)
LANGUAGE plpgsql AS $$
BEGIN
  PERFORM drue.get_stack();
  BEGIN
    SELECT * INTO cmd_type, disp_id, disp_return_address, disp_user, disp_command,
         disp_arg1, disp_arg2, disp_arg3, disp_arg4, disp_arg5,
         disp_arg6, disp_arg7, disp_arg8, disp_arg9, disp_arg10, dml_numpkeys, dml_cid
      FROM listener.take(sid, mbox, pmask, keys) t;
    error_stack := drue.get_stack();
  EXCEPTION WHEN OTHERS THEN
    cmd_type := NULL;
    dml_numpkeys := keys;
    CALL drue.text_on_stack(SQLERRM);
    error_stack := drue.get_stack();
  END;
END $$;

-- The same poll as a procedure.
CREATE OR REPLACE PROCEDURE listener.get_cmd_blk(sid integer, mbox text, pmask text,
    INOUT cmd_type integer, INOUT disp_id integer,
    INOUT disp_return_address text, INOUT disp_user text, INOUT disp_command integer,
    INOUT disp_arg1 text, INOUT disp_arg2 text, INOUT disp_arg3 text, INOUT disp_arg4 text,
    INOUT disp_arg5 text, INOUT disp_arg6 text, INOUT disp_arg7 text, INOUT disp_arg8 text,
    INOUT disp_arg9 text, INOUT disp_arg10 text,
    INOUT dml_numpkeys integer, INOUT dml_cid integer, INOUT error_stack text)
LANGUAGE plpgsql AS $$
BEGIN
  SELECT * INTO cmd_type, disp_id, disp_return_address, disp_user, disp_command,
         disp_arg1, disp_arg2, disp_arg3, disp_arg4, disp_arg5,
         disp_arg6, disp_arg7, disp_arg8, disp_arg9, disp_arg10, dml_numpkeys, dml_cid, error_stack
    FROM listener.poll(sid, mbox, pmask, dml_numpkeys) p;
END $$;
