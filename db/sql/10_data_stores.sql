-- The attributes of the data-store kinds (class 1): object ids 0 and 1 plain
-- rows, 2 detail rows, 3 files, 4 URLs. A preference sets them by name in
-- dr$preference_attribute; the server reads them by their ordinal.
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
VALUES (1, 0, 'BUFSIZE', 2, 'NUMBER'),
       (1, 1, 'BUFSIZE', 2, 'NUMBER'),
       (1, 2, 'NO_LINE_BREAK', 1, 'NUMBER'),
       (1, 2, 'BUFSIZE', 2, 'NUMBER'),
       (1, 3, 'BUFSIZE', 2, 'NUMBER'),
       (1, 3, 'PATH', 3, 'STRING'),
       (1, 4, 'BUFSIZE', 2, 'NUMBER'),
       (1, 4, 'PATH', 3, 'STRING'),
       (1, 4, 'TIMEOUT', 4, 'NUMBER'),
       (1, 4, 'MAXTHREADS', 5, 'NUMBER'),
       (1, 4, 'URLSIZE', 6, 'NUMBER'),
       (1, 4, 'MAXURLS', 7, 'NUMBER'),
       (1, 4, 'MAXDOCSIZE', 8, 'NUMBER'),
       (1, 4, 'HTTP_PROXY', 9, 'STRING'),
       (1, 4, 'NO_PROXY', 10, 'STRING')
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
