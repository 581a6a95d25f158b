-- Dictionary lookups the server calls: preferences of a policy, details of a
-- preference, and a policy by its column specification.

CREATE SCHEMA IF NOT EXISTS drdinte;
CREATE SCHEMA IF NOT EXISTS dr_utl;

-- The preference id per class 1 to 10 of a policy or source; 0 where none is set.
CREATE OR REPLACE PROCEDURE drdinte.get_preferences(cid integer, INOUT prids integer[])
LANGUAGE plpgsql AS $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM dr$policy WHERE pol_id = cid)
     AND NOT EXISTS (SELECT 1 FROM dr$source WHERE src_id = cid) THEN
    CALL dr_def.raise_error(format('policy %s does not exist', cid));
  END IF;
  SELECT array_agg(coalesce(p.ppr_pre_id, 0) ORDER BY k)
    INTO prids
    FROM generate_series(1, 10) AS k
    LEFT JOIN dr$policy_preference p ON p.ppr_pol_id = cid AND p.ppr_cla_id = k;
END $$;

-- Name, class and object id of a preference.
CREATE OR REPLACE PROCEDURE drdinte.get_pref_details(prid integer, INOUT prname text,
                                                     INOUT clid integer, INOUT obid integer)
LANGUAGE plpgsql AS $$
BEGIN
  SELECT pre_name, pre_cla_id, pre_obj_id INTO prname, clid, obid
    FROM dr$preference WHERE pre_id = prid;
  IF NOT FOUND THEN
    CALL dr_def.raise_error(format('preference %s does not exist', prid));
  END IF;
END $$;

-- The role a user name of the dictionary names (policy owners, the users
-- of callbacks): the dictionary keeps a plain name upper case, which stands
-- for PostgreSQL's folded lower-case name; any other name is the role's
-- name exactly (a quoted identifier keeps its case), so that "Alice" is
-- never alice.
CREATE OR REPLACE FUNCTION dr_utl.role_name(usr text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
  SELECT CASE WHEN usr ~ '^[A-Z_][A-Z0-9_$]*$' THEN lower(usr) ELSE usr END
$$;

-- The policy of a column specification: [owner.]policy, or [owner.]table.column.
CREATE OR REPLACE PROCEDURE dr_utl.get_policy_id(colspec text, INOUT cid integer)
LANGUAGE plpgsql AS $$
DECLARE
  parts text[] := string_to_array(upper(btrim(coalesce(colspec, ''))), '.');
  n integer := coalesce(array_length(parts, 1), 0);
BEGIN
  cid := NULL;
  IF n = 1 THEN
    SELECT pol_id INTO cid FROM dr$policy
     WHERE upper(pol_name) = parts[1] AND upper(pol_owner) = upper(current_user);
    IF cid IS NULL THEN
      SELECT min(pol_id) INTO cid FROM dr$policy WHERE upper(pol_name) = parts[1];
    END IF;
  ELSIF n = 2 THEN
    SELECT pol_id INTO cid FROM dr$policy
     WHERE upper(pol_owner) = parts[1] AND upper(pol_name) = parts[2];
    IF cid IS NULL THEN
      SELECT min(pol_id) INTO cid FROM dr$policy
       WHERE upper(pol_tablename) = parts[1] AND upper(pol_text_expr) = parts[2];
    END IF;
  ELSIF n = 3 THEN
    SELECT min(pol_id) INTO cid FROM dr$policy
     WHERE upper(pol_owner) = parts[1] AND upper(pol_tablename) = parts[2]
       AND upper(pol_text_expr) = parts[3];
  END IF;
  IF cid IS NULL THEN
    CALL dr_def.raise_error(format('no policy for column specification %s', colspec));
  END IF;
END $$;

-- Objects by owner, name and type, as name checks in the server expect them.
CREATE OR REPLACE VIEW dr_utl.dba_objects AS
  SELECT upper(n.nspname)::text AS owner, upper(p.proname)::text AS object_name,
         CASE p.prokind WHEN 'p' THEN 'PROCEDURE' ELSE 'FUNCTION' END AS object_type
    FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
  UNION ALL
  SELECT upper(n.nspname), upper(c.relname),
         CASE c.relkind WHEN 'v' THEN 'VIEW' WHEN 'S' THEN 'SEQUENCE'
                        WHEN 'i' THEN 'INDEX' ELSE 'TABLE' END
    FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
   WHERE c.relkind IN ('r', 'v', 'S', 'i', 'p');

-- The per-user callback through which the server copies query results into
-- a user's table: <user>.dr$callback(statement, value 1, length 1, ...,
-- value 10, length 10) runs the statement with :a1 .. :a10 replaced by the
-- values as literals, with the rights of that user (the role is switched and
-- the statement runs inside a security-definer function the user owns, so
-- no code it reaches can switch back). Only the one statement shape the
-- server sends is run, rebuilt with its names quoted:
-- INSERT INTO <table>(<key columns>,SCORE,CONID) SELECT <key columns>,SCORE,:a1
-- FROM <table>, its names found as the user's search path finds them. The
-- schema and the procedure belong to the installer, so the user cannot put
-- other code in its place.

-- Whether the callback of a user can be called with the installer's rights:
-- its schema is the installer's and no other role may create in it (else a
-- procedure of that role, or an overload that fits the call better, would
-- run in its place with those rights), and every dr$callback there is the
-- installer's.
CREATE OR REPLACE FUNCTION dr_utl.callback_ready(usrnam text) RETURNS boolean
LANGUAGE sql STABLE AS $$
  SELECT coalesce(bool_and(
           n.nspowner = me.oid
           AND NOT EXISTS (SELECT 1 FROM aclexplode(coalesce(n.nspacl, acldefault('n', n.nspowner))) a
                            WHERE a.privilege_type = 'CREATE' AND a.grantee <> me.oid)
           AND EXISTS (SELECT 1 FROM pg_proc p
                        WHERE p.pronamespace = n.oid AND p.proname = 'dr$callback')
           AND NOT EXISTS (SELECT 1 FROM pg_proc p
                            WHERE p.pronamespace = n.oid AND p.proname = 'dr$callback'
                              AND p.proowner <> me.oid)), false)
    FROM pg_namespace n, (SELECT oid FROM pg_roles WHERE rolname = current_user) me
   WHERE n.nspname = dr_utl.role_name(coalesce(usrnam, ''))
$$;

CREATE OR REPLACE PROCEDURE dr_utl.install_callback(usrnam text)
LANGUAGE plpgsql AS $$
DECLARE
  sch text := dr_utl.role_name(coalesce(usrnam, ''));
  usr text;
  args text := '';
BEGIN
  IF sch !~ '^[A-Za-z_][A-Za-z0-9_$]*$' THEN
    CALL dr_def.raise_error(format('invalid user name %s', usrnam));
  END IF;
  SELECT rolname INTO usr FROM pg_roles WHERE rolname = sch;
  IF usr IS NULL THEN
    CALL dr_def.raise_error(format('user %s does not exist', usrnam));
  END IF;
  FOR k IN 1 .. 10 LOOP
    args := args || format(', v%s text DEFAULT NULL, l%s integer DEFAULT 0', k, k);
  END LOOP;
  EXECUTE format('CREATE SCHEMA IF NOT EXISTS %I', sch);
  IF NOT EXISTS (SELECT 1 FROM pg_namespace n JOIN pg_roles r ON r.oid = n.nspowner
                  WHERE n.nspname = sch AND r.rolname = current_user) THEN
    CALL dr_def.raise_error(format('the schema %s is not the installer''s alone: '
                                   'no callback is installed in it', sch));
  END IF;
  EXECUTE format($f$
CREATE OR REPLACE PROCEDURE %I.dr$callback(stmt text%s)
LANGUAGE plpgsql AS $b$
DECLARE
  m text[];
  vals text[] := ARRAY[v1, v2, v3, v4, v5, v6, v7, v8, v9, v10];
  cols text := '';
  s text;
  u record;
  fn text;
BEGIN
  m := regexp_match(stmt,
    '^\s*INSERT\s+INTO\s+([A-Za-z_][A-Za-z0-9_$]*)(\.([A-Za-z_][A-Za-z0-9_$]*))?\s*'
    '\(((TEXTKEY[0-9]*)(,TEXTKEY[0-9]*)*),SCORE,CONID\)\s+SELECT\s+\4,SCORE,:a1\s+'
    'FROM\s+([A-Za-z_][A-Za-z0-9_$]*)(\.([A-Za-z_][A-Za-z0-9_$]*))?\s*$', 'i');
  IF m IS NULL THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('the callback does not run this statement: %%s', left(stmt, 200));
  END IF;
  SELECT string_agg(quote_ident(lower(c)), ',') INTO cols
    FROM unnest(string_to_array(m[4], ',')) AS c;
  s := format('INSERT INTO %%s(%%s,score,conid) SELECT %%s,score,%%s FROM %%s',
              concat_ws('.', quote_ident(lower(m[1])), quote_ident(lower(m[3]))), cols, cols,
              quote_nullable(vals[1]),
              concat_ws('.', quote_ident(lower(m[7])), quote_ident(lower(m[9]))));
  SELECT * INTO u FROM dr_utl.enter_user(%L);
  PERFORM set_config('role', %L, true);
  fn := format('pg_temp.%%I', 'dr_callback_' || u.uid);
  EXECUTE format('CREATE OR REPLACE FUNCTION %%s(s text) RETURNS void LANGUAGE plpgsql'
                 ' SECURITY DEFINER AS $x$ BEGIN EXECUTE s; END $x$', fn);
  EXECUTE format('SELECT %%s($1)', fn) USING s;
  PERFORM set_config('role', 'none', true);
  CALL dr_utl.leave_user(u.names, u.vals, u.locks);
END $b$
$f$, sch, args, usr, usr);
  EXECUTE format('REVOKE ALL ON PROCEDURE %I.dr$callback FROM PUBLIC', sch);
  IF NOT dr_utl.callback_ready(sch) THEN
    CALL dr_def.raise_error(format('the schema %s is not the installer''s alone: '
                                   'no callback is installed in it', sch));
  END IF;
END $$;

-- Install the callback of a user unless it is there.
CREATE OR REPLACE PROCEDURE dr_utl.ensure_callback(usrnam text)
LANGUAGE plpgsql AS $$
BEGIN
  IF NOT dr_utl.callback_ready(usrnam) THEN
    CALL dr_utl.install_callback(usrnam);
  END IF;
END $$;

-- The table of a policy: its name as stored, looked for in the schema named
-- like the policy's owner first, then as the search path finds it (never a
-- temporary table); null when there is none.
CREATE OR REPLACE FUNCTION dr_utl.policy_table(pid integer) RETURNS regclass
LANGUAGE plpgsql STABLE AS $$
DECLARE
  p dr$policy%ROWTYPE;
  t regclass;
BEGIN
  SELECT * INTO p FROM dr$policy x WHERE x.pol_id = pid;
  IF NOT FOUND OR p.pol_tablename IS NULL THEN
    RETURN NULL;
  END IF;
  BEGIN
    IF position('.' IN p.pol_tablename) = 0 THEN
      t := to_regclass(format('%I.%I', dr_utl.role_name(p.pol_owner), lower(p.pol_tablename)));
    END IF;
    t := coalesce(t, to_regclass(lower(p.pol_tablename)));
  EXCEPTION WHEN OTHERS THEN
    RETURN NULL;  -- not a name at all
  END;
  IF t IS NULL OR (SELECT c.relpersistence = 't' FROM pg_class c WHERE c.oid = t) THEN
    RETURN NULL;
  END IF;
  RETURN t;
END $$;

-- Readies the session to run code as a user: the user must be enabled (a
-- member of kestrin_user, or an administrator), and the calling role gets
-- membership in the user's role when it lacks it, through the
-- administrator's dr_utl.join_user.
-- Answers the user's oid, the session's settings a user may change and the
-- advisory locks the session holds, for dr_utl.leave_user once the role is
-- reset.
CREATE OR REPLACE FUNCTION dr_utl.enter_user(usr text, OUT uid oid, OUT names text[],
                                             OUT vals text[], OUT locks text[])
LANGUAGE plpgsql AS $$
BEGIN
  SELECT oid INTO uid FROM pg_roles WHERE rolname = usr;
  IF uid IS NULL THEN
    CALL dr_def.raise_error(format('user %s does not exist', coalesce(usr, 'null')));
  END IF;
  IF NOT dispatcher.is_admin(usr) AND NOT pg_has_role(usr, 'kestrin_user', 'MEMBER') THEN
    CALL dr_def.raise_error(format('user %s is not enabled (a member of kestrin_user)', usr));
  END IF;
  IF NOT pg_has_role(session_user, uid, 'MEMBER') THEN
    PERFORM dr_utl.join_user(usr);
  END IF;
  SELECT array_agg(s.name ORDER BY s.name), array_agg(s.setting ORDER BY s.name)
    INTO names, vals
    FROM pg_settings s WHERE s.context = 'user';
  SELECT array_agg(concat_ws('/', l.classid, l.objid, l.objsubid, l.mode))
    INTO locks
    FROM pg_locks l WHERE l.locktype = 'advisory' AND l.pid = pg_backend_pid();
END $$;

-- Undoes what code run as a user changed of the session's settings, left
-- in its temporary schema or locked for the session, since the session goes
-- on serving others. Called once the role is reset.
CREATE OR REPLACE PROCEDURE dr_utl.leave_user(names text[], vals text[], locks text[])
LANGUAGE plpgsql AS $$
DECLARE
  r record;
BEGIN
  FOR r IN SELECT v.name, v.val FROM unnest(names, vals) AS v(name, val)
             JOIN pg_settings s ON s.name = v.name
            WHERE s.setting IS DISTINCT FROM v.val LOOP
    BEGIN
      PERFORM set_config(r.name, r.val, false);
    EXCEPTION WHEN OTHERS THEN
      NULL;  -- one that cannot be set back now cannot have been changed either
    END;
  END LOOP;
  -- Advisory locks it took for the session would speak for this session's
  -- own (a server's life, a message in service): they go.
  FOR r IN SELECT l.classid, l.objid, l.objsubid, l.mode FROM pg_locks l
            WHERE l.locktype = 'advisory' AND l.pid = pg_backend_pid()
              AND NOT concat_ws('/', l.classid, l.objid, l.objsubid, l.mode)
                      = ANY (coalesce(locks, '{}'))
  LOOP
    IF r.objsubid = 2 AND r.mode = 'ShareLock' THEN
      PERFORM pg_advisory_unlock_shared(r.classid::integer, r.objid::integer);
    ELSIF r.objsubid = 2 THEN
      PERFORM pg_advisory_unlock(r.classid::integer, r.objid::integer);
    ELSIF r.mode = 'ShareLock' THEN
      PERFORM pg_advisory_unlock_shared((r.classid::bigint << 32) | r.objid::bigint);
    ELSE
      PERFORM pg_advisory_unlock((r.classid::bigint << 32) | r.objid::bigint);
    END IF;
  END LOOP;
  DISCARD TEMP;
END $$;

-- Runs a procedure that a request names, proc(svcno, arg1) or, with nargs
-- 3, proc(svcno, arg1, arg2), with the rights of the user the request came
-- from: the role is switched to that user, and the call is made from a
-- security-definer function the user owns, inside which no code can switch
-- the role back.
CREATE OR REPLACE PROCEDURE dr_utl.run_as(usr text, proc text, svcno integer, arg1 text,
                                          arg2 text, nargs integer)
LANGUAGE plpgsql AS $$
DECLARE
  u record;
  fn text;
BEGIN
  IF proc IS NULL OR proc !~ '^[A-Za-z_][A-Za-z0-9_$]*(\.[A-Za-z_][A-Za-z0-9_$]*)?$' THEN
    CALL dr_def.raise_error(format('%s is not a plain procedure name', coalesce(proc, 'null')));
  END IF;
  IF nargs IS NULL OR nargs NOT IN (2, 3) THEN
    CALL dr_def.raise_error(format('a request procedure takes 2 or 3 arguments, not %s', nargs));
  END IF;
  SELECT * INTO u FROM dr_utl.enter_user(usr);
  PERFORM set_config('role', usr, true);
  fn := format('pg_temp.%I', 'dr_run_as_' || u.uid);
  EXECUTE format($f$
CREATE OR REPLACE FUNCTION %s(p text, n integer, a integer, b text, c text) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER AS $b$
BEGIN
  IF n = 2 THEN
    EXECUTE format('CALL %%s($1, $2)', p) USING a, b;
  ELSE
    EXECUTE format('CALL %%s($1, $2, $3)', p) USING a, b, c;
  END IF;
END $b$ $f$, fn);
  EXECUTE format('SELECT %s($1, $2, $3, $4, $5)', fn) USING proc, nargs, svcno, arg1, arg2;
  PERFORM set_config('role', 'none', true);
  CALL dr_utl.leave_user(u.names, u.vals, u.locks);
END $$;

-- Runs a call of a thesaurus procedure or stored function that a text
-- query makes, with the rights of the query's user, as run_as does. The
-- statement is the query parser's: CALL name(:res[, :err][, 'text' ...]),
-- :res and :err standing for the procedure's INOUT answer and error number;
-- no other shape is run.
CREATE OR REPLACE PROCEDURE dr_utl.call_as(INOUT res text, INOUT err integer, usr text, stmt text)
LANGUAGE plpgsql AS $$
DECLARE
  u record;
  fn text;
  witherr boolean;
  body text;
BEGIN
  IF stmt IS NULL OR stmt !~ ('^CALL [A-Za-z_][A-Za-z0-9_$]*(\.[A-Za-z_][A-Za-z0-9_$]*)?'
                              '\(:res(, :err)?(, ''([^'']|'''')*'')*\)$') THEN
    CALL dr_def.raise_error(format('%s is not a call of a text query', coalesce(stmt, 'null')));
  END IF;
  witherr := stmt ~ '^CALL [^(]*\(:res, :err';
  body := regexp_replace(stmt, '\(:res(, :err)?', CASE WHEN witherr THEN '($1, $2' ELSE '($1' END);
  SELECT * INTO u FROM dr_utl.enter_user(usr);
  PERFORM set_config('role', usr, true);
  fn := format('pg_temp.%I', 'dr_call_as_' || u.uid);
  EXECUTE format($f$
CREATE OR REPLACE FUNCTION %s(s text, e boolean, INOUT r text, INOUT n integer)
LANGUAGE plpgsql SECURITY DEFINER AS $b$
BEGIN
  IF e THEN
    EXECUTE s INTO r, n USING r, n;
  ELSE
    EXECUTE s INTO r USING r;
  END IF;
END $b$ $f$, fn);
  EXECUTE format('SELECT * FROM %s($1, $2, $3, $4)', fn) INTO res, err USING body, witherr, res, err;
  PERFORM set_config('role', 'none', true);
  CALL dr_utl.leave_user(u.names, u.vals, u.locks);
END $$;

-- Writes into a table a user named (a result table of his own) with his
-- rights: the statements run in a function he owns, security definer, so
-- that a trigger, rule, policy or default on the table runs as he and
-- cannot take back the session's role. Only a plain insert, delete or
-- truncate of one table is run: first clr, then stmt (either may be null).
DROP PROCEDURE IF EXISTS dr_utl.write_as(text, text);
CREATE OR REPLACE PROCEDURE dr_utl.write_as(usr text, clr text, stmt text)
LANGUAGE plpgsql AS $$
DECLARE
  u record;
  fn text;
  s text;
BEGIN
  FOREACH s IN ARRAY ARRAY[coalesce(clr, ''), coalesce(stmt, '')] LOOP
    IF s <> '' AND (s !~* ('^(insert into|delete from|truncate table) '
                           '[A-Za-z_][A-Za-z0-9_$]*(\.[A-Za-z_][A-Za-z0-9_$]*)?( |$)')
                    OR position(';' IN regexp_replace(s, '''([^'']|'''')*''', '', 'g')) > 0) THEN
      CALL dr_def.raise_error(format('%s is not a write of a result table', left(s, 200)));
    END IF;
  END LOOP;
  SELECT * INTO u FROM dr_utl.enter_user(usr);
  PERFORM set_config('role', usr, true);
  fn := format('pg_temp.%I', 'dr_write_as_' || u.uid);
  EXECUTE format($f$
CREATE OR REPLACE FUNCTION %s(a text, b text) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER AS $b$
BEGIN
  IF a <> '' THEN
    EXECUTE a;
  END IF;
  IF b <> '' THEN
    EXECUTE b;
  END IF;
END $b$ $f$, fn);
  EXECUTE format('SELECT %s($1, $2)', fn) USING coalesce(clr, ''), coalesce(stmt, '');
  PERFORM set_config('role', 'none', true);
  CALL dr_utl.leave_user(u.names, u.vals, u.locks);
END $$;

-- Settings an administrator may change (UPDATE dr_utl.setting SET value =
-- ... WHERE name = ...); a second install keeps them.
--   CALL_TIMEOUT  seconds a procedure a message names may run (0: no limit)
CREATE TABLE IF NOT EXISTS dr_utl.setting (
  name  text PRIMARY KEY,
  value text NOT NULL
);
INSERT INTO dr_utl.setting VALUES ('CALL_TIMEOUT', '60') ON CONFLICT (name) DO NOTHING;

-- The statement time-out of code the server runs for users, as a setting
-- of statement_timeout (milliseconds).
CREATE OR REPLACE FUNCTION dr_utl.call_timeout() RETURNS text
LANGUAGE sql STABLE AS $$
  SELECT coalesce((SELECT (greatest(value::numeric, 0) * 1000)::bigint::text
                     FROM dr_utl.setting WHERE name = 'CALL_TIMEOUT'
                      AND value ~ '^\s*[0-9]+(\.[0-9]*)?\s*$'), '60000')
$$;

-- Refuses a command that would read files of the server's machine for a
-- policy whose owner may not read them, as the database itself guards
-- reading files: the owner must hold pg_read_server_files or kestrin_files,
-- which an administrator grants. A file store reads files; so does a URL
-- store that sets PATH, for its file: addresses. Commands that read documents: begin (10),
-- populate (11), highlight (16), and changed rows (3).
CREATE OR REPLACE PROCEDURE dr_utl.check_files(pid integer, command integer)
LANGUAGE plpgsql SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  own text;
BEGIN
  IF command NOT IN (3, 10, 11, 16) OR NOT EXISTS (
       SELECT 1 FROM dr$policy_preference pp JOIN dr$preference pr ON pr.pre_id = pp.ppr_pre_id
        WHERE pp.ppr_pol_id = pid AND pp.ppr_cla_id = 1
          AND (pr.pre_obj_id = 3
               -- A URL store reads file: addresses inside its PATH.
               OR (pr.pre_obj_id = 4 AND EXISTS (
                     SELECT 1 FROM dr$preference_attribute a
                      WHERE a.pat_pre_id = pr.pre_id AND upper(a.pat_name) = 'PATH'
                        AND coalesce(a.pat_value, '') <> '')))) THEN
    RETURN;
  END IF;
  SELECT dr_utl.role_name(p.pol_owner) INTO own FROM dr$policy p WHERE p.pol_id = pid;
  IF NOT EXISTS (SELECT 1 FROM pg_roles r WHERE r.rolname = own)
     OR NOT (pg_has_role(own, 'pg_read_server_files', 'MEMBER')
             OR pg_has_role(own, 'kestrin_files', 'MEMBER')) THEN
    CALL dr_def.raise_error(format(
      'policy %s reads files of the server''s machine, and its owner %s may not: an administrator '
      'grants pg_read_server_files or kestrin_files for that', pid, coalesce(own, 'null')));
  END IF;
END $$;

-- The objects of a policy's index that are missing while others are there
-- (dropped or renamed under the index), as a list of names; null when the
-- index is whole or there is none.
CREATE OR REPLACE FUNCTION dr_utl.index_missing(pid integer) RETURNS text
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  own text;
  have integer := 0;
  missing text[] := '{}';
  nm text;
  obj text;
BEGIN
  SELECT dr_utl.role_name(p.pol_owner) INTO own FROM dr$policy p WHERE p.pol_id = pid;
  IF own IS NULL THEN
    RETURN NULL;
  END IF;
  -- (those a begin makes; the others come with the end of the first run)
  FOREACH obj IN ARRAY ARRAY['ktb', 'ksq', 'lst', 'sqr', 'sri'] LOOP
    nm := format('%I.%I', own, format('dr_%s_%s', to_char(pid, 'FM00000'), obj));
    BEGIN
      IF to_regclass(nm) IS NULL THEN
        missing := missing || nm;
      ELSE
        have := have + 1;
      END IF;
    EXCEPTION WHEN OTHERS THEN
      missing := missing || nm;  -- a schema the servers cannot even look into
    END;
  END LOOP;
  IF have = 0 OR cardinality(missing) = 0 THEN
    RETURN NULL;
  END IF;
  RETURN array_to_string(missing, ', ');
END $$;

-- Refuses a command on a policy (or a changed row, command 3) that cannot
-- be served: files its owner may not read, or an index that lost objects
-- (every command but begin, drop and truncate, which make or remove them).
CREATE OR REPLACE PROCEDURE dr_utl.check_policy(pid integer, command integer)
LANGUAGE plpgsql SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  lost text;
BEGIN
  CALL dr_utl.check_files(pid, command);
  IF command IN (3, 10, 11) THEN
    lost := dr_utl.attached_code(dr_utl.policy_table(pid), false);
    IF lost IS NOT NULL THEN
      CALL dr_def.raise_error(format(
        'the table of policy %s carries code of its own (%s), which the servers do not run: '
        'index a plain table, or a view that calls built-in functions only', pid, lost));
    END IF;
  END IF;
  IF command NOT IN (10, 12, 13) THEN
    lost := dr_utl.index_missing(pid);
    IF lost IS NOT NULL THEN
      CALL dr_def.raise_error(format(
        'the index of policy %s lacks %s (dropped or altered under it): drop the index and build it again',
        pid, lost));
    END IF;
  END IF;
END $$;

-- What code of its own a table or view that a user names would run when the
-- servers read it (with write false) or write into it: row-level security,
-- rules of a table, functions of the database's users in a view's
-- definition and, for writes, triggers and such functions in defaults,
-- generated columns, checks and index expressions. A text that says what,
-- or null when it carries none (or is no table). The servers refuse such a
-- table rather than run that code with their rights.
CREATE OR REPLACE FUNCTION dr_utl.attached_code(c regclass, write boolean) RETURNS text
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  r pg_class%ROWTYPE;
  why text[] := '{}';
BEGIN
  IF c IS NULL THEN
    RETURN NULL;
  END IF;
  SELECT * INTO r FROM pg_class x WHERE x.oid = c;
  IF r.relrowsecurity THEN
    why := why || 'row-level security'::text;
  END IF;
  IF r.relkind <> 'v' AND EXISTS (SELECT 1 FROM pg_rewrite w WHERE w.ev_class = c) THEN
    why := why || 'rules'::text;
  END IF;
  IF write AND EXISTS (SELECT 1 FROM pg_trigger g WHERE g.tgrelid = c AND NOT g.tgisinternal) THEN
    why := why || 'triggers'::text;
  END IF;
  -- Functions made in this database (not built in) that the view's
  -- definition calls, or, for writes, that defaults, generated columns,
  -- checks and index expressions call.
  IF EXISTS (
       SELECT 1 FROM pg_depend d
        WHERE d.refclassid = 'pg_proc'::regclass AND d.refobjid >= 16384
          AND ((d.classid = 'pg_rewrite'::regclass
                AND d.objid IN (SELECT w.oid FROM pg_rewrite w WHERE w.ev_class = c))
               OR (write AND d.classid = 'pg_attrdef'::regclass
                   AND d.objid IN (SELECT a.oid FROM pg_attrdef a WHERE a.adrelid = c))
               OR (write AND d.classid = 'pg_constraint'::regclass
                   AND d.objid IN (SELECT k.oid FROM pg_constraint k WHERE k.conrelid = c))
               OR (write AND d.classid = 'pg_class'::regclass
                   AND d.objid IN (SELECT i.indexrelid FROM pg_index i WHERE i.indrelid = c)))) THEN
    why := why || 'functions of its own'::text;
  END IF;
  IF write AND r.relkind NOT IN ('r', 'p') THEN
    why := why || 'no plain table'::text;
  END IF;
  IF cardinality(why) = 0 THEN
    RETURN NULL;
  END IF;
  RETURN array_to_string(why, ', ');
END $$;

-- The same for a table's name as the caller's search path finds it.
CREATE OR REPLACE FUNCTION dr_utl.attached_code(tab text, write boolean) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
  c regclass;
BEGIN
  BEGIN
    c := to_regclass(tab);
  EXCEPTION WHEN OTHERS THEN
    RETURN NULL;
  END;
  RETURN dr_utl.attached_code(c, write);
END $$;
