-- Doc-id reservation: blocks come from the free row under its lock; a
-- request the free row cannot serve, or one that would hand out an id above
-- 2147483647, fails with 'run out of doc id' and changes nothing.
\set VERBOSITY terse
CREATE SCHEMA t;
CREATE TABLE t.lst (sid bigint, idcount bigint, ltype varchar(2), contiguous smallint, data varchar(1024));
INSERT INTO t.lst (ltype, contiguous, idcount, data) VALUES ('F', 1, 4000000000, '1');

CALL dr_lst.alloc('t.lst', 100, 7);
CALL dr_lst.alloc('t.lst', 10, 8);
SELECT sid, ltype, contiguous, idcount, data FROM t.lst ORDER BY data::bigint;

-- The free row must keep an id: a request of all it holds is refused.
UPDATE t.lst SET idcount = 5 WHERE ltype = 'F';
CALL dr_lst.alloc('t.lst', 5, 7);
CALL dr_lst.alloc('t.lst', 4, 7);

-- No id above 2147483647: the last 48 ids, then nothing.
UPDATE t.lst SET idcount = 4000000000, data = '2147483600' WHERE ltype = 'F';
CALL dr_lst.alloc('t.lst', 49, 7);
CALL dr_lst.alloc('t.lst', 48, 7);
CALL dr_lst.alloc('t.lst', 1, 7);
SELECT sid, ltype, contiguous, idcount, data FROM t.lst WHERE ltype = 'F';

-- No free row at all.
DELETE FROM t.lst WHERE ltype = 'F';
CALL dr_lst.alloc('t.lst', 1, 7);

-- Refused arguments.
CALL dr_lst.alloc('t.lst; drop table t.lst', 1, 7);
CALL dr_lst.alloc('t.lst', -1, 7);
SELECT count(*) FROM t.lst;
