-- Optimisation of an index as an administrator runs it: begin (37), one
-- optimise (14) per server, sent together and awaited together, then end
-- (33). Modes 3 to 5 with several servers work through ranges of words
-- assigned beforehand to each server in the policy's work-range table
-- (suffix RDTOPT); after a two-table mode (3 or 4) the policy's token table
-- becomes the new one: its suffix is switched, the servers are told to
-- read the policy again (20) and the old table is dropped.
--
--   CALL dr_opt.optimize(policy, mode, servers, threshold);
--
-- The caller needs the rights of the commands (the policy's owner or an
-- administrator); the steps that touch the policy's tables check them too.

CREATE SCHEMA IF NOT EXISTS dr_opt;
DROP FUNCTION IF EXISTS dr_opt.send(integer, text[]);

-- The name of one of a policy's tables by its suffix word.
CREATE OR REPLACE FUNCTION dr_opt.table_name(pid integer, sfx text) RETURNS text
LANGUAGE sql STABLE SET search_path = pg_catalog, public, pg_temp AS $$
  SELECT format('%I.%I', lower(p.pol_owner), lower(format('dr_%s_%s', lpad(p.pol_id::text, 5, '0'), sfx)))
    FROM dr$policy p WHERE p.pol_id = pid
$$;

-- The policy's suffix character of its token table ('1' or '2').
CREATE OR REPLACE FUNCTION dr_opt.suffix(pid integer) RETURNS text
LANGUAGE sql STABLE SET search_path = pg_catalog, public, pg_temp AS $$
  SELECT coalesce((SELECT nullif(t.txi_suffix, '') FROM dr$text_index t WHERE t.txi_pol_id = pid), '1')
$$;

-- Fills the work-range table of a run of modes 3 to 5: the words of the
-- token table by their first character, in as many ranges as 4 per server
-- (fewer when there are fewer characters), of about equal rows, assigned
-- to the servers in turn. A range's high value is a first character: the
-- servers read it as every word that begins with it, so ranges never
-- share a word.
CREATE OR REPLACE PROCEDURE dr_opt.fill_ranges(pid integer, servers integer)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  wr text := dr_opt.table_name(pid, 'rdtopt');
  tok text := dr_opt.table_name(pid, 'i1t' || dr_opt.suffix(pid));
BEGIN
  CALL dispatcher.check_rights(session_user::text, 14,
                               ARRAY[pid::text, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL]);
  IF servers IS NULL OR servers < 1 THEN
    CALL dr_def.raise_error(format('an optimisation needs at least one server, not %s', servers));
  END IF;
  EXECUTE format('CREATE TABLE IF NOT EXISTS %s (lowval varchar(64), highval varchar(64),'
                 ' status char(1), server integer)', wr);
  EXECUTE format('DELETE FROM %s', wr);
  EXECUTE format($q$
    WITH c AS (SELECT left(word_text, 1) AS ch, count(*) AS n FROM %s GROUP BY 1),
         t AS (SELECT ch, ntile(%s) OVER (ORDER BY ch COLLATE "C") AS k FROM c),
         r AS (SELECT min(ch COLLATE "C") AS lo, max(ch COLLATE "C") AS hi, k FROM t GROUP BY k)
    INSERT INTO %s (lowval, highval, status, server)
    SELECT lo, hi, 'F', ((row_number() OVER (ORDER BY k) - 1) %% %s) + 1 FROM r$q$,
    tok, servers * 4, wr, servers);
END $$;

-- Makes the other token table of a two-table run the policy's own: only
-- when it exists with its unique index (an end-optimise made it); the old
-- table is dropped.
CREATE OR REPLACE PROCEDURE dr_opt.switch_table(pid integer)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp AS $$
DECLARE
  old text := dr_opt.suffix(pid);
  new text := CASE old WHEN '1' THEN '2' ELSE '1' END;
  newtab regclass;
BEGIN
  CALL dispatcher.check_rights(session_user::text, 33,
                               ARRAY[pid::text, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL]);
  newtab := to_regclass(dr_opt.table_name(pid, 'i1t' || new));
  IF newtab IS NULL OR NOT EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = newtab AND i.indisunique) THEN
    CALL dr_def.raise_error(format('policy %s has no new token table to switch to', pid));
  END IF;
  INSERT INTO dr$text_index AS t (txi_pol_id, txi_suffix) VALUES (pid, new)
  ON CONFLICT (txi_pol_id) DO UPDATE SET txi_suffix = new;
  EXECUTE format('DROP TABLE IF EXISTS %s', dr_opt.table_name(pid, 'i1t' || old));
END $$;

-- Queues one command (for one server's mailbox when given); its id. The
-- caller commits, so that the servers see it.
CREATE OR REPLACE FUNCTION dr_opt.send(command integer, args text[], mbox text DEFAULT NULL)
RETURNS integer
LANGUAGE sql AS $$
  SELECT dispatcher.enqueue(command, args || array_fill(NULL::text, ARRAY[10 - cardinality(args)]), mbox)
$$;

-- Waits for a command's reply and raises its error when it failed.
CREATE OR REPLACE PROCEDURE dr_opt.await(id integer, timeout_s integer)
LANGUAGE plpgsql AS $$
DECLARE
  code integer;
  args text[];
  data bytea;
BEGIN
  CALL dispatcher.wait_reply(id, timeout_s, code, args, data);
  IF code IS DISTINCT FROM 101 THEN
    CALL dr_def.raise_error(format('message %s failed: %s', id, coalesce(array_to_string(args, ' '), '')));
  END IF;
END $$;

CREATE OR REPLACE PROCEDURE dr_opt.optimize(pid integer, mode integer, servers integer DEFAULT 1,
                                            threshold integer DEFAULT 50, timeout_s integer DEFAULT 3600)
LANGUAGE plpgsql AS $$
DECLARE
  ids integer[] := '{}';
  id integer;
  n integer := coalesce(servers, 1);
  box text;
BEGIN
  IF mode BETWEEN 3 AND 5 AND n > 1 THEN
    CALL dr_opt.fill_ranges(pid, n);
    COMMIT;
  END IF;
  id := dr_opt.send(37, ARRAY[pid::text, n::text, mode::text]);
  COMMIT;
  CALL dr_opt.await(id, timeout_s);
  FOR s IN 1 .. n LOOP
    ids := ids || dr_opt.send(14, ARRAY[pid::text, mode::text, coalesce(threshold, 50)::text, n::text,
                                        s::text]);
  END LOOP;
  COMMIT;
  -- Every server's reply is awaited before a failure is raised, so that no
  -- run is left going unnoticed.
  DECLARE
    failed text;
  BEGIN
    FOREACH id IN ARRAY ids LOOP
      BEGIN
        CALL dr_opt.await(id, timeout_s);
      EXCEPTION WHEN OTHERS THEN
        failed := coalesce(failed || '; ', '') || SQLERRM;
      END;
    END LOOP;
    IF failed IS NOT NULL THEN
      CALL dr_def.raise_error(failed);
    END IF;
  END;
  id := dr_opt.send(33, ARRAY[pid::text, mode::text]);
  COMMIT;
  CALL dr_opt.await(id, timeout_s);
  IF mode IN (3, 4) THEN
    CALL dr_opt.switch_table(pid);
    COMMIT;
    -- Every running server reads the policy again, with its new table.
    FOR box IN SELECT s.mbox FROM draserm.server s WHERE dispatcher.live(s.audsid, s.backend_pid) LOOP
      PERFORM dr_opt.send(20, ARRAY[pid::text], box);
    END LOOP;
    COMMIT;
  END IF;
END $$;

REVOKE ALL ON SCHEMA dr_opt FROM PUBLIC;
REVOKE ALL ON ALL ROUTINES IN SCHEMA dr_opt FROM PUBLIC;
GRANT USAGE ON SCHEMA dr_opt TO kestrin_user;
GRANT EXECUTE ON ALL ROUTINES IN SCHEMA dr_opt TO kestrin_user;
