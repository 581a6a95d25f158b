-- The attributes of the filter kinds (class 3). A preference sets them by
-- name in dr$preference_attribute; the server reads them by their ordinal.
-- Object id 3, the HTML filter: DETECT_JAPANESE (a nonzero low byte turns
-- the detection of Japanese encodings on when the filter is a policy's own).
INSERT INTO dr$object_attribute AS oa (oat_cla_id, oat_obj_id, oat_name, oat_ordinal, oat_datatype)
VALUES (3, 3, 'DETECT_JAPANESE', 1, 'NUMBER')
ON CONFLICT (oat_cla_id, oat_obj_id, oat_name) DO UPDATE
   SET oat_ordinal = excluded.oat_ordinal, oat_datatype = excluded.oat_datatype;
