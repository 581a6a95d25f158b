-- The word list (class 5, object ids 0 and 1). Its word table keeps the
-- sound code of each word, which the fuzzystrmatch extension's soundex
-- gives. A preference sets the attributes by name in
-- dr$preference_attribute; the word list reads them by their ordinal.
CREATE EXTENSION IF NOT EXISTS fuzzystrmatch SCHEMA public;

INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
SELECT 5, o.id, a.name, a.ordinal, a.datatype
  FROM (VALUES (0), (1)) o(id),
       (VALUES ('TABLE_NAME', 1, 'STRING'),
               ('TABLE_CLAUSE', 2, 'STRING'),
               ('INDEX_CLAUSE', 3, 'STRING'),
               ('MAX_WORD_LENGTH', 4, 'NUMBER'),
               ('GROUPS', 5, 'NUMBER'),
               ('STEMMER', 6, 'NUMBER'),
               ('SPARE_NUMBER', 7, 'NUMBER'),
               ('SPARE_FLAG', 8, 'NUMBER'),
               ('WORD_TABLE', 9, 'NUMBER'),
               ('FUZZY_MODE', 10, 'NUMBER')) a(name, ordinal, datatype)
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
