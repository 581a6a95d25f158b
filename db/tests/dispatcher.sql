-- Commands travel from post/submit through get_cmd to reply and back.
\set VERBOSITY terse
CALL draserm.add('DQM', NULL, NULL, NULL);
CALL draserm.add('D', NULL, NULL, NULL);
SELECT name, mbox, audsid, person_mask, backend_pid = pg_backend_pid() AS mine
  FROM draserm.server ORDER BY audsid;

-- An add command reaches the server as type 2 with its arguments.
CALL dispatcher.post(201, '2', '40', message_id => NULL);
SELECT id, command, "user", state, server_name FROM dispatcher.messages;
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT id, command, state, server_name FROM dispatcher.messages;
-- Data replies and the final reply come back to the waiting submitter.
CALL dispatcher.reply('SUBMIT_x', 1, 105, 'abc', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.reply('SUBMIT_x', 1, 105, 'def', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.reply('SUBMIT_x', 1, 101, NULL, NULL, '42', NULL, NULL, NULL, NULL, NULL, NULL, NULL);
SELECT count(*) AS lock_held FROM pg_locks
 WHERE locktype = 'advisory' AND pid = pg_backend_pid() AND objid = 1;
CALL dispatcher.wait_reply(1, 5);
SELECT count(*) AS left_over FROM dispatcher.message;

-- Routing: a query command is not taken by a server without Q; the Q server takes it.
CALL dispatcher.post(15, 'x', message_id => NULL);
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'D', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'dqm', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
-- A command addressed to one server goes only there.
CALL dispatcher.post(201, '1', '1', message_id => NULL, target_mbox => 'DRMBOX_2');
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'D', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);

-- Interrupting a command in service sends its server an out-of-band message.
CALL dispatcher.get_oob(NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.interrupt(2);
CALL dispatcher.get_oob(NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.get_oob(NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.reply('a', 2, 102, E'interrupted\n', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.wait_reply(2, 5);
-- Interrupting a queued command withdraws it with an error reply.
CALL dispatcher.post(200, '100', message_id => NULL);
CALL dispatcher.interrupt(4);
CALL dispatcher.wait_reply(4, 5);
CALL dispatcher.interrupt(4);
-- A reply that does not come in time names the message and the time waited.
CALL dispatcher.post(15, 'q', message_id => NULL);
CALL dispatcher.wait_reply(5, 0);
SELECT id, command, state FROM dispatcher.messages ORDER BY id;

-- An idle poll waits about a second and returns type 1.
DELETE FROM dispatcher.message;
SELECT clock_timestamp() AS t0 \gset
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT clock_timestamp() - :'t0'::timestamptz BETWEEN interval '0.9 s' AND interval '3 s' AS waited;

-- An unknown mailbox is an error on the stack, not an exception.
CALL listener.get_cmd_blk(9, 'NOBODY', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);

-- A command whose server went away is requeued, and set aside after three tries.
CALL dispatcher.post(201, '5', '5', message_id => NULL);
UPDATE draserm.server SET backend_pid = -1 WHERE name = 'DRSRV_1';
UPDATE dispatcher.message SET state = 'S', server_name = 'DRSRV_1', tries = 1;
CALL dispatcher.recover_stale();
SELECT name FROM draserm.server ORDER BY name;
SELECT id, state, tries, server_name FROM dispatcher.message;
UPDATE dispatcher.message SET state = 'S', server_name = 'GONE', tries = 3;
CALL dispatcher.recover_stale();
SELECT id, state FROM dispatcher.message;
CALL dispatcher.wait_reply(6, 1);

CALL draserm.upd('DRSRV_2', 'RUN', 'DQ', 0);
SELECT name, person_mask, status FROM draserm.server;
CALL draserm.upd('DRSRV_9', 'RUN', 'DQ', 0);
CALL draserm.del('DRSRV_2');
SELECT count(*) FROM draserm.server;
