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
-- values as literals. Only the one statement shape the server sends is run:
-- INSERT INTO <table>(<key columns>,SCORE,CONID) SELECT <key columns>,SCORE,:a1
-- FROM <table>, with plain names, so nothing else can be smuggled in.
CREATE OR REPLACE PROCEDURE dr_utl.install_callback(usrnam text)
LANGUAGE plpgsql AS $$
DECLARE
  sch text := lower(coalesce(usrnam, ''));
  args text := '';
BEGIN
  IF sch !~ '^[a-z_][a-z0-9_$#]*$' THEN
    CALL dr_def.raise_error(format('invalid user name %s', usrnam));
  END IF;
  FOR k IN 1 .. 10 LOOP
    args := args || format(', v%s text DEFAULT NULL, l%s integer DEFAULT 0', k, k);
  END LOOP;
  EXECUTE format('CREATE SCHEMA IF NOT EXISTS %I', sch);
  EXECUTE format($f$
CREATE OR REPLACE PROCEDURE %I.dr$callback(stmt text%s)
LANGUAGE plpgsql AS $b$
DECLARE
  m text[];
  vals text[] := ARRAY[v1, v2, v3, v4, v5, v6, v7, v8, v9, v10];
  s text := stmt;
BEGIN
  m := regexp_match(stmt,
    '^\s*INSERT\s+INTO\s+([A-Za-z_][A-Za-z0-9_$#]*(\.[A-Za-z_][A-Za-z0-9_$#]*)?)\s*'
    '\(((TEXTKEY[0-9]*)(,TEXTKEY[0-9]*)*),SCORE,CONID\)\s+SELECT\s+\3,SCORE,:a1\s+'
    'FROM\s+([A-Za-z_][A-Za-z0-9_$#]*(\.[A-Za-z_][A-Za-z0-9_$#]*)?)\s*$', 'i');
  IF m IS NULL THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('the callback does not run this statement: %%s', left(stmt, 200));
  END IF;
  FOR k IN REVERSE 10 .. 1 LOOP
    s := replace(s, ':a' || k, quote_nullable(vals[k]));
  END LOOP;
  EXECUTE s;
END $b$
$f$, sch, args);
END $$;

-- Install the callback of a user unless it is there.
CREATE OR REPLACE PROCEDURE dr_utl.ensure_callback(usrnam text)
LANGUAGE plpgsql AS $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM dr_utl.dba_objects
                  WHERE owner = upper(usrnam) AND object_name = 'DR$CALLBACK'
                    AND object_type = 'PROCEDURE') THEN
    CALL dr_utl.install_callback(usrnam);
  END IF;
END $$;
