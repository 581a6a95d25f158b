// The dispatcher: its state, the replies sent through dispatcher.reply and
// the out-of-band read through dispatcher.get_oob. Both statements run on
// the login's transport connection, which commits each call at once: a
// reply or an interrupt must be seen by others while the command's own work
// is still uncommitted.
#include "dr/drm/drm.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kReply[] =
    "CALL dispatcher.reply(:address, :id, :command, :arg1, :arg2, :arg3, :arg4, :arg5, :arg6, "
    ":arg7, :arg8, :arg9, :arg10)";
constexpr char kOob[] =
    "CALL dispatcher.get_oob(:ret, :id, :return_address, :user, :command, :arg1)";

constexpr const char *kArgNames[DRM_NARGS] = {":arg1", ":arg2", ":arg3", ":arg4", ":arg5",
                                              ":arg6", ":arg7", ":arg8", ":arg9", ":arg10"};

// A slot sent with its explicit length; zero length goes as null.
int bindin(drsrvstate *s, druocur *c, const char *name, drmslot *slot) {
  return druobnd(s, c, name, slot->text, DRM_SLOTMAX, DRUO_VARCHAR2, &slot->ind, &slot->len,
                 &druorepf);
}

// A slot filled by the call: null until the call says otherwise.
int bindout(drsrvstate *s, druocur *c, const char *name, drmslot *slot) {
  slot->ind = -1;
  slot->len = 0;
  slot->text[0] = '\0';
  return druobnd(s, c, name, slot->text, DRM_SLOTMAX + 1, DRUO_STRING, &slot->ind, &slot->len,
                 &druorepf);
}

// An integer filled by the call; it keeps its value when the call leaves it
// null.
int bindnum(drsrvstate *s, druocur *c, const char *name, int32_t *v, int16_t *ind) {
  return druobnd(s, c, name, v, sizeof *v, DRUO_INTEGER, ind, nullptr, &druorepf);
}

void setnull(drmslot *slot) {
  slot->len = 0;
  slot->ind = -1;
  slot->text[0] = '\0';
}

int sendfail(drsrvstate *s) {
  dracnerr(s, DRFAC_DRG, 50300, 3, 0);
  druetrc();
  return 1;
}

}  // namespace

const nlscs *drmcs(drsrvstate *s) {
  const nlscs *cs = dracncs(s);
  return cs ? cs : nlscsbyid(NLS_WE8ISO8859P1);
}

int drmini(drsrvstate *s) {
  dracnprt(s, s->log, "=== Initializing dispatcher ===\n", 0);
  auto *m = static_cast<drmstate *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drmstate), __FILE__, __LINE__));
  if (!m) {
    druetrc();
    return 1;
  }
  s->mstate = m;
  return 0;
}

int drmfre(drsrvstate *s) {
  drmstate *m = s->mstate;
  if (!m) return 0;
  if (m->rplprs) druocls(&m->rplcur);
  if (m->oobprs) druocls(&m->oobcur);
  if (m->lsnprs) druocls(&m->lsncur);
  void *p = m;
  drumfre(s, s->hpmgr, s->seshp, &p);
  s->mstate = nullptr;
  return 0;
}

void drmrpini(drsrvstate *, const drmcmd *cmd, drmcmd *reply) {
  reply->id = cmd->id;
  reply->addr.len = cmd->addr.len;
  reply->addr.ind = cmd->addr.ind;
  memcpy(reply->addr.text, cmd->addr.text, sizeof reply->addr.text);
  setnull(&reply->user);
  for (drmslot &a : reply->args) setnull(&a);
}

int drmrply(drsrvstate *s, drmcmd *reply) {
  drmstate *m = s->mstate;
  if (!m) return sendfail(s);
  druocur *c = &m->rplcur;
  if (!m->rplprs) {
    if (druoprp(s, c, DRUO_TRANSPORT, kReply, &druorepf) != 0) return sendfail(s);
    m->rplprs = 1;
  }
  int rc = bindin(s, c, ":address", &reply->addr);
  if (rc == 0) rc = bindnum(s, c, ":id", &reply->id, nullptr);
  if (rc == 0) rc = bindnum(s, c, ":command", &reply->cmd, nullptr);
  for (unsigned i = 0; rc == 0 && i < DRM_NARGS; ++i)
    rc = bindin(s, c, kArgNames[i], &reply->args[i]);
  if (rc == 0) rc = druoexe(s, c, &druorepf);
  if (rc == DRUO_BADTEXT) {
    // What the reply carries is no text of the session's character set: the
    // database refused the reply, not the connection. The caller can still
    // be told, with an error reply.
    druetrc();
    return 2;
  }
  return rc == 0 ? 0 : sendfail(s);
}

int drmrpok(drsrvstate *s, drmcmd *reply) {
  reply->cmd = DRM_RPOK;
  return drmrply(s, reply);
}

int drmrperr(drsrvstate *s, drmcmd *reply) {
  reply->cmd = DRM_RPERR;
  drmslot *a = &reply->args[0];
  // The texts are joined at whole characters within the slot.
  size_t n = druestk(s, a->text, sizeof a->text);
  a->len = static_cast<uint16_t>(n);
  a->ind = 0;
  int rc = drmrply(s, reply);
  if (rc != 2) return rc;
  // The database refused the texts: send them with every byte outside
  // ASCII written as \xNN, which any character set carries, and nothing
  // else.
  for (unsigned i = 1; i < DRM_NARGS; ++i) setnull(&reply->args[i]);
  static char text[DRM_SLOTMAX + 1];
  druestk(s, text, sizeof text);
  size_t k = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
    if (*p < 0x80) {
      if (k + 1 > DRM_SLOTMAX) break;
      a->text[k++] = static_cast<char>(*p);
    } else {
      if (k + 4 > DRM_SLOTMAX) break;
      snprintf(a->text + k, 5, "\\x%02x", *p);
      k += 4;
    }
  }
  a->text[k] = '\0';
  a->len = static_cast<uint16_t>(k);
  rc = drmrply(s, reply);
  return rc == 0 ? 0 : 1;
}

int drmrpdat(drsrvstate *s, const drmcmd *cmd, const void *data, uint32_t len) {
  static drmcmd reply;  // one reusable record; the main thread only
  drmrpini(s, cmd, &reply);
  reply.cmd = DRM_RPDAT;
  const auto *p = static_cast<const unsigned char *>(data);
  // The offset is 32 bits wide, so data of any length goes out once.
  for (uint32_t off = 0; off < len; off += DRM_CHUNK) {
    uint32_t n = len - off < uint32_t{DRM_CHUNK} ? len - off : uint32_t{DRM_CHUNK};
    drmsetraw(s, &reply, 0, n, p + off);
    int rc = drmrply(s, &reply);
    if (rc != 0) return rc;
  }
  return 0;
}

int drmoob(drsrvstate *s, drmcmd *msg) {
  drmstate *m = s->mstate;
  if (!m) {
    dracnerr(s, DRFAC_DRG, 50302, 3, 0);
    return 100;
  }
  druocur *c = &m->oobcur;
  int rc = 0;
  if (!m->oobprs) {
    rc = druoprp(s, c, DRUO_TRANSPORT, kOob, &druorepf);
    if (rc == 0) m->oobprs = 1;
  }
  int32_t ret = 0;
  // An idle check leaves the integers null: they keep these values.
  int16_t ind[3];
  msg->id = 0;
  msg->cmd = 0;
  if (rc == 0) rc = bindout(s, c, ":return_address", &msg->addr);
  if (rc == 0) rc = bindout(s, c, ":user", &msg->user);
  if (rc == 0) rc = bindnum(s, c, ":command", &msg->cmd, &ind[0]);
  if (rc == 0) rc = bindout(s, c, ":arg1", &msg->args[0]);
  if (rc == 0) rc = bindnum(s, c, ":id", &msg->id, &ind[1]);
  if (rc == 0) rc = bindnum(s, c, ":ret", &ret, &ind[2]);
  if (rc == 0) rc = druoexe(s, c, &druorepf);
  if (rc != 0) {
    dracnerr(s, DRFAC_DRG, 50302, 3, 0);
    druetrc();
    return 100;
  }
  return ret;
}

uint16_t drmsettxt(drsrvstate *s, drmcmd *reply, unsigned idx, const char *text) {
  drmslot *a = &reply->args[idx];
  size_t n = nlscpy(drmcs(s), a->text, DRM_SLOTMAX, text ? text : "");
  a->len = static_cast<uint16_t>(n);
  a->ind = n == 0 ? -1 : 0;
  return a->len;
}

void drmsetint(drsrvstate *s, drmcmd *reply, unsigned idx, int32_t value) {
  drmslot *a = &reply->args[idx];
  int n = lsffmt(s->fmt, a->text, sizeof a->text, "%d", DRA_SB4, &value, 0);
  a->len = static_cast<uint16_t>(n > 0 ? n : 0);
  a->ind = 0;
}

void drmsetuint(drsrvstate *s, drmcmd *reply, unsigned idx, uint32_t value) {
  drmslot *a = &reply->args[idx];
  int n = lsffmt(s->fmt, a->text, sizeof a->text, "%d", DRA_UB4, &value, 0);
  a->len = static_cast<uint16_t>(n > 0 ? n : 0);
  a->ind = 0;
}

uint16_t drmsetraw(drsrvstate *, drmcmd *reply, unsigned idx, size_t len, const void *bytes) {
  drmslot *a = &reply->args[idx];
  // Never more than the slot holds, whatever the caller asked for.
  if (len > DRM_SLOTMAX) len = DRM_SLOTMAX;
  if (len > 0) memmove(a->text, bytes, len);
  a->text[len] = '\0';
  a->len = static_cast<uint16_t>(len);
  a->ind = len == 0 ? -1 : 0;
  return a->len;
}

int drmlstwalk(drsrvstate *s, const char *list, drmlstcb cb, void *data, uint32_t *count) {
  *count = 0;
  if (!list || list[0] == '\0') return 0;
  const nlscs *cs = drmcs(s);
  unsigned char delim = static_cast<unsigned char>(list[0]);
  const char *p = list + 1;
  char item[DRM_SLOTMAX + 1];
  for (;;) {
    const char *end = nlschr(cs, p, delim);
    size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
    // The set's known character sets have no shift states, so a copy never
    // ends shifted and needs no shift-in byte.
    nlsncpy(cs, item, sizeof item, p, n);
    int rc = cb(s, data, *count, item);
    ++*count;
    if (rc != 0) return rc;
    if (!end) break;
    p = end + 1;
  }
  return 0;
}

int drmlstjoin(drsrvstate *s, char *buf, size_t size, drmlstcb cb, void *data, uint32_t count,
               const char *delim) {
  if (size == 0) return 1;
  const nlscs *cs = drmcs(s);
  buf[0] = '\0';
  size_t len = 0;
  char item[DRM_SLOTMAX];
  for (uint32_t i = 0; i < count; ++i) {
    item[0] = '\0';
    int rc = cb(s, data, i, item);
    if (rc != 0) return rc;
    item[sizeof item - 1] = '\0';
    size_t need = 1 + strlen(item);
    if (len + need > size - 1) {
      dracnierr(s, DRFAC_DRG, 51922, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      druetrc();
      return 1;
    }
    buf[len++] = delim && delim[0] ? delim[0] : ',';
    buf[len] = '\0';
    len = nlscat(cs, buf, size, item);
  }
  return 0;
}

int drmnop(void) { return 1; }
