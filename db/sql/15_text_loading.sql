-- The attributes of the text-loading kinds. A source's preferences set them
-- by name in dr$preference_attribute; the server reads them by ordinal.
-- Class 10, the directory reader (object ids 0 and 1): DIRECTORY, the folder
-- whose files are loaded (each file is deleted once loaded).
-- Class 9, the plain translator (object ids 0 and 1): FILE_NAMES, 1 when a
-- record's body is one line naming the file (inside the folder) that holds
-- its text. The user-program translator (object id 2): PROGRAM, a program
-- in $KESTRIN_HOME/bin run with an input file and the load file to write.
-- Class 8, the loader engine (object ids 0 and 1), takes no attributes.
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
VALUES (10, 0, 'DIRECTORY', 1, 'STRING'),
       (10, 1, 'DIRECTORY', 1, 'STRING'),
       (9, 0, 'FILE_NAMES', 1, 'NUMBER'),
       (9, 1, 'FILE_NAMES', 1, 'NUMBER'),
       (9, 2, 'PROGRAM', 1, 'STRING')
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
