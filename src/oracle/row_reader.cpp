#include "oracle/row_reader.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "oracle/dataset_messages.h"
#include "oracle/field_data.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_date.h"
#include "oracle/oracle_text.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"

namespace kavo {

using oracle_engine::RowReader;
using oracle_engine::RowStore;

namespace {

constexpr const Char* SMalformedUtf8 = u": the server sent text that is not valid UTF-8";

size_t FieldSize(const RecordSlot& s) { return s.size; }

// A fetched text in one pass, up to its NUL and at most `limit` bytes: its
// length, whether it is plain ASCII without line ends, and (for such a text)
// its length without the blanks and control characters at its end. The
// `readable` bytes from `p` may be loaded even past `limit` (the batch's next
// elements), so that short columns are read 16 bytes at a time too.
struct TextScan {
  size_t length = 0;
  size_t trimmed = 0;
  bool plain = true;
};

[[gnu::always_inline]] inline TextScan ScanText(const char* p, size_t limit, size_t readable) {
  TextScan r;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'),
                blank = _mm_set1_epi8(' ');
  for (; i < limit && i + 16 <= readable; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    auto mask = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    unsigned end = mask(_mm_cmpeq_epi8(v, zero));
    // A high bit, CR or LF: not plain.
    unsigned odd = mask(_mm_or_si128(v, _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    // Signed: a byte with the high bit is never plain anyway.
    unsigned kept = mask(_mm_cmpgt_epi8(v, blank));
    // The limit ends the text as a NUL does.
    if (limit - i < 16) end |= 1u << (limit - i);
    if (end != 0) {
      const unsigned n = static_cast<unsigned>(__builtin_ctz(end)), before = (1u << n) - 1;
      odd &= before;
      kept &= before;
      if (odd != 0) r.plain = false;
      if (kept != 0) r.trimmed = i + 32 - static_cast<size_t>(__builtin_clz(kept));
      r.length = i + n;
      return r;
    }
    if (odd != 0) r.plain = false;
    if (kept != 0) r.trimmed = i + 32 - static_cast<size_t>(__builtin_clz(kept));
  }
  if (i >= limit) {
    r.length = limit;
    return r;
  }
#else
  (void)readable;
#endif
  for (; i < limit && p[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c >= 0x80 || c == '\r' || c == '\n') r.plain = false;
    if (c > ' ') r.trimmed = i + 1;
  }
  r.length = i;
  return r;
}

// Most text read: plain ASCII that fits its slot, copied as it came. False
// leaves the value, unwritten, to ReadText (a NUL inside, another character,
// a value longer than the field).
bool CopyPlainText(uint8_t* value, const RecordSlot& s, const TFieldData& column, size_t element,
                   bool trim) {
  const auto size = static_cast<size_t>(column.bufsize);
  const char* p = reinterpret_cast<const char*>(column.buf.data()) + element * size;
  const TextScan scan = ScanText(p, size, column.buf.size() - element * size);
  if (!scan.plain || column.rlen[element] > scan.length + 1) return false;
  const size_t n = trim ? scan.trimmed : scan.length;
  if (n > s.size) return false;
  std::memcpy(value, p, n);
  value[n] = 0;
  return true;
}

}  // namespace

TRecordBuffer RowReader::Next() {
  for (;;) {
    // Logged inserts come back at their positions, the rest after the rows.
    if (log_hook_ != nullptr)
      if (TRecordBuffer logged = log_hook_->Interpose(false)) return logged;
    if (!rows_remain_) return log_hook_ != nullptr ? log_hook_->Interpose(true) : nullptr;
    if (TRecordBuffer record = NextRow()) return record;
  }
}

// Null when the statement ran out or the row is a logged delete.
TRecordBuffer RowReader::NextRow() {
  TOracleQuery& q = ds_.FetchQuery();
  if (first_fetch_)
    first_fetch_ = false;
  else
    q.Next();
  if (q.Eof()) {
    rows_remain_ = false;
    return nullptr;
  }
  const char* rowid = nullptr;
  size_t rowid_length = 0;
  if (ds_.rowid_index_ >= 0) {
    const TFieldData& column = q.FieldDataRecord(ds_.rowid_index_);
    const int element = q.CurrentElement();
    if (column.ind[static_cast<size_t>(element)] != -1) {
      rowid = reinterpret_cast<const char*>(column.Element(element));
      rowid_length = strnlen(rowid, static_cast<size_t>(column.TextSize()) + 1);
    }
  }
  TChangeLogItem* logged =
      log_hook_ != nullptr && rowid != nullptr ? log_hook_->Entry(rowid, rowid_length) : nullptr;
  if (logged != nullptr && logged->Action == u'D') return nullptr;  // deleted, not yet applied
  RowStore& store = *ds_.store_;
  // The slot is taken once a row is there, so that in unidirectional mode
  // the records held are let go only for a row that replaces them.
  // Kept packed unless something reads the record in place while it is
  // fetched: the filter, the after-fetch handler, a logged change.
  const bool pack = store.Packs() && logged == nullptr && filter_hook_ == nullptr &&
                    !ds_.AfterFetchRecord;
  Read(store.FirstFreeRecord(false, pack));
  TRecordBuffer record = store.AppendPrepared();
  if (logged != nullptr) {
    CopyIntoRecord(logged->AfterData.Data(), record, ds_.record_size_);
    if (const TBlobList* blobs = Header(logged->AfterData.Data()).BlobList)
      store.Blobs(record) = *blobs;
  }
  if (rowid != nullptr) store.SetRowIdAscii(record, rowid, rowid_length);
  TRecordHeader& h = Header(record);
  h.Bookmark = ++ds_.bookmark_counter_;
  h.BookmarkFlag = bfCurrent;
  if (logged != nullptr) logged->SetBookmark(h.Bookmark);
  return record;
}

// Writes every field of a record whose data area is not cleared: a column's
// null byte and value, and null for the fields without a column.
void RowReader::Read(TRecordBuffer record) {
  TOracleQuery& q = ds_.FetchQuery();
  // Straight at the fetched batch: the query's checked accessors cost a call
  // per column and value, and every row here is one the query stands on.
  const auto element = static_cast<size_t>(q.CurrentElement());
  trim_ = ds_.session_ == nullptr || ds_.session_->Preferences().TrimStringFields();
  uint8_t* data = DataArea(record);
  for (const RecordSlot& s : ds_.slots_) {
    uint8_t* area = data + s.offset;
    if (s.read == SlotRead::kNoColumn) {
      area[0] = 1;
      std::memset(area + 1, 0, s.width);
      continue;
    }
    const TFieldData& column = q.FieldDataRecord(s.column);
    if (column.ind[element] == -1) {
      area[0] = 1;
      continue;
    }
    area[0] = 0;
    uint8_t* value = area + 1;
    const uint8_t* src = column.buf.empty() ? nullptr : column.Element(static_cast<int>(element));
    switch (s.read) {
      case SlotRead::kInt16:
      case SlotRead::kInt32:
      case SlotRead::kInt64: {
        int32_t v;
        std::memcpy(&v, src, sizeof v);
        if (s.read == SlotRead::kInt16) {
          const auto w = static_cast<int16_t>(v);
          std::memcpy(value, &w, sizeof w);
        } else if (s.read == SlotRead::kInt32) {
          std::memcpy(value, &v, sizeof v);
        } else {
          const int64_t w = v;
          std::memcpy(value, &w, sizeof w);
        }
        break;
      }
      case SlotRead::kFloat:
        std::memcpy(value, src, 8);
        break;
      case SlotRead::kBytesText:
        if (column.buftype == otString && CopyPlainText(value, s, column, element, trim_)) break;
        ReadText(record, s, column, static_cast<int>(element));
        break;
      case SlotRead::kText:
        ReadText(record, s, column, static_cast<int>(element));
        break;
      case SlotRead::kDate:
        ReadDate(value, s, src);
        break;
      case SlotRead::kTimestamp: {
        TDateTime t = q.FieldAsDate(s.column);
        ds_.DataConvert(s.field, &t, value, true);
        break;
      }
      case SlotRead::kLong:
        ReadLong(record, s);
        break;
      default:
        DatabaseError(SUnexpectedDatatype + s.field->FieldName(), &ds_);
    }
  }
}

// A DATE in the field's native form: the time stamp's parts as they are,
// the bytes no calendar holds as the native date-time reads them.
void RowReader::ReadDate(uint8_t* value, const RecordSlot& s, const uint8_t* src) {
  TTimeStamp ts;
  if (!OracleDateToTimeStamp(src, ts)) {
    TDateTime t = OracleToNativeDate(src);
    ds_.DataConvert(s.field, &t, value, true);
    return;
  }
  switch (s.field->DataType()) {
    case ftDate:
      std::memcpy(value, &ts.Date, 4);
      break;
    case ftTime:
      std::memcpy(value, &ts.Time, 4);
      break;
    default: {
      const double ms = static_cast<double>(ts.Date) * kMSecsPerDay + ts.Time;
      std::memcpy(value, &ms, 8);
    }
  }
}

void RowReader::ReadLong(TRecordBuffer record, const RecordSlot& s) {
  TOracleQuery& q = ds_.FetchQuery();
  TField* f = s.field;
  const TOracleFieldInfo& info = ds_.infos_[s.info];
  std::string bytes;
  if (info.DataType == otLongRaw || info.DataType == otBLOB) {
    OraVariant v = q.Field(s.column);
    bytes.assign(v.ByteArray().begin(), v.ByteArray().end());
    static const unsigned char kHeader[] = {0x91, 0x00, 0xA6, 0x38, 0x88, 0xB7, 0xCC, 0x1B};
    if (bytes.size() > 7 && std::memcmp(bytes.data(), kHeader, 8) == 0)
      throw Exception(SCompressedNotBuilt + f->FieldName());
    if (ds_.compress_blobs_ && ds_.OnDecompressBLOB) ds_.OnDecompressBLOB(ds_, bytes);
  } else {
    // A memo keeps the text as UTF-16, a blob field as UTF-8. A CLOB is
    // taken as the server holds it; a LONG's line ends read as its writing
    // (and a string field's) leaves them, CR LF.
    String text = FetchedColumnText(q, s.column, info, ds_.session_);
    bytes = IsTextBlobType(f->DataType()) ? Utf16Bytes(text) : Utf8Encode(text);
  }
  uint8_t* area = DataArea(record) + s.offset;
  area[0] = 1;
  if (bytes.empty()) return;
  ds_.BlobsOf(record).BlobByField(f).Bytes = std::move(bytes);
  area[0] = 0;
}

// Plain ASCII without line ends reads the same in every code page, one byte
// a character: it goes straight into the value area of a slot that keeps
// bytes. `n` is the length to keep, trimmed when the session trims.
void RowReader::ReadPlainText(TRecordBuffer record, const RecordSlot& s, const char* p, size_t n) {
  uint8_t* value = DataArea(record) + s.offset + 1;
  const size_t size = FieldSize(s);
  if (n > size &&
      std::string_view(p + size, n - size).find_first_not_of(' ') != std::string_view::npos) {
    std::memcpy(value, p, size);
    value[size] = 0;
    ds_.MarkNotHeld(record, s, SNotHeldTooLong(s.field->FieldName(), n, u" bytes", size, false));
    return;
  }
  n = std::min(n, size);
  std::memcpy(value, p, n);
  value[n] = 0;
}

// A text column's value on its way into a slot: the bytes as fetched, and
// their decoded form once some slot needs it.
struct RowReader::FetchedText {
  FetchedText(const TOracleFieldInfo& column, const TOracleSession* owner)
      : info(column), session(owner) {}
  const TOracleFieldInfo& info;
  const TOracleSession* session;
  std::string bytes;  // the column's bytes (UTF-8 when the column is)
  String wide;        // or its text, when it had to be decoded
  bool have_wide = false, malformed = false, widened = false;

  const String& Text() {
    if (!have_wide) {
      String decoded = info.IsUTF8 ? Utf8Decode(bytes, &malformed) : AnsiToString(bytes);
      const size_t before = decoded.size();
      wide = AddCRW(std::move(decoded), session);
      widened = wide.size() != before;
      have_wide = true;
    }
    return wide;
  }
};

// What the slot holds is cut to its size as before, and kept for the row
// check; a value that lost anything on the way is marked, so that reading it
// raises instead of handing the loss on.
void RowReader::PlaceBytes(TRecordBuffer record, const RecordSlot& s, const FetchedText& in,
                           std::string out, const std::string& code_page, bool lossy, bool trim) {
  const size_t size = FieldSize(s);
  uint8_t* value = DataArea(record) + s.offset + 1;
  if (trim) out.resize(TrimRightBytes(out).size());
  const std::string kept = CutWholeCharacters(out, size, code_page);
  std::memcpy(value, kept.data(), kept.size());
  value[kept.size()] = 0;
  const String who = u"Field '" + s.field->FieldName() + u"'";
  if (in.malformed)
    ds_.MarkNotHeld(record, s, who + SMalformedUtf8);
  else if (lossy)
    ds_.MarkNotHeld(record, s, CannotStoreMessage(who, TrimRight(in.wide), AsciiToString(code_page)));
  else if (kept.size() < out.size() && out.find_first_not_of(' ', kept.size()) != std::string::npos)
    ds_.MarkNotHeld(record, s,
                    SNotHeldTooLong(s.field->FieldName(), out.size(), u" bytes", size, in.widened));
}

void RowReader::ReadUtf16(TRecordBuffer record, const RecordSlot& s, FetchedText& in, bool trim) {
  const size_t size = FieldSize(s);
  uint8_t* value = DataArea(record) + s.offset + 1;
  String t = in.Text();
  if (trim) t = TrimRight(t);
  if (in.malformed) ds_.MarkNotHeld(record, s, u"Field '" + s.field->FieldName() + u"'" + SMalformedUtf8);
  if (t.size() > size) {
    size_t n = size;
    // Never half of a surrogate pair.
    if (n > 0 && t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF) --n;
    if (!in.malformed)
      ds_.MarkNotHeld(record, s, SNotHeldTooLong(s.field->FieldName(), t.size(), u" characters",
                                                 size, in.widened));
    t.resize(n);
  }
  std::memcpy(value, t.data(), t.size() * sizeof(Char));
  std::memset(value + t.size() * sizeof(Char), 0, sizeof(Char));
}

void RowReader::ReadText(TRecordBuffer record, const RecordSlot& s, const TFieldData& column,
                         int element) {
  const TOracleFieldInfo& info = ds_.infos_[s.info];
  uint8_t* area = DataArea(record) + s.offset;
  const bool trim = trim_;
  const char* p = nullptr;
  size_t n = 0;
  if (!info.IsUTF16) {
    p = reinterpret_cast<const char*>(column.Element(element));
    const size_t readable =
        column.buf.size() - static_cast<size_t>(element) * static_cast<size_t>(column.bufsize);
    const TextScan scan = ScanText(p, static_cast<size_t>(column.TextSize()) + 1, readable);
    n = scan.length;
    const int length = column.buftype == otLong || column.buftype == otLongRaw
                           ? ds_.FetchQuery().FieldLength(s.column)
                           : column.ElementLength(element);
    // The value goes on past a NUL: no field text can carry it whole. (A
    // client may count the terminator in the returned length.)
    if (static_cast<size_t>(length) > n + 1 &&
        (s.form == SlotForm::kAnsi || s.form == SlotForm::kUtf8)) {
      const size_t kept = std::min(n, FieldSize(s));
      std::memcpy(area + 1, p, kept);
      area[1 + kept] = 0;
      ds_.MarkNotHeld(record, s,
                      u"Field '" + s.field->FieldName() +
                          u"': the value holds a NUL character, which no text field can carry");
      return;
    }
    if (scan.plain && (s.form == SlotForm::kAnsi || s.form == SlotForm::kUtf8)) {
      ReadPlainText(record, s, p, trim ? scan.trimmed : n);
      return;
    }
  }
  ReadConvertedText(record, s, p, n);
}

// A text that is not plain ASCII, or a slot that does not keep bytes: the
// value is decoded and made again in the slot's form.
void RowReader::ReadConvertedText(TRecordBuffer record, const RecordSlot& s, const char* p,
                                  size_t n) {
  const TOracleSession* session = ds_.session_;
  FetchedText in(ds_.infos_[s.info], session);
  const bool trim = trim_;
  uint8_t* area = DataArea(record) + s.offset;
  if (in.info.IsUTF16) {
    in.wide = ds_.FetchQuery().Field(s.column).AsString();
    in.have_wide = true;
  } else {
    in.bytes.assign(p, n);
  }
  auto place = [&](std::string out, const std::string& code_page, bool lossy) {
    PlaceBytes(record, s, in, std::move(out), code_page, lossy, trim);
  };
  switch (s.form) {
    case SlotForm::kAnsi: {
      bool lossy = false;
      std::string out = StringToAnsi(in.Text(), &lossy);
      place(std::move(out), AnsiCodePage(), lossy);
      ds_.KeepServerText(record, s, trim ? TrimRight(in.Text()) : in.Text());
      return;
    }
    case SlotForm::kUtf8:
      if (in.info.IsUTF8 && !in.have_wide) {
        // Decoded only to learn whether it is well formed and how line ends widen.
        in.Text();
        place(in.malformed ? std::move(in.bytes) : AddCR(in.bytes, session), "UTF-8", false);
      } else {
        place(Utf8Encode(in.Text()), "UTF-8", false);
      }
      return;
    case SlotForm::kUtf16:
      ReadUtf16(record, s, in, trim);
      return;
    case SlotForm::kBlob: {
      // A long string kept as a memo: empty is null.
      String text = in.Text();
      if (trim) text = TrimRight(text);
      std::string out = Utf16Bytes(text);
      area[0] = 1;
      if (out.empty()) return;
      area[0] = 0;
      ds_.BlobsOf(record).BlobByField(s.field).Bytes = std::move(out);
      return;
    }
    default:
      return;
  }
}

}  // namespace kavo
