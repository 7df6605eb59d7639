// LOB locators: a fetched CLOB or BLOB is read through its locator, a
// temporary one is written and then bound. A CLOB's amounts and offsets
// count characters as Oracle does (UTF-16 units), its text is UTF-8 here.
#include <algorithm>
#include <cstring>

#include "api.h"
#include "charset.h"

using namespace kavo::ocisqlite;

typedef int boolean;
typedef sb4 (*OCICallbackLobRead)(void*, const void*, ub4, ub1);
typedef sb4 (*OCICallbackLobWrite)(void*, void*, ub4*, ub1*);

namespace {

LobDesc* Lob(const void* p) { return As<LobDesc>(p, OCI_DTYPE_LOB); }

// Byte offset in UTF-8 text of the character (UTF-16 unit) at index chars.
size_t ByteAt(const std::string& s, oraub8 chars) {
  size_t i = 0;
  while (i < s.size() && chars > 0) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
    const oraub8 units = n == 4 ? 2 : 1;
    if (units > chars) break;  // never half a surrogate pair
    chars -= units;
    i = std::min(s.size(), i + n);
  }
  return i;
}

oraub8 CharCount(const std::string& s, size_t from, size_t to) {
  oraub8 n = 0;
  for (size_t i = from; i < to; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) n += (c & 0xF8) == 0xF0 ? 2 : 1;
  }
  return n;
}

sword Check(OCIError* errhp, LobDesc* lob) {
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!lob->init) return FailCode(errhp, 22275);
  return OCI_SUCCESS;
}

}  // namespace

OCI_API sword OCILobGetLength2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* lenp) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (!lenp) return FailCode(errhp, 3001);
  *lenp = lob->lob_type == SQLT_BLOB ? lob->data.size() : CharCount(lob->data, 0, lob->data.size());
  return OCI_SUCCESS;
}

OCI_API sword OCILobGetLength(OCISvcCtx* svc, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
  oraub8 n = 0;
  sword rc = OCILobGetLength2(svc, errhp, locp, &n);
  if (rc == OCI_SUCCESS && lenp) *lenp = static_cast<ub4>(n);
  return rc;
}

OCI_API sword OCILobGetChunkSize(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub4* chunk) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (chunk) *chunk = 8132;  // what Oracle gives for an 8 KB block
  return OCI_SUCCESS;
}

// One piece only: the whole amount asked for, as far as the buffer holds it.
OCI_API sword OCILobRead2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* byte_amtp, oraub8* char_amtp,
                          oraub8 offset, void* bufp, oraub8 bufl, ub1 piece, void*, OCICallbackLobRead2 cbfp,
                          ub2 csid, ub1) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (cbfp || piece != OCI_ONE_PIECE) return FailCode(errhp, 3001);  // no streaming in pieces
  if (offset == 0) return FailCode(errhp, 24801);
  if (csid == 0) csid = lob->env->charset;  // the client's set
  std::string out;
  if (lob->lob_type == SQLT_BLOB) {
    const oraub8 want = byte_amtp && *byte_amtp ? *byte_amtp : lob->data.size();
    if (offset - 1 < lob->data.size()) out = lob->data.substr(offset - 1, std::min<oraub8>(want, bufl));
  } else {
    const size_t from = ByteAt(lob->data, offset - 1);
    size_t to = lob->data.size();
    if (char_amtp && *char_amtp) to = from + ByteAt(lob->data.substr(from), *char_amtp);
    else if (byte_amtp && *byte_amtp) to = std::min(to, from + ByteAt(lob->data.substr(from), *byte_amtp));
    out = lob->data.substr(from, to - from);
    if (!IsUtf8Set(csid)) out = FromStore(out, csid);
    if (out.size() > bufl) out.resize(WholePrefix(out, bufl, csid));
    if (char_amtp) *char_amtp = IsUtf8Set(csid) ? CharCount(out, 0, out.size()) : out.size() / UnitBytes(csid);
  }
  if (out.size() > bufl) out.resize(bufl);
  if (!out.empty()) {
    if (!bufp) return FailCode(errhp, 3001);
    std::memcpy(bufp, out.data(), out.size());
  }
  if (byte_amtp) *byte_amtp = out.size();
  if (out.empty()) return OCI_NO_DATA;
  return OCI_SUCCESS;
}

OCI_API sword OCILobRead(OCISvcCtx* svc, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, void* bufp,
                         ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm) {
  if (cbfp) return Unimplemented(errhp);
  LobDesc* lob = Lob(locp);
  oraub8 bytes = amtp ? *amtp : 0, chars = 0;
  if (lob && lob->lob_type == SQLT_CLOB) chars = bytes, bytes = 0;
  sword rc = OCILobRead2(svc, errhp, locp, &bytes, &chars, offset, bufp, bufl, OCI_ONE_PIECE, ctxp, nullptr, csid, csfrm);
  if (amtp) *amtp = static_cast<ub4>(bytes);
  return rc;
}

// Writes into a temporary LOB (a fetched one is a copy: writing it would change
// nothing in the table, so it is refused).
OCI_API sword OCILobWrite2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* byte_amtp, oraub8* char_amtp,
                           oraub8 offset, void* bufp, oraub8 buflen, ub1 piece, void*, OCICallbackLobWrite2 cbfp,
                           ub2 csid, ub1) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (!lob->temporary) return FailCode(errhp, 3001);
  if (cbfp || piece != OCI_ONE_PIECE) return FailCode(errhp, 3001);
  if (offset == 0) return FailCode(errhp, 24801);
  if (csid == 0) csid = lob->env->charset;
  std::string in(static_cast<const char*>(bufp ? bufp : ""), bufp ? buflen : 0);
  if (lob->lob_type == SQLT_BLOB) {
    if (byte_amtp && *byte_amtp && *byte_amtp < in.size()) in.resize(*byte_amtp);
    if (lob->data.size() < offset - 1) lob->data.resize(offset - 1, '\0');
    lob->data.replace(offset - 1, std::min<size_t>(in.size(), lob->data.size() - (offset - 1)), in);
    if (byte_amtp) *byte_amtp = in.size();
  } else {
    std::string text = IsUtf8Set(csid) ? in : ToStore(in.data(), in.size(), csid);
    const oraub8 have = CharCount(lob->data, 0, lob->data.size());
    if (have < offset - 1) lob->data.append(offset - 1 - have, ' ');
    const size_t at = ByteAt(lob->data, offset - 1);
    const size_t replaced = ByteAt(lob->data.substr(at), CharCount(text, 0, text.size()));
    lob->data.replace(at, replaced, text);
    if (byte_amtp) *byte_amtp = in.size();
    if (char_amtp) *char_amtp = CharCount(text, 0, text.size());
  }
  return OCI_SUCCESS;
}

OCI_API sword OCILobWrite(OCISvcCtx* svc, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, void* bufp,
                          ub4 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite cbfp, ub2 csid, ub1 csfrm) {
  if (cbfp) return Unimplemented(errhp);
  oraub8 bytes = buflen, chars = 0;
  sword rc = OCILobWrite2(svc, errhp, locp, &bytes, &chars, offset, bufp, buflen, piece, ctxp, nullptr, csid, csfrm);
  if (amtp) *amtp = static_cast<ub4>(bytes);
  return rc;
}

OCI_API sword OCILobTrim2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8 newlen) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (!lob->temporary) return FailCode(errhp, 3001);
  const size_t end = lob->lob_type == SQLT_BLOB ? newlen : ByteAt(lob->data, newlen);
  if (end > lob->data.size()) return FailCode(errhp, 22926);
  lob->data.resize(end);
  return OCI_SUCCESS;
}

OCI_API sword OCILobTrim(OCISvcCtx* svc, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
  return OCILobTrim2(svc, errhp, locp, newlen);
}

OCI_API sword OCILobCreateTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub2, ub1 csfrm, ub1 lobtype,
                                    boolean, OCIDuration) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  // OCI_TEMP_BLOB is 1, OCI_TEMP_CLOB 2.
  if (lobtype != 1 && lobtype != 2) return FailCode(errhp, 3001);
  lob->lob_type = lobtype == 1 ? SQLT_BLOB : SQLT_CLOB;
  lob->csform = csfrm ? csfrm : 1;
  lob->data.clear();
  lob->init = lob->temporary = true;
  return OCI_SUCCESS;
}

OCI_API sword OCILobFreeTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!lob->temporary) return FailCode(errhp, 3001);
  lob->data.clear();
  lob->init = lob->temporary = false;
  return OCI_SUCCESS;
}

OCI_API sword OCILobIsTemporary(OCIEnv*, OCIError* errhp, OCILobLocator* locp, boolean* is_temporary) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (is_temporary) *is_temporary = lob->temporary ? 1 : 0;
  return OCI_SUCCESS;
}

OCI_API sword OCILobLocatorIsInit(OCIEnv*, OCIError* errhp, const OCILobLocator* locp, boolean* is_initialized) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (is_initialized) *is_initialized = lob->init ? 1 : 0;
  return OCI_SUCCESS;
}

OCI_API sword OCILobLocatorAssign(OCISvcCtx*, OCIError* errhp, const OCILobLocator* src, OCILobLocator** dst) {
  LobDesc* from = Lob(src);
  LobDesc* to = dst ? Lob(*dst) : nullptr;
  if (!from || !to || !Err(errhp)) return OCI_INVALID_HANDLE;
  to->data = from->data, to->lob_type = from->lob_type, to->csform = from->csform;
  to->init = from->init, to->temporary = from->temporary;
  return OCI_SUCCESS;
}

OCI_API sword OCILobAssign(OCIEnv*, OCIError* errhp, const OCILobLocator* src, OCILobLocator** dst) {
  return OCILobLocatorAssign(nullptr, errhp, src, dst);
}

OCI_API sword OCILobCharSetForm(OCIEnv*, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (csfrm) *csfrm = lob->lob_type == SQLT_BLOB ? 0 : lob->csform;
  return OCI_SUCCESS;
}

OCI_API sword OCILobCharSetId(OCIEnv*, OCIError* errhp, const OCILobLocator* locp, ub2* csid) {
  LobDesc* lob = Lob(locp);
  if (!lob || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (csid) *csid = lob->lob_type == SQLT_BLOB ? 0 : kAL32UTF8;
  return OCI_SUCCESS;
}

OCI_API sword OCILobOpen(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub1) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (lob->open) return FailCode(errhp, 22293);
  lob->open = true;
  return OCI_SUCCESS;
}

OCI_API sword OCILobClose(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (!lob->open) return FailCode(errhp, 22289);
  lob->open = false;
  return OCI_SUCCESS;
}

OCI_API sword OCILobIsOpen(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, boolean* flag) {
  LobDesc* lob = Lob(locp);
  if (sword rc = Check(errhp, lob); rc != OCI_SUCCESS) return rc;
  if (flag) *flag = lob->open ? 1 : 0;
  return OCI_SUCCESS;
}
