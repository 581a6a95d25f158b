-- Dictionary tables: policies, text-loading sources, preferences and their
-- attributes, the index log. Names are stored upper case, as users write them.

-- Policies and text-loading sources take their ids from one sequence, so the
-- dictionary lookup that unions both can never see the same id twice.
CREATE SEQUENCE IF NOT EXISTS dr$id_seq START 1000;
CREATE SEQUENCE IF NOT EXISTS dr$preference_seq START 1000;

CREATE TABLE IF NOT EXISTS dr$policy (
  pol_id        integer PRIMARY KEY DEFAULT nextval('dr$id_seq'),
  pol_name      varchar(31) NOT NULL,
  pol_owner     varchar(31) NOT NULL DEFAULT upper(current_user),
  pol_tablename varchar(31),
  pol_text_expr varchar(1999),
  pol_text_type integer,          -- 1 character, 8 long, 24 long raw
  pol_key_name  varchar(256),     -- key columns, comma-separated
  pol_key_type  integer,          -- 2 numeric, else character
  pol_ln_name   varchar(31),
  pol_ln_type   integer,
  pol_description varchar(2000),
  UNIQUE (pol_owner, pol_name)
);

CREATE TABLE IF NOT EXISTS dr$text_index (
  txi_pol_id  integer PRIMARY KEY REFERENCES dr$policy ON DELETE CASCADE,
  txi_suffix  varchar(31),
  txi_status  varchar(16)
);

CREATE TABLE IF NOT EXISTS dr$source (
  src_id          integer PRIMARY KEY DEFAULT nextval('dr$id_seq'),
  src_name        varchar(31) NOT NULL,
  src_owner       varchar(31) NOT NULL DEFAULT upper(current_user),
  src_table_name  varchar(31),
  src_column_name varchar(1999),
  src_refresh     integer NOT NULL DEFAULT 0,
  src_next        integer NOT NULL DEFAULT 0,
  src_sid         integer,
  UNIQUE (src_owner, src_name)
);

CREATE TABLE IF NOT EXISTS dr$preference (
  pre_id     integer PRIMARY KEY DEFAULT nextval('dr$preference_seq'),
  pre_name   varchar(31) NOT NULL,
  pre_owner  varchar(31) NOT NULL DEFAULT upper(current_user),
  pre_cla_id integer NOT NULL CHECK (pre_cla_id BETWEEN 1 AND 16),
  pre_obj_id integer NOT NULL,
  pre_description varchar(2000)
);

CREATE TABLE IF NOT EXISTS dr$preference_attribute (
  pat_pre_id integer NOT NULL REFERENCES dr$preference ON DELETE CASCADE,
  pat_name   varchar(64) NOT NULL,
  pat_value  varchar(2000),
  pat_seq    integer NOT NULL DEFAULT 1,
  PRIMARY KEY (pat_pre_id, pat_name, pat_seq)
);

CREATE TABLE IF NOT EXISTS dr$object_attribute (
  oat_cla_id   integer NOT NULL,
  oat_obj_id   integer NOT NULL,
  oat_name     varchar(64) NOT NULL,
  oat_ordinal  integer NOT NULL,
  oat_datatype varchar(16) NOT NULL DEFAULT 'NUMBER',   -- 'STRING' or a number type
  oat_optional char(1) NOT NULL DEFAULT 'Y',
  PRIMARY KEY (oat_cla_id, oat_obj_id, oat_name)
);

-- Which preference a policy (or a text-loading source) uses for each class.
CREATE TABLE IF NOT EXISTS dr$policy_preference (
  ppr_pol_id integer NOT NULL,
  ppr_cla_id integer NOT NULL CHECK (ppr_cla_id BETWEEN 1 AND 10),
  ppr_pre_id integer NOT NULL REFERENCES dr$preference,
  PRIMARY KEY (ppr_pol_id, ppr_cla_id)
);

-- The default preference of class k has the id k.
INSERT INTO dr$preference (pre_id, pre_name, pre_owner, pre_cla_id, pre_obj_id)
VALUES (1, 'DEFAULT_DATASTORE', 'SYS', 1, 1),
       (2, 'DEFAULT_COMPRESSOR', 'SYS', 2, 1),
       (3, 'DEFAULT_FILTER', 'SYS', 3, 1),
       (4, 'DEFAULT_LEXER', 'SYS', 4, 1),
       (5, 'DEFAULT_WORDLIST', 'SYS', 5, 1),
       (6, 'DEFAULT_STOPLIST', 'SYS', 6, 1),
       (7, 'DEFAULT_ENGINE', 'SYS', 7, 1),
       (8, 'DEFAULT_LOADER', 'SYS', 8, 1),
       (9, 'DEFAULT_TRANSLATOR', 'SYS', 9, 1),
       (10, 'DEFAULT_READER', 'SYS', 10, 1)
ON CONFLICT (pre_id) DO NOTHING;

CREATE TABLE IF NOT EXISTS dr$text_index_log (
  txil_pol_id            integer NOT NULL,
  txil_operation         char(1) NOT NULL,
  txil_oper_stage        char(1) NOT NULL,
  txil_run_seq           integer NOT NULL,
  txil_server_id         integer NOT NULL,
  txil_start_time        timestamp(0) NOT NULL DEFAULT localtimestamp(0),
  txil_end_time          timestamp(0),
  txil_first_doc         varchar(64),
  txil_doc_selected_cnt  integer,
  txil_last_doc          varchar(256),
  txil_doc_processed_cnt integer NOT NULL DEFAULT 0,
  txil_mid_flush_flag    char(1),
  txil_curr_run          char(1),
  PRIMARY KEY (txil_pol_id, txil_operation, txil_oper_stage, txil_run_seq, txil_server_id)
);
