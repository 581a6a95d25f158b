// Statement texts of the dictionary cache: the policy (or text-loading
// source) of an id, the preferences of a policy with their details and
// attributes, and the policy of a column specification.
#ifndef KES_DR_DRD_DRDSQL_H
#define KES_DR_DRD_DRDSQL_H

// The policy (or text-loading source) of an id.
inline constexpr const char DRD_POL_SQL[] =
    "SELECT pol_id, pol_name, pol_owner, COALESCE(pol_tablename, 'UNDEFINED'),"
    " COALESCE(pol_text_expr, 'UNDEFINED'), COALESCE(pol_text_type, 0),"
    " COALESCE(pol_key_name, 'UNDEFINED'), COALESCE(pol_key_type, 0),"
    " COALESCE(pol_ln_name, 'UNDEFINED'), COALESCE(pol_ln_type, 0), COALESCE(txi_suffix, '1')"
    " FROM dr$policy LEFT JOIN dr$text_index ON txi_pol_id = pol_id WHERE pol_id = :cid"
    " UNION SELECT src_id, src_name, src_owner, COALESCE(src_table_name, 'UNDEFINED'),"
    " COALESCE(src_column_name, 'UNDEFINED'), src_refresh, CAST(src_next AS text),"
    " COALESCE(src_sid, 0), src_owner, COALESCE(src_sid, 0), src_name"
    " FROM dr$source WHERE src_id = :cid";

// The preference ids of a policy, one per class.
inline constexpr const char DRD_PRFS_SQL[] = "CALL drdinte.get_preferences(:cid, :prids)";

// Name, class and object id of a preference.
inline constexpr const char DRD_PRFD_SQL[] =
    "CALL drdinte.get_pref_details(:prid, :prname, :clid, :obid)";

// The attributes of a preference, by name and sequence.
inline constexpr const char DRD_ATTR_SQL[] =
    "SELECT at.pat_name, COALESCE(at.pat_value, 'UNDEFINED'), oa.oat_ordinal,"
    " CASE oa.oat_datatype WHEN 'STRING' THEN 1 ELSE 0 END,"
    " CASE oa.oat_optional WHEN 'Y' THEN 1 ELSE 0 END"
    " FROM dr$preference pr, dr$preference_attribute at, dr$object_attribute oa"
    " WHERE pr.pre_id = :preference AND pr.pre_id = at.pat_pre_id"
    " AND pr.pre_obj_id = oa.oat_obj_id AND pr.pre_cla_id = oa.oat_cla_id"
    " AND oa.oat_name = at.pat_name ORDER BY at.pat_name COLLATE \"C\", at.pat_seq";

// The policy of a column specification.
inline constexpr const char DRD_COL_SQL[] = "CALL dr_utl.get_policy_id(:colspec, :cid)";

#endif
