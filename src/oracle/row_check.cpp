// RowWriter: what reading a row back compares and refreshes. A check asks
// whether the server's row still holds the record's values as the record
// set read them; a refresh stores the values that differ.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "oracle/oracle_dataset.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_types.h"
#include "oracle/row_reader.h"
#include "oracle/row_writer.h"
#include "rtl/code_page.h"

namespace kavo {

using oracle_engine::RowWriter;

namespace {

bool IsStringForm(TFieldType t) {
  return t == ftString || t == ftWideString || t == ftFixedChar || t == ftFixedWideChar ||
         t == ftMemo || t == ftWideMemo || t == ftOraClob;
}

// TrimRight(text).empty() without the copy.
bool IsBlank(StringView text) {
  for (Char c : text)
    if (c > u' ') return false;
  return true;
}

String KeptText(const TOracleBlob& kept) { return TextOfUtf16Bytes(kept.Bytes); }

}  // namespace

namespace oracle_engine {

String FetchedColumnText(TOracleQuery& q, int column, const TOracleFieldInfo& info,
                         const TOracleSession* session) {
  OraVariant v = q.Field(column);
  if (q.FieldType(column) != otLong) return v.AsString();
  return AddCRW(info.IsUTF8 ? Utf8Decode(v.AnsiBytes()) : AnsiToString(v.AnsiBytes()), session);
}

}  // namespace oracle_engine

bool RowWriter::RecordChanged(TOracleQuery& q, const uint8_t* record) {
  for (const RecordSlot& s : ds_.slots_) {
    if (s.field->FieldKind() != fkData || s.info <= 0) continue;
    const TOracleFieldInfo& info = ds_.infos_[s.info];
    int column = q.FieldIndex(info.ColumnName);
    if (column < 0 || q.FieldType(column) != info.DataType) continue;
    if (!SameValue(record, s, q, column)) return true;
  }
  return false;
}

std::optional<bool> RowWriter::SamePlainText(const uint8_t* record, const RecordSlot& s,
                                             TOracleQuery& q, int column,
                                             const TOracleBlob* kept) {
  // Plain ASCII without line ends reads the same in every code page, one
  // byte a character, and no line end is added to it: a text both sides hold
  // so (and that the fetch would not have cut) compares as its bytes.
  if ((s.form == SlotForm::kAnsi || s.form == SlotForm::kUtf8) && kept == nullptr &&
      !ds_.IsNullIn(record, s) &&
      q.FieldType(column) == otString && !q.FieldIsUTF16(column) && !q.FieldIsNull(column)) {
    const char* f = reinterpret_cast<const char*>(q.FieldData(column));
    const std::string_view fetched(f, strnlen(f, static_cast<size_t>(q.FieldSize(column)) + 1));
    const char* r = reinterpret_cast<const char*>(DataArea(record) + s.offset + 1);
    const std::string_view stored(r, strnlen(r, s.width));
    if ((s.form != SlotForm::kAnsi || fetched.size() <= static_cast<size_t>(s.field->Size())) &&
        IsPlainAsciiLine(fetched) && IsPlainAsciiLine(stored)) {
      return TrimRightBytes(fetched) == TrimRightBytes(stored);
    }
  }
  return std::nullopt;
}

bool RowWriter::SameValue(const uint8_t* record, const RecordSlot& s, TOracleQuery& q, int column) {
  const TOracleBlob* kept = ds_.ServerTextIn(record, s);
  if (std::optional<bool> same = SamePlainText(record, s, q, column, kept)) return *same;
  TFieldType type = s.field->DataType();
  // Each text is read once: the null tests and the comparison use the same.
  const bool string_form = IsStringForm(type);
  const bool stored_null = ds_.IsNullIn(record, s);
  const String stored_text = string_form && !stored_null ? ds_.TextIn(record, s) : String();
  bool field_null = stored_null || (string_form && IsBlank(stored_text));
  OraVariant fetched = q.Field(column);
  const bool fetched_string = fetched.IsString();
  const String fetched_text = fetched_string ? fetched.AsString() : String();
  bool fetched_null = fetched.IsEmptyOrNull() ||
                      (fetched.Kind() == vkByteArray && fetched.ByteArray().empty()) ||
                      (fetched_string && IsBlank(fetched_text));
  if (field_null || fetched_null) return field_null == fetched_null;
  if (type == ftWideMemo) return true;
  switch (q.FieldType(column)) {
    case otFloat: {
      double a = fetched.AsDouble();
      double b = ds_.ValueIn(record, s).AsDouble();
      if (a == 0) return std::fabs(b) < 1e-10;
      return std::fabs((b - a) / a) < 1e-10;
    }
    case otString: {
      String other_fetched, other_stored;
      const String& server_text = fetched_string ? fetched_text : (other_fetched = fetched.AsString());
      const String& stored = string_form ? stored_text : (other_stored = ds_.TextIn(record, s));
      if (s.form == SlotForm::kAnsi) {
        // What the server holds, not the code page's copy of it: "??" is not
        // "??" when the server's characters differ. A field with no server
        // text kept showed the server's text as it was.
        bool exact = true;
        const size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());
        const String held = ds_.AnsiHeldText(TrimRight(server_text), size, exact);
        if (kept != nullptr) return TrimRight(held) == TrimRight(KeptText(*kept));
        if (!exact) return false;
        // Cut as the fetch cut it: to the field's size, by whole characters.
        std::string server = CutWholeCharacters(StringToAnsi(server_text), size, AnsiCodePage());
        return TrimRightBytes(server) == TrimRightBytes(StringToAnsi(stored));
      }
      return TrimRight(server_text) == TrimRight(stored);
    }
    case otDate: {
      double ms = (fetched.AsDateTime() - ds_.ValueIn(record, s).AsDateTime()) * 86400000.0;
      return std::fabs(ms) <= 1000.5;
    }
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ: {
      double ms = (fetched.AsDateTime() - ds_.ValueIn(record, s).AsDateTime()) * 86400000.0;
      return std::fabs(ms) <= 1.5;
    }
    case otLongRaw:
    case otBLOB: {
      // The record holds what the read made of the server's bytes.
      std::string server(fetched.ByteArray().begin(), fetched.ByteArray().end());
      if (ds_.compress_blobs_ && ds_.OnDecompressBLOB) ds_.OnDecompressBLOB(ds_, server);
      const OraVariant value = ds_.ValueIn(record, s);
      const std::vector<uint8_t>& held = value.ByteArray();
      return std::equal(held.begin(), held.end(), server.begin(), server.end(),
                        [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
    }
    case otLong:
    case otCLOB:
      return ds_.ValueIn(record, s).AsString() ==
             FetchedColumnText(q, column, ds_.infos_[s.info], ds_.session_);
    case otInteger:
      return ds_.ValueIn(record, s).AsDouble() == fetched.AsDouble();
    default:
      return ds_.ValueIn(record, s) == fetched;
  }
}

bool RowWriter::StoreRefreshedRow(TOracleQuery& q, TRecordBuffer record) {
  bool changed = false;
  for (const RecordSlot& s : ds_.slots_) {
    if ((s.field->FieldKind() != fkData && s.field->FieldKind() != fkInternalCalc) || s.info <= 0)
      continue;
    const TOracleFieldInfo& info = ds_.infos_[s.info];
    int column = q.FieldIndex(info.ColumnName);
    if (column < 0) continue;
    if (q.FieldType(column) == info.DataType && SameValue(record, s, q, column)) continue;
    OraVariant value = q.Field(column);
    if (q.FieldType(column) == otLong && !value.IsEmptyOrNull())
      value = OraVariant(FetchedColumnText(q, column, info, ds_.session_));
    ds_.StoreValue(record, s, value);
    if (s.form == SlotForm::kAnsi) {
      bool trim = ds_.session_ == nullptr || ds_.session_->Preferences().TrimStringFields();
      String text = value.IsEmptyOrNull() ? String() : value.AsString();
      ds_.KeepServerText(record, s, trim ? TrimRight(text) : text);
    }
    changed = true;
  }
  if (ds_.AfterRefreshRecord) ds_.AfterRefreshRecord(ds_);
  return changed;
}

}  // namespace kavo
