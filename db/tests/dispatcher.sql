-- Commands travel from post/submit through get_cmd to reply and back. This
-- session plays the servers: it registers them and polls for them.
\set VERBOSITY terse
CALL draserm.add('DQM', NULL, NULL, NULL);
CALL draserm.add('D', NULL, NULL, NULL);
SELECT name, mbox, audsid, person_mask, backend_pid = pg_backend_pid() AS mine,
       draserm.alive(audsid) AS alive
  FROM draserm.server ORDER BY audsid;
CREATE TABLE docs (id integer PRIMARY KEY, body text);
INSERT INTO dr$policy (pol_id, pol_name, pol_tablename, pol_text_expr)
VALUES (77, 'DOCS_POL', 'DOCS', 'BODY');

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
 WHERE locktype = 'advisory' AND pid = pg_backend_pid() AND objid = 1 AND classid = 19283;
CALL dispatcher.wait_reply(1, 5);
SELECT count(*) AS left_over FROM dispatcher.message;

-- Routing: a query command is not taken by a server without Q; the Q server takes it.
CALL dispatcher.post(16, '77', 'dog', message_id => NULL);
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

-- A submitter that gives up withdraws its command: a queued one goes ...
CALL dispatcher.post(15, '77', 'q', message_id => NULL);
CALL dispatcher.wait_reply(5, 0);
SELECT id, command, state FROM dispatcher.messages ORDER BY id;
-- ... one in service is interrupted, and its late reply dropped.
CALL dispatcher.wait_reply(3, 0);
SELECT id, state FROM dispatcher.message ORDER BY id;
CALL dispatcher.get_oob(NULL, NULL, NULL, NULL, NULL, NULL);
CALL dispatcher.reply('b', 3, 102, E'interrupted\n', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
SELECT (SELECT count(*) FROM dispatcher.message) AS messages,
       (SELECT count(*) FROM dispatcher.reply_message) AS replies;

-- A command no running server could take is refused at once.
CALL dispatcher.post(201, '1', '1', message_id => NULL, target_mbox => 'DRMBOX_9');
CALL dispatcher.post(15, 'x', message_id => NULL);
CALL dispatcher.post(15, '99', message_id => NULL);

-- A refresh is answered only when it fails: its submitter stops waiting as
-- soon as a server took it, with no reply code.
CALL dispatcher.post(20, '77', message_id => NULL);
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL dispatcher.wait_reply(6, 5);
SELECT count(*) AS locks FROM pg_locks WHERE locktype = 'advisory' AND classid = 19283;

-- An idle poll returns type 1 (the server then waits for word of new work
-- on its own connection).
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);

-- An unknown mailbox is an error on the stack, not an exception.
CALL listener.get_cmd_blk(9, 'NOBODY', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);

-- A server whose session ends (here: whose lock goes) holds no message: the
-- next poll of any server answers what it served with an error that says
-- so, and hands it to nobody else.
CALL dispatcher.post(201, '5', '5', message_id => NULL, target_mbox => 'DRMBOX_1');
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT pg_advisory_unlock(draserm.lock_class(), 1) AS server_1_ends;
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'D', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT name FROM draserm.server ORDER BY name;
SELECT id, state, server_name FROM dispatcher.message;
CALL dispatcher.wait_reply(7, 1);
-- With no server of personality M left, a command for one is refused.
CALL dispatcher.post(18, message_id => NULL);
-- The submitter learns it itself as well, without any poll.
CALL draserm.add('Q', NULL, NULL, NULL);
CALL dispatcher.post(201, '6', '6', message_id => NULL, target_mbox => 'DRMBOX_3');
CALL listener.get_cmd_blk(3, 'DRMBOX_3', 'Q', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT pg_advisory_unlock(draserm.lock_class(), 3) AS server_3_ends;
CALL dispatcher.wait_reply(8, 5);

-- Message ids wrap to ids not in use (1 is).
SELECT setval('dispatcher.message_seq', 1, false);
CALL dispatcher.post(201, message_id => NULL);
SELECT setval('dispatcher.message_seq', 2147483646);
CALL dispatcher.post(201, message_id => NULL);
CALL dispatcher.post(201, message_id => NULL);
SELECT id FROM dispatcher.message ORDER BY id;

CALL draserm.upd('DRSRV_2', 'RUN', 'DQ', 0);
SELECT name, person_mask, status FROM draserm.server;
CALL draserm.upd('DRSRV_9', 'RUN', 'DQ', 0);
CALL draserm.del('DRSRV_2');
SELECT count(*) FROM draserm.server;
