-- The thesaurus a text query's operators read, and the access check of
-- stored functions. Both are called through dr_utl.call_as, with the rights
-- of the query's user.

CREATE SCHEMA IF NOT EXISTS vek_ths;
CREATE SCHEMA IF NOT EXISTS vek_access;

-- One relation between two terms: synonym (SYN), narrower (NT), broader
-- (BT), preferred (PT), top (TT), related (RT), broader partitive (BTP) and
-- generic (BTG), narrower partitive (NTP) and generic (NTG).
CREATE TABLE IF NOT EXISTS vek_ths.relation (
  term text NOT NULL,
  relation text NOT NULL
    CHECK (relation IN ('SYN', 'NT', 'BT', 'PT', 'TT', 'RT', 'BTP', 'BTG', 'NTP', 'NTG')),
  related text NOT NULL,
  PRIMARY KEY (term, relation, related)
);
CREATE INDEX IF NOT EXISTS relation_term ON vek_ths.relation (upper(term), relation);

-- The answer of an operator: the term and the terms it has the relation to
-- (case-blind), each in braces (a closing brace doubled, as the query
-- language escapes it), joined by "|": a query text.
CREATE OR REPLACE FUNCTION vek_ths.answer(rel text, word text) RETURNS text
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
  SELECT string_agg('{' || replace(x.t, '}', '}}') || '}', '|' ORDER BY x.o, x.t)
    FROM (SELECT answer.word AS t, 0 AS o
          UNION
          SELECT r.related, 1 FROM vek_ths.relation r
           WHERE upper(r.term) = upper(answer.word) AND r.relation = answer.rel
             AND upper(r.related) <> upper(answer.word)) x
$$;

-- The ten operators: vek_ths.syn(res, err, term) and so on. err is 0.
DO $$
DECLARE
  r text;
BEGIN
  FOREACH r IN ARRAY ARRAY['SYN', 'NT', 'BT', 'PT', 'TT', 'RT', 'BTP', 'BTG', 'NTP', 'NTG'] LOOP
    EXECUTE format($p$
CREATE OR REPLACE PROCEDURE vek_ths.%s(INOUT res text, INOUT err integer, term text)
LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $b$
  SELECT vek_ths.answer(%L, term), 0
$b$ $p$, lower(r), r);
  END LOOP;
END $$;

-- The name to call for a stored function, [schema.]name, when usr may
-- execute it: a procedure of that name, looked for in the schema given or
-- along the caller's search path, in a schema usr may use. Otherwise a text
-- starting with a blank. Only a name that reads the same unquoted is
-- answered, since the caller pastes it into a statement as it stands.
CREATE OR REPLACE PROCEDURE vek_access.can_execute(INOUT res text, usr text, name text)
LANGUAGE plpgsql AS $$
DECLARE
  parts text[];
  path text[] := pg_catalog.current_schemas(false);
  nsp name;
  nspid oid;
BEGIN
  res := ' ' || coalesce(name, '');
  IF name IS NULL OR usr IS NULL
     OR name !~ '^[A-Za-z_][A-Za-z0-9_$]*(\.[A-Za-z_][A-Za-z0-9_$]*)?$' THEN
    RETURN;
  END IF;
  parts := pg_catalog.string_to_array(pg_catalog.lower(name), '.');
  SELECT n.nspname, n.oid INTO nsp, nspid
    FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace
   WHERE p.prokind = 'p' AND p.proname = parts[pg_catalog.array_length(parts, 1)]
     AND CASE WHEN pg_catalog.array_length(parts, 1) = 2 THEN n.nspname = parts[1]
              ELSE n.nspname = ANY (path) END
   ORDER BY pg_catalog.array_position(path, n.nspname::text)
   LIMIT 1;
  IF nsp IS NULL OR nsp !~ '^[a-z_][a-z0-9_$]*$'
     OR NOT pg_catalog.has_schema_privilege(usr, nspid, 'USAGE')
     OR NOT EXISTS (SELECT 1 FROM pg_catalog.pg_proc p
                     WHERE p.pronamespace = nspid AND p.prokind = 'p'
                       AND p.proname = parts[pg_catalog.array_length(parts, 1)]
                       AND pg_catalog.has_function_privilege(usr, p.oid, 'EXECUTE')) THEN
    RETURN;
  END IF;
  res := nsp || '.' || parts[pg_catalog.array_length(parts, 1)];
END $$;
