-- The one thing the servers need that their login may not do itself: to
-- take on the role of an enabled user, so that code run for that user
-- (procedures a message names, tables the user names) runs with the user's
-- rights only. Made by the installing administrator, who owns it; only the
-- servers' login may call it, and it grants nothing but membership of an
-- enabled user's login role to the servers' login (the owner of the
-- database side), and never of a role that holds more than a user may
-- (superuser, CREATEROLE, replication, row-security bypass, or the right to
-- grant any role on).

CREATE OR REPLACE FUNCTION dr_utl.join_user(usr text) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  srv text := (SELECT pg_get_userbyid(n.nspowner)::text FROM pg_namespace n
                WHERE n.nspname = 'dr_utl');
  r pg_roles%ROWTYPE;
BEGIN
  IF session_user::text <> srv THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('only the servers'' login %s may take on a user''s role', srv);
  END IF;
  SELECT * INTO r FROM pg_roles WHERE rolname = usr;
  IF NOT FOUND THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('user %s does not exist', coalesce(usr, 'null'));
  END IF;
  IF pg_has_role(srv, r.oid, 'MEMBER') THEN
    RETURN;
  END IF;
  IF NOT r.rolcanlogin OR usr LIKE 'pg\_%'
     OR NOT pg_has_role(usr, 'kestrin_user', 'MEMBER') THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('user %s is not enabled (a login role that is a member of kestrin_user)', usr);
  END IF;
  IF r.rolsuper OR r.rolcreaterole OR r.rolreplication OR r.rolbypassrls
     OR EXISTS (SELECT 1 FROM pg_auth_members m
                 WHERE m.admin_option AND pg_has_role(r.oid, m.member, 'MEMBER')) THEN
    RAISE EXCEPTION USING ERRCODE = 'DRT01',
      MESSAGE = format('user %s holds more rights than the servers may take on '
                       '(superuser, CREATEROLE, replication, row-security bypass or a role '
                       'with admin option)', usr);
  END IF;
  EXECUTE format('GRANT %I TO %I', usr, srv);
END $$;
REVOKE ALL ON FUNCTION dr_utl.join_user(text) FROM PUBLIC;
SELECT format('GRANT EXECUTE ON FUNCTION dr_utl.join_user(text) TO %I', :'srv') \gexec

-- The session id of the calling session for its stored queries and query
-- results: the process id and the backend's start in microseconds (the
-- start of another user's backend is hidden from the servers' login, which
-- the dispatcher runs as). Only the servers' login may call these.
CREATE OR REPLACE FUNCTION dr_utl.session_id() RETURNS text
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
  SELECT pg_backend_pid() || '.' || floor(extract(epoch FROM a.backend_start) * 1000000)::bigint
    FROM pg_stat_activity a WHERE a.pid = pg_backend_pid()
$$;
REVOKE ALL ON FUNCTION dr_utl.session_id() FROM PUBLIC;
SELECT format('GRANT EXECUTE ON FUNCTION dr_utl.session_id() TO %I', :'srv') \gexec

-- True while the session of a session id made by dr_utl.session_id lives.
CREATE OR REPLACE FUNCTION dr_utl.session_live(sid text) RETURNS boolean
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
  SELECT EXISTS (SELECT 1 FROM pg_stat_activity a
                  WHERE a.pid || '.' || floor(extract(epoch FROM a.backend_start) * 1000000)::bigint
                        = sid)
$$;
REVOKE ALL ON FUNCTION dr_utl.session_live(text) FROM PUBLIC;
SELECT format('GRANT EXECUTE ON FUNCTION dr_utl.session_live(text) TO %I', :'srv') \gexec
