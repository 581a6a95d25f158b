-- The two group roles of the database side. A user is enabled by granting
-- one of them:
--   GRANT kestrin_user TO alice;    -- may submit commands, interrupt and see their own
--   GRANT kestrin_admin TO bob;     -- may also stop servers, change their
--                                   -- personality and send the registry commands
-- Roles belong to the whole cluster, so a second install (in this or another
-- database, maybe at the same moment) finds them made; the installing role
-- needs CREATEROLE the first time.

DO $$
DECLARE
  r text;
BEGIN
  FOREACH r IN ARRAY ARRAY['kestrin_user', 'kestrin_admin'] LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN
      BEGIN
        EXECUTE format('CREATE ROLE %I NOLOGIN', r);
      EXCEPTION WHEN duplicate_object OR unique_violation THEN
        NULL;  -- made by a concurrent install
      END;
    END IF;
  END LOOP;
  -- A concurrent install may be granting it at the same moment: try again
  -- until the membership is there.
  FOR i IN 1 .. 50 LOOP
    EXIT WHEN pg_has_role('kestrin_admin', 'kestrin_user', 'MEMBER');
    BEGIN
      GRANT kestrin_user TO kestrin_admin;
    EXCEPTION WHEN OTHERS THEN
      IF i = 50 THEN
        RAISE;
      END IF;
      PERFORM pg_sleep(0.02);
    END;
  END LOOP;
END $$;
