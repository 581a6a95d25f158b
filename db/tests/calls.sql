-- The calls a text query makes: thesaurus answers, the access check of
-- stored functions, and dr_utl.call_as, which runs them with the rights of
-- the query's user and runs nothing but such a call. One session plays the
-- server and each user in turn (it logs in as a superuser only to switch).
\set VERBOSITY terse
\c - postgres
DO $$
DECLARE
  r text;
BEGIN
  FOREACH r IN ARRAY ARRAY['kes_alice', 'kes_eve'] LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN
      EXECUTE format('CREATE ROLE %I LOGIN', r);
    END IF;
  END LOOP;
END $$;
GRANT kestrin_user TO kes_alice;
GRANT CREATE ON SCHEMA public TO kes_alice;
SET SESSION AUTHORIZATION kestrin;

-- Answers: the term first, then its relations in order, case-blind, each
-- in braces with a closing brace doubled; a term without any answers alone.
INSERT INTO vek_ths.relation VALUES
  ('boat', 'SYN', 'vessel'), ('Boat', 'SYN', 'ship'), ('boat', 'SYN', 'BOAT'),
  ('boat', 'NT', 'dinghy}s'), ('ship', 'BT', 'craft');
CALL vek_ths.syn(NULL, NULL, 'BOAT');
CALL vek_ths.nt(NULL, NULL, 'boat');
CALL vek_ths.bt(NULL, NULL, 'ship');
CALL vek_ths.rt(NULL, NULL, 'boat');
SELECT p.proname FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
 WHERE n.nspname = 'vek_ths' AND p.prokind = 'p' ORDER BY 1;

-- A user's procedures, and one she may not run.
SET SESSION AUTHORIZATION kes_alice;
CREATE TABLE public.alice_calls (who text, a text);
CREATE PROCEDURE public.alice_two(INOUT res text) LANGUAGE sql AS $$ SELECT '2' $$;
CREATE PROCEDURE public.alice_echo(INOUT res text, a text) LANGUAGE plpgsql AS
  $$ BEGIN INSERT INTO public.alice_calls VALUES (current_user, a); res := '{' || a || '}'; END $$;
CREATE PROCEDURE public.alice_escape(INOUT res text) LANGUAGE plpgsql AS
  $$ BEGIN RESET ROLE; res := current_user; END $$;
CREATE PROCEDURE public.alice_unsettle(INOUT res text) LANGUAGE plpgsql AS
  $$ BEGIN SET search_path = kes_alice; CREATE TEMP TABLE notes (x integer); res := 'x'; END $$;
SET SESSION AUTHORIZATION kestrin;
CREATE PROCEDURE public.server_only(INOUT res text) LANGUAGE sql AS $$ SELECT 'secret' $$;
REVOKE ALL ON PROCEDURE public.server_only(text) FROM PUBLIC;

-- The access check answers the name to call, or a text starting with a blank.
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''alice_two'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''PUBLIC.Alice_Echo'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''server_only'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''no_such_thing'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''x''''||alice_two()||'''''')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_access.can_execute(:res, ''kes_alice'', ''alice_calls'')');

-- Calls run as the user; a literal stays a literal.
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_two(:res)');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_echo(:res, ''it''''s'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL vek_ths.syn(:res, :err, ''ship'')');
SELECT * FROM public.alice_calls;
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.server_only(:res)');
-- The call cannot switch back to the server's rights, and what it changed
-- of the session is put back.
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_escape(:res)');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_unsettle(:res)');
SELECT current_user, current_setting('search_path') AS search_path,
       to_regclass('pg_temp.notes') AS temp_table;
-- Nothing but a call of that shape runs, and only for an enabled user.
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_two(:res); DROP TABLE public.alice_calls');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'SELECT 1');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_echo(:res, ''a'''')');
CALL dr_utl.call_as(NULL, NULL, 'kes_eve', 'CALL vek_ths.syn(:res, :err, ''ship'')');
CALL dr_utl.call_as(NULL, NULL, NULL, 'CALL vek_ths.syn(:res, :err, ''ship'')');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_missing(:res)');

-- Users reach the thesaurus only through its operators.
SET SESSION AUTHORIZATION kes_alice;
CALL vek_ths.syn(NULL, NULL, 'ship');
SELECT count(*) FROM vek_ths.relation;
SELECT vek_ths.answer('SYN', 'boat');
CALL dr_utl.call_as(NULL, NULL, 'kes_alice', 'CALL public.alice_two(:res)');
SET SESSION AUTHORIZATION kestrin;
DROP TABLE public.alice_calls;
DROP PROCEDURE public.alice_two, public.alice_echo, public.alice_escape, public.alice_unsettle,
  public.server_only;
REVOKE CREATE ON SCHEMA public FROM kes_alice;
