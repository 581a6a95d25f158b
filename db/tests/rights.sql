-- Users are kept apart: a role enabled with one GRANT reaches the servers
-- only through the doors, for itself, and within its rights; procedures a
-- request names run with the rights of the user who queued it. One session
-- plays the server and each user in turn (it logs in as a superuser only to
-- switch between them).
\set VERBOSITY terse
\c - postgres
DO $$
DECLARE
  r text;
BEGIN
  FOREACH r IN ARRAY ARRAY['kes_alice', 'kes_bob', 'kes_eve', 'kes_boss'] LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN
      EXECUTE format('CREATE ROLE %I LOGIN', r);
    END IF;
  END LOOP;
END $$;
GRANT kestrin_user TO kes_alice, kes_bob;
GRANT kestrin_admin TO kes_boss;
GRANT CREATE ON SCHEMA public TO kes_alice;
SET SESSION AUTHORIZATION kestrin;
-- This session plays a server that takes everything.
CALL draserm.add('DQMRL', NULL, NULL, NULL);
CREATE TABLE docs (id integer PRIMARY KEY, body text);
CREATE TABLE secret_docs (id integer PRIMARY KEY, body text);
GRANT SELECT ON docs TO kes_alice, kes_bob;
INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr)
VALUES (77, 'DOCS_POL', 'KES_ALICE', 'DOCS', 'BODY'),
       (78, 'SECRET_POL', 'KESTRIN', 'SECRET_DOCS', 'BODY');

-- A role that was not enabled can do nothing.
SET SESSION AUTHORIZATION kes_eve;
CALL dispatcher.submit(201, '1', '2');
SELECT * FROM dispatcher.messages;
CALL svcq.queue('LING', 0, NULL, true, ' ', 'a', 'b', 'c');

-- An enabled user queues commands as herself and sees them.
SET SESSION AUTHORIZATION kes_alice;
CALL dispatcher.post(200, '100', message_id => NULL);
CALL dispatcher.post(12, '77', message_id => NULL);
SELECT id, command, "user", state FROM dispatcher.messages ORDER BY id;
-- The tables stay closed to her: she cannot read, forge or reorder them.
SELECT count(*) FROM dispatcher.message;
UPDATE dispatcher.message SET username = 'kes_bob';
INSERT INTO dispatcher.reply_message (message_id, code, args) VALUES (1, 101, '{}');
SELECT nextval('dispatcher.message_seq');

-- Another user sees none of her messages, and cannot interrupt, take or
-- answer them, read their replies, or act as a server.
SET SESSION AUTHORIZATION kes_bob;
SELECT id FROM dispatcher.messages;
CALL dispatcher.interrupt(1);
CALL dispatcher.wait_reply(1, 0);
SELECT * FROM dispatcher.await(2, 0);
CALL listener.get_cmd_blk(1, 'DRMBOX_1', 'DQMRL', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 500, NULL, NULL);
CALL dispatcher.reply('SUBMIT_1', 1, 101, 'forged', NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL);
CALL dispatcher.get_oob(NULL, NULL, NULL, NULL, NULL, NULL);
CALL draserm.del('DRSRV_1');
-- Shutdown, mask change and the admin commands are for administrators.
CALL dispatcher.post(21, message_id => NULL);
CALL dispatcher.post(22, 'Q', message_id => NULL);
CALL dispatcher.post(23, message_id => NULL);
-- Index commands are for the policy's owner, queries for readers of its table.
CALL dispatcher.post(12, '77', message_id => NULL);
CALL dispatcher.post(16, '78', 'dog', message_id => NULL);
CALL dispatcher.post(15, '77', 'dog', message_id => NULL);
CALL dispatcher.post(42, 'x', '77', message_id => NULL);
CALL dispatcher.interrupt(3);
CALL dispatcher.wait_reply(3, 5);

-- An administrator may stop servers and index any policy.
SET SESSION AUTHORIZATION kes_boss;
CALL dispatcher.post(12, '77', message_id => NULL);
CALL dispatcher.post(21, message_id => NULL);
CALL dispatcher.post(16, '78', 'dog', message_id => NULL);

-- Every message carries the user who sent it.
SET SESSION AUTHORIZATION kestrin;
SELECT id, command, username, state FROM dispatcher.message ORDER BY id;

-- A request's procedure runs with its user's rights, never the server's.
SET SESSION AUTHORIZATION kes_alice;
CREATE TABLE public.alice_notes (who text, arg1 text, arg2 text);
CREATE PROCEDURE public.alice_note(svcno integer, arg1 text, arg2 text) LANGUAGE sql AS
  $$ INSERT INTO public.alice_notes VALUES (current_user, arg1, arg2) $$;
CREATE PROCEDURE public.alice_grab(svcno integer, arg1 text, arg2 text) LANGUAGE plpgsql AS
  $$ BEGIN GRANT SELECT ON draserm.server TO kes_alice; END $$;
CREATE PROCEDURE public.alice_escape(svcno integer, arg1 text, arg2 text) LANGUAGE plpgsql AS
  $$ BEGIN RESET ROLE; GRANT SELECT ON draserm.server TO kes_alice; END $$;
CREATE PROCEDURE public.alice_unsettle(svcno integer, arg1 text) LANGUAGE plpgsql AS
  $$ BEGIN SET search_path = kes_alice; CREATE TEMP TABLE server (x integer);
     PERFORM pg_advisory_lock(19284, 2); PERFORM pg_advisory_lock_shared(42); END $$;
CALL svcq.queue('LING', 0, NULL, true, ' ', 'a', 'b', 'c', 'public.alice_grab');
SET SESSION AUTHORIZATION kestrin;
SELECT svcno, svctype, username FROM svcq.request;
CALL dr_utl.run_as('kes_alice', 'public.alice_grab', 1, 'SUCCESS', NULL, 3);
CALL dr_utl.run_as('kes_alice', 'public.alice_escape', 1, 'SUCCESS', NULL, 3);
CALL dr_utl.run_as('kes_alice', 'public.alice_note', 1, 'SUCCESS', NULL, 3);
CALL dr_utl.run_as('kes_alice', 'public.alice_unsettle', 1, 'ERROR', NULL, 2);
SELECT current_user, current_setting('search_path') AS search_path,
       to_regclass('pg_temp.server') AS temp_table;
SELECT classid, objid, objsubid FROM pg_locks
 WHERE locktype = 'advisory' AND pid = pg_backend_pid() ORDER BY 1, 2, 3;
SELECT * FROM public.alice_notes;
SELECT has_table_privilege('kes_alice', 'draserm.server', 'SELECT') AS alice_reads_registry;
-- Only a plain name is called, and only for an enabled user.
CALL dr_utl.run_as('kes_alice', 'public.alice_note(1, null, null); drop table docs; call x', 1,
                   'a', 'b', 3);
CALL dr_utl.run_as('kes_eve', 'public.alice_note', 1, 'a', 'b', 3);
CALL dr_utl.run_as('nobody_at_all', 'public.alice_note', 1, 'a', 'b', 3);

-- Changed rows of a policy are queued by its owner or an administrator.
SET SESSION AUTHORIZATION kes_bob;
CALL dmlq.queue_change(77, 'k1');
CALL dmlq.queue_change(99, 'k1');
SET SESSION AUTHORIZATION kes_alice;
CALL dmlq.queue_change(77, 'k2');
SET SESSION AUTHORIZATION kes_boss;
CALL dmlq.queue_change(78, 'k3');
SET SESSION AUTHORIZATION kestrin;
SELECT pol_id, pkey FROM dmlq.queue ORDER BY seq;

-- The servers' login holds no right to make roles and no pg_* role, even
-- with the users it took on; it cannot grant any role, as itself or as them.
SELECT rolsuper, rolcreaterole, rolreplication, rolbypassrls FROM pg_roles WHERE rolname = 'kestrin';
-- (pg_database_owner is no grant: it stands for owning this database)
SELECT g.rolname FROM pg_roles g
 WHERE g.rolname LIKE 'pg\_%' AND g.rolname <> 'pg_database_owner'
   AND pg_has_role('kestrin', g.oid, 'MEMBER');
SELECT r.rolname FROM pg_roles r
 WHERE r.rolname IN ('kes_alice', 'kes_bob', 'kes_eve', 'kes_boss')
   AND pg_has_role('kestrin', r.oid, 'MEMBER') ORDER BY 1;
GRANT pg_execute_server_program TO kes_bob;
SET ROLE kes_alice;
GRANT pg_execute_server_program TO kes_bob;
GRANT kestrin_admin TO kes_alice;
RESET ROLE;
-- Only an enabled login without more rights than a user's is taken on, and
-- only the servers' login may ask for it.
RESET SESSION AUTHORIZATION;
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kes_maker') THEN
    CREATE ROLE kes_maker LOGIN CREATEROLE;
  END IF;
END $$;
GRANT kestrin_user TO kes_maker;
SET SESSION AUTHORIZATION kestrin;
SELECT dr_utl.join_user('kes_maker');
SELECT dr_utl.join_user('kes_eve');
SELECT dr_utl.join_user('kestrin_admin');
SELECT dr_utl.join_user('pg_execute_server_program');
SET SESSION AUTHORIZATION kes_bob;
SELECT dr_utl.join_user('kes_bob');
-- Owners are compared as PostgreSQL names roles: "Kes_Alice" is not kes_alice.
RESET SESSION AUTHORIZATION;
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'Kes_Alice') THEN
    CREATE ROLE "Kes_Alice" LOGIN;
  END IF;
END $$;
GRANT kestrin_user TO "Kes_Alice";
SET SESSION AUTHORIZATION "Kes_Alice";
CALL dispatcher.post(12, '77', message_id => NULL);
CALL dispatcher.post(10, '77', '1', '1', 'C', message_id => NULL);
CALL dmlq.queue_change(77, 'k4');
SET SESSION AUTHORIZATION kestrin;
CALL dr_utl.ensure_callback('Kes_Alice');
SELECT nspname FROM pg_namespace WHERE nspname ILIKE 'kes_alice' ORDER BY 1;
-- A policy whose documents are files of the server's machine is indexed
-- and highlighted only for an owner an administrator lets read them.
SET SESSION AUTHORIZATION kestrin;
INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (7701, 'FILES', 1, 3);
INSERT INTO dr$policy_preference VALUES (77, 1, 7701);
SET SESSION AUTHORIZATION kes_alice;
CALL dispatcher.post(10, '77', '1', '1', 'C', message_id => NULL);
CALL dmlq.queue_change(77, 'k5');
CALL dispatcher.post(15, '77', 'dog', message_id => NULL);
RESET SESSION AUTHORIZATION;
GRANT kestrin_files TO kes_alice;
SET SESSION AUTHORIZATION kes_alice;
CALL dispatcher.post(10, '77', '1', '1', 'C', message_id => NULL);
CALL dmlq.queue_change(77, 'k5');
RESET SESSION AUTHORIZATION;
REVOKE kestrin_files FROM kes_alice;
-- An index that lost one of its objects is refused with the object's name,
-- for changed rows and queries alike.
DELETE FROM dr$policy_preference WHERE ppr_pol_id = 77;
CREATE SCHEMA kes_alice AUTHORIZATION kes_alice;
CREATE TABLE kes_alice.dr_00077_ktb (k text);
CREATE TABLE kes_alice.dr_00077_sqr (k text);
SET SESSION AUTHORIZATION kes_alice;
CALL dmlq.queue_change(77, 'k6');
CALL dispatcher.post(15, '77', 'dog', message_id => NULL);
CALL dispatcher.post(13, '77', message_id => NULL);
RESET SESSION AUTHORIZATION;
DROP SCHEMA kes_alice CASCADE;
-- A table that would run code of its own when the servers read it is
-- refused at begin-index: row-level security, rules, a view calling a
-- function of a user's. A view of built-in functions only is read.
SET SESSION AUTHORIZATION kestrin;
ALTER TABLE docs ENABLE ROW LEVEL SECURITY;
SET SESSION AUTHORIZATION kes_alice;
CALL dispatcher.post(10, '77', '1', '1', 'C', message_id => NULL);
SET SESSION AUTHORIZATION kestrin;
ALTER TABLE docs DISABLE ROW LEVEL SECURITY;
CREATE RULE docs_note AS ON UPDATE TO docs DO ALSO NOTIFY docs;
SELECT dr_utl.attached_code('docs', false);
DROP RULE docs_note ON docs;
CREATE FUNCTION public.peek(t text) RETURNS text LANGUAGE sql AS $$ SELECT t $$;
CREATE VIEW public.docs_seen AS SELECT id, public.peek(body) AS body FROM docs;
CREATE VIEW public.docs_upper AS SELECT id, upper(body) AS body FROM docs;
CREATE TABLE public.res_trig (textkey text, score integer, conid integer);
CREATE TRIGGER t BEFORE INSERT ON public.res_trig FOR EACH ROW EXECUTE FUNCTION suppress_redundant_updates_trigger();
CREATE TABLE public.res_default (textkey text DEFAULT public.peek('x'), score integer, conid integer);
SELECT t, dr_utl.attached_code(t, false) AS reading, dr_utl.attached_code(t, true) AS writing
  FROM unnest(ARRAY['docs', 'docs_seen', 'docs_upper', 'res_trig', 'res_default', 'no_such']) AS t;
