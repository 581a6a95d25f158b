-- Doc-id reservation for the id-list tables of the text indexes (the
-- policies' tables with the suffix LST). A reservation takes a block of ids
-- from the table's free row under its row lock; the server commits right
-- after the call, which ends the lock.

CREATE SCHEMA IF NOT EXISTS dr_lst;

-- Reserve size_required ids for the server session sid (its registered
-- audsid) in the id-list table tab ([schema.]name). The free row keeps at
-- least one id and no id above 2147483647 is handed out; otherwise, and
-- when the table has no free row, 'run out of doc id' is raised and nothing
-- changes. Outputs: the count reserved, the first id as text and the free
-- row's contiguous flag.
CREATE OR REPLACE PROCEDURE dr_lst.alloc(tab text, size_required integer, sid integer,
                                         INOUT actual integer DEFAULT NULL,
                                         INOUT allocated_list text DEFAULT NULL,
                                         INOUT contiguous_list integer DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
  f record;
BEGIN
  IF tab IS NULL OR tab !~ '^[A-Za-z_][A-Za-z0-9_$#]{0,62}(\.[A-Za-z_][A-Za-z0-9_$#]{0,62})?$' THEN
    CALL dr_def.raise_error(format('%s is not a table name', coalesce(tab, 'null')));
  END IF;
  IF size_required IS NULL OR size_required < 0 THEN
    CALL dr_def.raise_error(format('cannot reserve %s doc ids', coalesce(size_required::text, 'null')));
  END IF;
  EXECUTE format('SELECT ctid AS at, idcount, contiguous, data FROM %s'
                 ' WHERE ltype = ''F'' AND contiguous = 1 ORDER BY idcount LIMIT 1 FOR UPDATE', tab)
    INTO f;
  IF f.at IS NULL OR f.idcount <= size_required
     OR f.data::bigint + size_required - 1 > 2147483647 THEN
    CALL dr_def.raise_error('run out of doc id');
  END IF;
  EXECUTE format('INSERT INTO %s (sid, ltype, contiguous, idcount, data) VALUES ($1, ''R'', $2, $3, $4)', tab)
    USING sid, f.contiguous, size_required, f.data;
  EXECUTE format('UPDATE %s SET ltype = ''F'', idcount = $1, data = $2 WHERE ctid = $3', tab)
    USING f.idcount - size_required, (f.data::bigint + size_required)::text, f.at;
  actual := size_required;
  allocated_list := f.data;
  contiguous_list := f.contiguous;
END $$;
