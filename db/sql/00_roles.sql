-- The roles of the database side, made by the installing administrator
-- (db/install runs this file, and 98_admin.sql, as that role; everything
-- else as the servers' login, psql variable srv). A user is enabled by
-- granting one of the group roles:
--   GRANT kestrin_user TO alice;    -- may submit commands, interrupt and see their own
--   GRANT kestrin_admin TO bob;     -- may also stop servers, change their
--                                   -- personality and send the registry commands
--   GRANT kestrin_files TO alice;   -- her policies may read files of the server's machine
-- Roles belong to the whole cluster, so a second install (in this or another
-- database, maybe at the same moment) finds them made.
--
-- The servers' login keeps no right beyond owning the database side: no
-- superuser (refused), no CREATEROLE and no membership in a pg_* role (both
-- taken away here), since code it runs for users could otherwise use them.

SELECT set_config('kes.srv', :'srv', false);

DO $$
DECLARE
  srv text := current_setting('kes.srv');
  r text;
BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = srv) THEN
    RAISE EXCEPTION 'the servers'' login % does not exist: an administrator makes it first', srv;
  END IF;
  IF (SELECT rolsuper FROM pg_roles WHERE rolname = srv) THEN
    RAISE EXCEPTION 'the servers'' login % is a superuser: the servers need a login of their own', srv;
  END IF;
  IF (SELECT rolcreaterole OR rolreplication OR rolbypassrls FROM pg_roles WHERE rolname = srv) THEN
    EXECUTE format('ALTER ROLE %I NOCREATEROLE NOREPLICATION NOBYPASSRLS', srv);
  END IF;
  FOR r IN SELECT g.rolname FROM pg_auth_members m
             JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles u ON u.oid = m.member
            WHERE u.rolname = srv AND g.rolname LIKE 'pg\_%' LOOP
    EXECUTE format('REVOKE %I FROM %I', r, srv);
  END LOOP;
  FOREACH r IN ARRAY ARRAY['kestrin_user', 'kestrin_admin', 'kestrin_files'] LOOP
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
