-- Changed-row batches (type 3), linguistic requests (type 4) and text-loading
-- batches (type 5) reach servers whose masks take them; failed ones are
-- retried and then set aside.
\set VERBOSITY terse
CALL draserm.add('DQM', NULL, NULL, NULL);
CALL draserm.add('LR', NULL, NULL, NULL);
INSERT INTO dr$policy (pol_id, pol_name, pol_owner) VALUES (77, 'P77', 'U');
INSERT INTO dr$source (src_id, src_name, src_owner) VALUES (88, 'S88', 'U');

-- Changed rows: one batch per policy, at most the capacity asked for.
CALL dmlq.queue_change(77, 'k1');
CALL dmlq.queue_change(77, 'k2');
CALL dmlq.queue_change(77, 'k3');
CALL dmlq.queue_change(77, '');
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 2, NULL, NULL);
SELECT pkey, sid, pol_id FROM drq_inprog ORDER BY pkey;
CALL dmlq.batch_done(1);
-- A batch the server did not close is retried with the next poll ...
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
-- ... and set aside after three tries.
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
SELECT pkey, state, tries FROM dmlq.queue ORDER BY seq;
-- A queue error reaches the server as a failed batch with its text.
CALL dmlq.queue_failure('queue broken');
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQM', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);

-- Composite keys split on unescaped commas.
SELECT k, dmlq.get_textkey('a\,b,c\\d,,e', k) FROM generate_series(0, 5) AS k;

-- A linguistic request goes to the L server as type 4 with its parameters.
CALL svcq.queue(svctype => 'LING', priority => 0, svcno => NULL, do_commit => TRUE,
                par1 => 'P77', par5 => 'done_proc', errors => NULL, status => NULL);
CALL svcq.queue(svctype => 'INDEX_SVC', priority => 0, svcno => NULL, do_commit => TRUE,
                par1 => '77', errors => 'unreadable', status => 'E');
CALL svcq.queue(svctype => 'x; drop table y', svcno => NULL);
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'LR', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL svcq.request_error(1, 'it failed');
CALL svcq.batch_done(2);
SELECT svcno, svctype, status, errors, sid FROM svcq.request ORDER BY svcno;

-- A text-loading batch goes to the R server as type 5; a failed one is
-- requeued with the session's error stack, and set aside after three tries.
CALL srcq.queue_batch(88);
CALL srcq.queue_batch(99);
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'LR', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL drue.text_on_stack('load failed');
CALL srcq.requeue_batch(2);
SELECT src_id, state, tries, errors FROM srcq.batch;
UPDATE srcq.batch SET tries = 3;
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'LR', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL srcq.requeue_batch(2);
SELECT src_id, state, tries FROM srcq.batch;
-- Queued again by hand, it is served and closed.
CALL srcq.queue_batch(88);
CALL listener.get_cmd_blk(2, 'DRMBOX_2', 'LR', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL srcq.batch_done(88);
SELECT count(*) AS batches, (SELECT src_next FROM dr$source WHERE src_id = 88) FROM srcq.batch;
