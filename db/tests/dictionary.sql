-- Dictionary lookups and result tables.
\set VERBOSITY terse
INSERT INTO dr$policy (pol_name, pol_owner, pol_tablename, pol_text_expr, pol_key_name)
VALUES ('DOCPOL', 'TEXTUSER', 'DOCS', 'BODY', 'ID');
INSERT INTO dr$source (src_name, src_owner) VALUES ('LOADSRC', 'TEXTUSER');
-- Policies and sources share one id sequence.
SELECT pol_id FROM dr$policy UNION ALL SELECT src_id FROM dr$source;
INSERT INTO dr$text_index (txi_pol_id, txi_suffix) VALUES (1000, NULL);
INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (2000, 'MYLEXER', 4, 2);
INSERT INTO dr$policy_preference VALUES (1000, 4, 2000);
INSERT INTO dr$object_attribute VALUES (4, 2, 'PRINTJOINS', 1, 'STRING', 'Y'), (4, 2, 'NUMJOIN', 2, 'NUMBER', 'N');
INSERT INTO dr$preference_attribute VALUES (2000, 'PRINTJOINS', '-_', 1), (2000, 'NUMJOIN', NULL, 1);

CALL drdinte.get_preferences(1000, NULL);
CALL drdinte.get_preferences(1001, NULL);
CALL drdinte.get_preferences(5, NULL);
CALL drdinte.get_pref_details(2000, NULL, NULL, NULL);
CALL drdinte.get_pref_details(4, NULL, NULL, NULL);
CALL drdinte.get_pref_details(12345, NULL, NULL, NULL);

CALL dr_utl.get_policy_id('TEXTUSER.DOCPOL', NULL);
CALL dr_utl.get_policy_id('docs.body', NULL);
CALL dr_utl.get_policy_id('textuser.docs.body', NULL);
CALL dr_utl.get_policy_id('nothing', NULL);

-- The policy statement as the server runs it: one row for a policy or a source.
PREPARE pol(integer) AS
SELECT pol_id, pol_name, pol_owner, COALESCE(pol_tablename, 'UNDEFINED'),
       COALESCE(pol_text_expr, 'UNDEFINED'), COALESCE(pol_text_type, 0),
       COALESCE(pol_key_name, 'UNDEFINED'), COALESCE(pol_key_type, 0),
       COALESCE(pol_ln_name, 'UNDEFINED'), COALESCE(pol_ln_type, 0), COALESCE(txi_suffix, '1')
  FROM dr$policy LEFT JOIN dr$text_index ON txi_pol_id = pol_id WHERE pol_id = $1
UNION
SELECT src_id, src_name, src_owner, COALESCE(src_table_name, 'UNDEFINED'),
       COALESCE(src_column_name, 'UNDEFINED'), src_refresh, CAST(src_next AS text),
       COALESCE(src_sid, 0), src_owner, COALESCE(src_sid, 0), src_name
  FROM dr$source WHERE src_id = $1;
EXECUTE pol(1000);
EXECUTE pol(1001);
SELECT object_name, object_type FROM dr_utl.dba_objects
 WHERE owner = 'DRDINTE' ORDER BY object_name;

-- Result tables: allocated with their key columns, released by name.
CALL dr_rtm.allocate(4242, 'RESULT', NULL, 2);
SELECT column_name FROM information_schema.columns
 WHERE table_name = 'dr$rt_000001' ORDER BY ordinal_position;
CALL dr_rtm.allocate(4242, 'STRUCT_VIEW', NULL, 1);
CALL dr_rtm.allocate(4242, 'RESULT', NULL, 0);
CALL dr_rtm.deallocate('DR$RT_000001');
CALL dr_rtm.deallocate('DR$RT_000001');
CALL dr_rtm.recover();
SELECT tablename FROM dr_rtm.result_table;
-- Past six digits the number is written whole: no name comes round again.
SELECT setval('dr_rtm.table_seq', 999999, true);
CALL dr_rtm.allocate(4242, 'RESULT', NULL, 1);
CALL dr_rtm.allocate(4242, 'RESULT', NULL, 1);

-- The error stack: texts pushed, read once, raised as the application error.
CALL drue.text_on_stack('first');
CALL drue.text_on_stack('second');
SELECT drue.get_stack();
SELECT drue.get_stack() IS NULL AS empty;
CALL drue.text_on_stack('boom');
CALL drue.raise();
SELECT octet_length(drue.get_stack()) AS len;
DO $$ BEGIN PERFORM drue.get_stack(); CALL drue.text_on_stack(repeat('é', 1500)); END $$;
SELECT octet_length(drue.get_stack()) AS len;
DO $$ BEGIN CALL dr_def.raise_error('x'); EXCEPTION WHEN SQLSTATE 'DRT01' THEN RAISE NOTICE 'caught %', SQLSTATE; END $$;

-- The per-user callback copies results, and runs nothing but that.
CALL kestrin.dr$callback('x');
CALL dr_utl.ensure_callback('KESTRIN');
CALL dr_utl.ensure_callback('KESTRIN');
CALL dr_utl.install_callback('bad name; drop');
CREATE TABLE public.src1 (textkey varchar(20), textkey2 varchar(20), score numeric);
CREATE TABLE public.res1 (textkey varchar(20), textkey2 varchar(20), score numeric, conid integer);
INSERT INTO public.src1 VALUES ('a', 'b', 10), ('c', 'd', 20);
CALL kestrin.dr$callback('INSERT INTO '||'public.res1'|| '(TEXTKEY,TEXTKEY2,SCORE,CONID) SELECT TEXTKEY,TEXTKEY2,SCORE,:a1 FROM '||'public.src1',
  CAST(7 AS varchar(30)), 30, NULL, 0, NULL, 0, NULL, 0, NULL, 0, NULL, 0, NULL, 0, NULL, 0, NULL, 0, NULL, 0);
SELECT * FROM public.res1 ORDER BY textkey;
CALL kestrin.dr$callback('INSERT INTO public.res1(TEXTKEY,SCORE,CONID) SELECT TEXTKEY,SCORE,:a1 FROM public.src1; DROP TABLE public.src1', '1', 1);
CALL kestrin.dr$callback('DELETE FROM public.res1', '1', 1);
SELECT count(*) FROM public.src1;
-- It is called with the installer's rights: no callback goes into a schema
-- of another owner, or one another role may add to.
\c - postgres
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kes_cbown') THEN CREATE ROLE kes_cbown; END IF;
END $$;
GRANT kes_cbown TO kestrin;
\c - kestrin
CREATE SCHEMA kes_cbown AUTHORIZATION kes_cbown;
CALL dr_utl.ensure_callback('kes_cbown');
SELECT count(*) FROM pg_proc WHERE pronamespace = 'kes_cbown'::regnamespace;
GRANT CREATE ON SCHEMA kestrin TO kes_cbown;
CALL dr_utl.ensure_callback('KESTRIN');
REVOKE CREATE ON SCHEMA kestrin FROM kes_cbown;
CALL dr_utl.ensure_callback('KESTRIN');
