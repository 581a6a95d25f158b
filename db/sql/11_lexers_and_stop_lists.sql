-- The attributes of the default lexer (class 4, object ids 0 and 1) and of
-- the stop lists (class 6, object ids 0 to 2). A preference sets them by
-- name in dr$preference_attribute; the server reads them by their ordinal.
-- A stop list takes one STOP_WORD row per word (pat_seq 1, 2, ...): the
-- words are numbered in that order.
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
SELECT 4, o, a.name, a.ord, a.type
  FROM (VALUES (0), (1)) AS obj (o),
       (VALUES ('SENTENCE_MARKS', 1, 'STRING'),
               ('KEPT_JOINERS', 2, 'STRING'),
               ('DROPPED_JOINERS', 3, 'STRING'),
               ('DECIMAL_MARK', 4, 'STRING'),
               ('GROUP_MARK', 5, 'STRING'),
               ('LINE_JOINERS', 6, 'STRING'),
               ('BASE_LETTERS', 7, 'NUMBER')) AS a (name, ord, type)
UNION ALL
SELECT 6, o, 'STOP_WORD', 2, 'STRING' FROM (VALUES (0), (1), (2)) AS obj (o)
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
