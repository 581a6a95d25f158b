-- The attributes of the filter kinds (class 3). A preference sets them by
-- name in dr$preference_attribute; the server reads them by their ordinal.
-- Object id 3, the HTML filter: DETECT_JAPANESE (a nonzero low byte turns
-- the detection of Japanese encodings on when the filter is a policy's own).
-- Object id 2, the chaining filter for documents of mixed formats:
-- DOCUMENT_FORMAT (a converter id, 997 to recognise each document's format,
-- 999 plain text), FORMAT_PROGRAM (one row per entry, "catalogue row,program"),
-- PROGRAM (a program tried first on every document with format 997) and
-- PROGRAM_TIMEOUT (seconds a program may run, 0 none; 60 by default).
-- Object id 4, the user-program filter: PROGRAM and PROGRAM_TIMEOUT.
-- Programs lie in the bin folder of KESTRIN_HOME.
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
VALUES (3, 3, 'DETECT_JAPANESE', 1, 'NUMBER'),
       (3, 2, 'DOCUMENT_FORMAT', 1, 'NUMBER'),
       (3, 2, 'FORMAT_PROGRAM', 2, 'STRING'),
       (3, 2, 'PROGRAM', 3, 'STRING'),
       (3, 2, 'PROGRAM_TIMEOUT', 4, 'NUMBER'),
       (3, 4, 'PROGRAM', 1, 'STRING'),
       (3, 4, 'PROGRAM_TIMEOUT', 2, 'NUMBER')
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
