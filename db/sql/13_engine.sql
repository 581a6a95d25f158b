-- The attributes of the base engine (class 7, object id 1). A preference
-- sets them by name in dr$preference_attribute; the engine and its parts
-- read them by their ordinal. Clauses of tables and indexes take a
-- tablespace (the storage clauses have no form in this database and are
-- passed over).
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
VALUES (7, 1, 'INDEX_MODE', 1, 'NUMBER'),
       (7, 1, 'MEMORY', 2, 'NUMBER'),
       (7, 1, 'INSERT_BUFFER', -2, 'NUMBER'),
       (7, 1, 'LIST_CAPACITY', -3, 'NUMBER'),
       (7, 1, 'SQL_TEXT_SIZE', -4, 'NUMBER'),
       (7, 1, 'OPT_BUFFER', -5, 'NUMBER'),
       (7, 1, 'ROW_LIST_WIDTH', -6, 'NUMBER'),
       (7, 1, 'SCAN_LIST_WIDTH', -7, 'NUMBER'),
       (7, 1, 'LIKE_FETCH', -9, 'NUMBER'),
       (7, 1, 'I1I_TABLESPACE', 3, 'STRING'),
       (7, 1, 'I1I_STORAGE', 4, 'STRING'),
       (7, 1, 'I1I_CLAUSE', 5, 'STRING'),
       (7, 1, 'I1T_TABLESPACE', 6, 'STRING'),
       (7, 1, 'I1T_STORAGE', 7, 'STRING'),
       (7, 1, 'I1T_CLAUSE', 8, 'STRING'),
       (7, 1, 'KID_TABLESPACE', 9, 'STRING'),
       (7, 1, 'KID_STORAGE', 10, 'STRING'),
       (7, 1, 'KID_CLAUSE', 11, 'STRING'),
       (7, 1, 'KIK_TABLESPACE', 12, 'STRING'),
       (7, 1, 'KIK_STORAGE', 13, 'STRING'),
       (7, 1, 'KIK_CLAUSE', 14, 'STRING'),
       (7, 1, 'KTB_TABLESPACE', 15, 'STRING'),
       (7, 1, 'KTB_STORAGE', 16, 'STRING'),
       (7, 1, 'KTB_CLAUSE', 17, 'STRING'),
       (7, 1, 'LIX_TABLESPACE', 18, 'STRING'),
       (7, 1, 'LIX_STORAGE', 19, 'STRING'),
       (7, 1, 'LIX_CLAUSE', 20, 'STRING'),
       (7, 1, 'LST_TABLESPACE', 21, 'STRING'),
       (7, 1, 'LST_STORAGE', 22, 'STRING'),
       (7, 1, 'LST_CLAUSE', 23, 'STRING'),
       (7, 1, 'SQR_TABLESPACE', 27, 'STRING'),
       (7, 1, 'SQR_STORAGE', 28, 'STRING'),
       (7, 1, 'SQR_CLAUSE', 29, 'STRING'),
       (7, 1, 'SRI_TABLESPACE', 30, 'STRING'),
       (7, 1, 'SRI_STORAGE', 31, 'STRING'),
       (7, 1, 'SRI_CLAUSE', 32, 'STRING')
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
