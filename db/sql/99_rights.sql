-- Who may use what. Callers (kestrin_user) and administrators (kestrin_admin)
-- get no right on any table or sequence of the database side: they reach
-- the servers only through the doors below, which act for session_user.
-- Everything else is for the owner, the role the servers log in as.

DO $$
DECLARE
  sch text;
BEGIN
  FOREACH sch IN ARRAY ARRAY['dr_def', 'drue', 'draserm', 'dispatcher', 'listener', 'svcq', 'srcq',
                             'dmlq', 'dr_rtm', 'drdinte', 'dr_utl', 'dr_lst', 'vek_ths',
                             'vek_access'] LOOP
    EXECUTE format('REVOKE ALL ON SCHEMA %I FROM PUBLIC', sch);
    EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA %I FROM PUBLIC', sch);
    EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA %I FROM PUBLIC', sch);
  END LOOP;
  -- Routines of the servers' login (the administrator's dr_utl.join_user
  -- sets its own rights).
  FOR sch IN SELECT p.oid::regprocedure::text FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
              WHERE n.nspname IN ('dr_def', 'drue', 'draserm', 'dispatcher', 'listener', 'svcq',
                                  'srcq', 'dmlq', 'dr_rtm', 'drdinte', 'dr_utl', 'dr_lst',
                                  'vek_ths', 'vek_access')
                AND pg_has_role(p.proowner, 'USAGE') LOOP
    EXECUTE format('REVOKE ALL ON ROUTINE %s FROM PUBLIC', sch);
  END LOOP;
END $$;
REVOKE ALL ON dr$policy, dr$text_index, dr$source, dr$preference, dr$preference_attribute,
              dr$object_attribute, dr$policy_preference, dr$text_index_log, drq_inprog
  FROM PUBLIC;
REVOKE ALL ON SEQUENCE dr$id_seq, dr$preference_seq FROM PUBLIC;

-- The doors.
GRANT USAGE ON SCHEMA dispatcher, svcq, dmlq TO kestrin_user;
GRANT SELECT ON dispatcher.messages TO kestrin_user;
GRANT EXECUTE ON FUNCTION dispatcher.enqueue(integer, text[], text),
                          dispatcher.await(integer, integer) TO kestrin_user;
GRANT EXECUTE ON PROCEDURE
  dispatcher.submit(integer, text, text, text, text, text, text, text, text, text, text, integer,
                    integer, integer, text[], bytea, text),
  dispatcher.post(integer, text, text, text, text, text, text, text, text, text, text, integer, text),
  dispatcher.wait_reply(integer, integer, integer, text[], bytea),
  dispatcher.interrupt(integer),
  dispatcher.ring(),
  svcq.queue(text, integer, integer, boolean, text, text, text, text, text, text, text, text, text,
             text, text, text),
  dmlq.queue_change(integer, text)
  TO kestrin_user;
-- Thesaurus operators and the access check run with the rights of the
-- query's user, so callers may call them (the relation table stays closed).
GRANT USAGE ON SCHEMA vek_ths, vek_access TO kestrin_user;
GRANT EXECUTE ON ALL PROCEDURES IN SCHEMA vek_ths, vek_access TO kestrin_user;
