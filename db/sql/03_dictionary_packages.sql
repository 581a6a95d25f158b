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
   WHERE n.nspname = lower(coalesce(usrnam, ''))
$$;

CREATE OR REPLACE PROCEDURE dr_utl.install_callback(usrnam text)
LANGUAGE plpgsql AS $$
DECLARE
  sch text := lower(coalesce(usrnam, ''));
  usr text;
  args text := '';
BEGIN
  IF sch !~ '^[a-z_][a-z0-9_$]*$' THEN
    CALL dr_def.raise_error(format('invalid user name %s', usrnam));
  END IF;
  SELECT rolname INTO usr FROM pg_roles
   WHERE rolname = usrnam OR lower(rolname) = sch ORDER BY rolname = usrnam DESC LIMIT 1;
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
      t := to_regclass(format('%I.%I', lower(p.pol_owner), lower(p.pol_tablename)));
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
-- membership in the user's role when it lacks it, which needs CREATEROLE.
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
    EXECUTE format('GRANT %I TO %I', usr, session_user);
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
